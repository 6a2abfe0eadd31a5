// What the uninstaller may remove, decided from the uninstall log before anything
// is touched. The log lies in the installation folder, which a standard user may be
// able to change; the uninstaller runs elevated. So the log is evidence, never
// authority: what it may remove is bounded by places that only administrators can
// write, and by the product's identity.
//
// Authority. The installer records in the product's HKLM record the SHA-256 digest
// of the log it wrote and the Start-menu folder; the uninstall key records the
// installation folder. The roots are that installation folder, that Start-menu
// folder, the desktops, and the company's folders below the application-data
// folders. The log's own "Shortcut Path" header is never a root.
//
// Records are taken in file order; a record that fails its rule, a malformed line
// or a last line without its line end ends the trust, and nothing from there on is
// acted upon. A record that names nothing on the disk cannot do harm and passes.
//
// A log whose digest matches the recorded one was written by the installer and is
// trusted record by record within the roots: a file below the installation folder,
// a data folder or a folder that the log created; a link in the Start-menu folder,
// on a desktop or in a folder that the log created; a created folder related to a
// root, or any that no longer exists. A folder created above a root (D:\Apps above
// D:\Apps\Pelorium 7) licenses nothing in it.
//
// Any other log (changed, or without a recorded digest) meets the conservative
// rules only:
// - a folder record passes when it is, lies below or lies above a root; it grants
//   nothing below it, and the folder is removed only when empty;
// - a file record passes below the installation folder; below a company data folder
//   only within a folder whose name begins with the product's name
//   ("Ardenvale\Pelorium", "Ardenvale\Textures\Pelorium"); on a desktop only within a folder
//   directly on it whose name begins with the product's name;
// - a Start-menu or uninstaller shortcut record passes only as a ".lnk" file directly
//   in the recorded Start-menu folder, a desktop shortcut record only as a ".lnk"
//   directly on a desktop whose name begins with the product's name.
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
    std::wstring shortcutFolder;              // the recorded Start-menu folder (may be empty)
    std::vector<std::wstring> dataFolders;    // the company's folders below the application-data folders
    std::vector<std::wstring> desktopFolders; // the common and the user's desktop
    // The log's digest matches the one recorded by the installer; otherwise only the
    // conservative rules apply.
    bool logVerified = false;
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
