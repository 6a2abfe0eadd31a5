// What the uninstaller may remove, decided from the uninstall log before anything
// is touched. The log lies in the installation folder, which a standard user may be
// able to change; the uninstaller runs elevated. So the log is evidence, never
// authority: what it may remove is bounded by places that only administrators can
// write, and by the product's identity. The same rules (log/log_trust.h) decide
// which records of an earlier log an update carries over and may move.
//
// Authority. The installer records in the product's HKLM record the SHA-256 digest
// of the log it wrote and the Start-menu folder; the uninstall key records the
// installation folder. The roots are that installation folder, that Start-menu
// folder (the default one when none is recorded, as by installers before the
// record), the desktops, and the company's folders below the application-data
// folders. The log's own headers are never roots: an update installs into the
// registered folder and takes the log's Start-menu folder only from a verified log.
//
// Records are taken in file order; a record that fails its rule, a malformed line
// or a last line without its line end ends the trust, and nothing from there on is
// acted upon (nor carried over by an update). A record that names nothing on the
// disk cannot do harm and passes.
//
// A log whose digest matches the recorded one was written by the installer, which
// carried earlier records over only after these checks; it is trusted record by
// record within the roots: a file below the installation folder, a data folder or a
// folder that the log created; a link in the Start-menu folder, on a desktop, in a
// folder that the log created, or directly in any folder it created (an earlier
// Start-menu folder); any created folder. A created folder that still exists apart
// from the roots, or lies above one (D:\Apps above D:\Apps\Pelorium 7), licenses
// nothing in it and is removed only when empty.
//
// Any other log (changed, or without a recorded digest) meets the conservative
// rules only:
// - a folder record passes when it is, lies below or lies above a root, or no longer
//   exists; it grants nothing below it, and the folder is removed only when empty;
// - a file record passes below the installation folder; below a company data folder
//   only within a folder whose name begins with the product's name
//   ("Ardenvale\Pelorium", "Ardenvale\Textures\Pelorium"); on a desktop only within a folder
//   directly on it whose name begins with the product's name;
// - a Start-menu or uninstaller shortcut record passes only as a ".lnk" file directly
//   in the Start-menu folder, a desktop shortcut record only as a ".lnk" directly on
//   a desktop whose name begins with the product's name.
//
// Folders that a reinstallation finds without a log to tell their origin (it was
// lost or damaged) are recorded as created when they are the product's: at or
// below the installation, Start-menu or company data folders, or the company's
// folder holding the first two. Nothing is ever removed recursively: a folder goes
// only when it is empty.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "log/log_trust.h"
#include "log/log_record.h"

namespace ar {

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
    // The product's folders below which the steps act (productRoots).
    std::vector<std::wstring> roots;
};

// The folders below which the uninstaller's steps act, each trusted as the system
// resolves it: the installation folder, the Start-menu folder, the desktops, and the
// application-data folders that hold the company's folders ("C:\ProgramData" for
// "C:\ProgramData\Ardenvale"), so that a company or product folder that has become
// a link is seen as one.
std::vector<std::wstring> productRoots(const ProductFolders& folders);

// The root below which a step on `path` acts: the nearest of `roots` that `path`
// lies below; for anything else (a root itself, a folder above one or apart from
// them) the root of its drive or share, so that no element of it may be a link.
std::wstring stepRoot(const std::wstring& path, const std::vector<std::wstring>& roots);

// Plans the removal of the first `readableRecords` of `records`. `uninstaller` is
// the running uninstaller (removed last, by its copy); `exists` tells whether
// anything is at a path: a record naming nothing cannot do harm and is never refused.
UninstallPlan planUninstall(const std::list<UninstallLogRecord>& records, std::size_t readableRecords,
                            const ProductFolders& folders, const std::wstring& uninstaller,
                            const std::function<bool(const std::wstring&)>& exists);

} // namespace ar
