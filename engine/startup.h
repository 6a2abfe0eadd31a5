// The steps of start-up that decide the starting state of an installation:
// the interface language, the earlier installation's uninstall log, and the
// default folders.
#pragma once

#include <optional>
#include <string>

#include "product/version_info.h"

namespace ar {

// The language index an earlier installation stored, if any (any 4-byte value).
std::optional<int> storedLanguage();

// The starting language: the user's among the offered ones, replaced by a stored
// index that is offered, then by English when the result has no texts of its own.
int chooseStartingLanguage(int fromUser, std::optional<int> stored);

// The earlier installation's "Uninstall.ulog": beside the registered uninstaller,
// else beside the recorded main program; only a file that exists.
std::optional<std::wstring> findEarlierLog(const std::optional<std::wstring>& uninstallString,
                                           const std::wstring& mainProgram);
// The registered "UninstallString" of the product, if any.
std::optional<std::wstring> registeredUninstaller();

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
