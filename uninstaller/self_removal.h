// The uninstaller's own removal. A running program cannot delete its own file, so
// the uninstaller copies itself and starts the copy, which waits for the
// uninstaller to end and then removes it, its log and the folders that held them.
//
// The copy runs elevated, so it lies where only administrators can write: in a
// fresh folder of its own ("Pelorium7-Uninstall-{guid}") below the protected set-up
// folder (journalFolder(), "C:\ProgramData\Ardenvale Setup"), both made with an
// access list of administrators and SYSTEM only and used only when the held handle
// judges them so. The copy is created new, written through its handle, and held
// until its process has started by a handle that lets others only read it. The copy
// inherits that handle, opened for deletion on close, so the file goes when the copy
// ends (verified under Wine, where a running program's own file cannot be deleted,
// as on Windows). Before it ends, the copy moves its file through that handle into
// the set-up folder and removes its own folder. Should a file system keep a file
// whose image was still mapped when its last handle closed, the installer's next
// start removes it with the set-up folder's other files. Nothing in the set-up
// folder is marked for removal at restart: the installer may remove the folder, and
// a folder of that name that someone else makes afterwards could lead the removal
// at restart elsewhere.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "uninstaller/uninstall_options.h"

namespace ar {

class LogFile;

// "Uninstall.ulog" beside the uninstaller.
std::wstring uninstallLogBeside(const std::wstring& uninstaller);

// Starts the copy; false when it could not be started (nothing is then scheduled,
// and nothing of the copy is left).
bool startSelfRemoval(const std::wstring& uninstaller, int folderLevels,
                      const std::optional<std::wstring>& logFile);

// The fallback: marks the uninstaller, its log and the folders for removal at the
// next restart. Returns what was marked.
std::vector<std::wstring> removeAtRestart(const std::wstring& uninstaller, int folderLevels);

// The copy's part: waits for the uninstaller's process to end, takes the
// single-instance lock (so that no installer starts meanwhile), and removes what
// the request names. Does nothing unless the request's process is the one that
// started this copy and runs the uninstaller that the request names. Reports to
// `log` when it is open. Then, given the handle of its own file, a copy in a folder
// of its own in the set-up folder moves out of that folder and removes it.
void finishSelfRemoval(const CleanupRequest& request, LogFile& log);

} // namespace ar
