// What the uninstaller may remove, decided from the uninstall log alone, before
// anything is touched. A log is trusted record by record, from the first: a record
// that names something outside the product's folders, or a malformed or cut-off
// line, ends the trust, and nothing from there on is acted upon.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "log/uninstall_log.h"

namespace ar {

// The number of lines in a log file and whether its last line is complete.
struct LogShape {
    std::size_t lines = 0;
    bool endsWithLineEnd = false;
};

// The shape of a log file's bytes: UTF-16LE after a byte-order mark, else 8-bit text.
LogShape logShape(const std::string& bytes);

// The header takes the first six lines of a log.
constexpr std::size_t logHeaderLines = 6;

// How many of the `recordsRead` records came from whole lines: the writer ends
// every line with CR LF, so a last line without one was cut off.
std::size_t recordsFromWholeLines(const LogShape& shape, std::size_t recordsRead);

// Whether the reader took in every line of the file.
bool wholeLogRead(const LogShape& shape, std::size_t recordsRead);

// The folders in which the product's files may lie.
struct ProductFolders {
    std::wstring installFolder;               // holds the uninstaller and its log
    std::wstring shortcutFolder;              // the log's Start-menu folder (may be empty)
    std::vector<std::wstring> dataFolders;    // the company's folders below the application-data folders
    std::vector<std::wstring> desktopFolders; // the common and the user's desktop
};

enum class UninstallAction {
    UndoSelfRegistration, // run the main program with "/Unregister /Background"
    RemoveFile,
    RemoveDataFile, // an EditableData file: removed only on request
    RemoveShortcut,
    RemoveFolder, // only when empty
};

struct UninstallStep {
    UninstallAction action;
    std::wstring path;
};

struct UninstallPlan {
    // In the order in which they run: the self-registration is undone first, then
    // the records are taken newest first.
    std::vector<UninstallStep> steps;
    std::size_t trustedRecords = 0;   // records acted upon, counted from the first
    bool removesRegistration = false; // the log records the uninstall key
    std::wstring mainProgram;         // the installed main program, if recorded
    bool recordsUninstaller = false;  // the log installed the running uninstaller
    // The folders that hold the uninstaller and that the log created: its own
    // folder and those above it, counted upwards. They can go only after it ended.
    int uninstallerFolderLevels = 0;
};

// Plans the removal of the first `readableRecords` of `records`. `uninstaller` is
// the running uninstaller (removed last, by its copy); `exists` tells whether
// anything is at a path: a record naming nothing cannot do harm and is never refused.
UninstallPlan planUninstall(const std::list<UninstallLogRecord>& records, std::size_t readableRecords,
                            const ProductFolders& folders, const std::wstring& uninstaller,
                            const std::function<bool(const std::wstring&)>& exists);

// Path tests on the elements of absolute paths ("C:" or "\\server\share", then the
// names), without case; "/" separates like "\". A path with "." or ".." elements,
// wildcards or a stream name is not a plain absolute path.
bool isPlainAbsolutePath(const std::wstring& path);
bool samePlainPath(const std::wstring& a, const std::wstring& b);
// `path` lies below `folder` (not the folder itself).
bool isBelow(const std::wstring& path, const std::wstring& folder);
// `path` is `folder` or lies below it.
bool isAtOrBelow(const std::wstring& path, const std::wstring& folder);

} // namespace ar
