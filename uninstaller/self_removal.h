// The uninstaller's own removal. A running program cannot delete its own file, so
// the uninstaller copies itself to the temporary folder and starts the copy, which
// waits for the uninstaller to end and then removes it, its log and the folders
// that held them. The copy runs from a file opened for deletion on close, a handle
// that the copy inherits: the file goes when the copy ends (verified under Wine,
// where a running program's own file cannot be deleted, as on Windows). The copy
// also marks itself for deletion at the next restart, in case a file system keeps
// a file whose image was still mapped when its last handle closed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "uninstaller/uninstall_options.h"

namespace ar {

class LogFile;

// "Uninstall.ulog" beside the uninstaller.
std::wstring uninstallLogBeside(const std::wstring& uninstaller);

// Starts the copy; false when it could not be started (nothing is then scheduled).
bool startSelfRemoval(const std::wstring& uninstaller, int folderLevels,
                      const std::optional<std::wstring>& logFile);

// The fallback: marks the uninstaller, its log and the folders for removal at the
// next restart. Returns what was marked.
std::vector<std::wstring> removeAtRestart(const std::wstring& uninstaller, int folderLevels);

// The copy's part: waits for the uninstaller's process to end, takes the
// single-instance lock (so that no installer starts meanwhile), and removes what
// the request names. Does nothing unless the request's process is the one that
// started this copy and runs the uninstaller that the request names. Reports to
// `log` when it is open.
void finishSelfRemoval(const CleanupRequest& request, LogFile& log);

} // namespace ar
