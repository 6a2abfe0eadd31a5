// The steps of start-up that decide the starting state of an installation:
// the interface language, the earlier installation's uninstall log, and the
// default folders.
#pragma once

#include <optional>
#include <string>

#include "log/earlier_log.h"
#include "log/log_trust.h"
#include "product/version_info.h"

namespace ar {

// The language index an earlier installation stored, if any (any 4-byte value).
std::optional<int> storedLanguage();

// The starting language: the user's among the offered ones, replaced by a stored
// index that is offered, then by English when the result has no texts of its own.
int chooseStartingLanguage(int fromUser, std::optional<int> stored);

// The earlier installation's "Uninstall.ulog": beside the uninstaller that the
// registered "UninstallString" starts (quoted or not), else beside the recorded main
// program; only a file that exists.
std::optional<std::wstring> findEarlierLog(const std::optional<std::wstring>& uninstallString,
                                           const std::wstring& mainProgram);
// The registered "UninstallString" of the product, if any.
std::optional<std::wstring> registeredUninstaller();

// The installation folder that the registration records: the uninstall key's
// "InstallLocation", else the folder of the main program in the product's record;
// empty without either.
std::wstring registeredInstallFolder();

// The product's folders, as the registration and the product's identity know them,
// for the log `logBytes` lying in `installFolder`: that folder when it is the
// registered one, the recorded Start-menu folder (the default one when none is
// recorded: installers before the record wrote none), the company's folders below
// both application-data folders and the desktops; verified when the bytes are the
// log that the installer last recorded.
ProductFolders registeredProductFolders(const std::wstring& installFolder, const std::string& logBytes);

// Reads the earlier installation's log `file` for an update or a
// reinstallation in `installFolder` (the registered one), as far as it may be
// believed: a log of another folder counts as none, and only the records that the
// trust rules accept, from whole lines, are kept for the run to carry over or move.
// The log's Start-menu folder is taken only when the record has none and the log is
// verified.
EarlierLog readEarlierLog(const std::wstring& file, const std::wstring& installFolder);

// "<program files>\Ardenvale\Pelorium 7": the shell's folder, else the registry's
// ProgramFilesDir, else the Windows folder's root with "Program Files".
std::wstring defaultInstallFolder();
// "<common programs>\Ardenvale\Pelorium 7", else under the user's programs folder.
std::wstring defaultShortcutFolder();

// The Start-menu root of the shortcut folder: the common Start menu, else the user's.
std::wstring startMenuRoot();
// A shortcut folder given relative to the common Programs folder (where Windows
// lists the shortcuts), or as a full path.
std::wstring resolveMenuFolder(const std::wstring& folder);

// The application name: IDS_INSTALLER in the current language, " – ", the display name.
std::wstring applicationTitle();

} // namespace ar
