// The records of "Uninstall.ulog" and of a run's journal: one change each, as the
// run made it, with what undoing it needs.
#pragma once

#include <cstdint>
#include <list>
#include <string>

namespace ar {

// Name of the uninstall log beside the installed uninstaller.
inline constexpr wchar_t uninstallLogFileName[] = L"Uninstall.ulog";

// What a record names. The values are part of the log file format.
enum class RecordKind : std::uint32_t {
    CreatedFolder = 0,
    InstalledFile = 1,
    MenuShortcut = 2,
    UninstallShortcut = 3,
    DesktopShortcut = 4,
    UninstallKey = 5,
    SelfRegistration = 6,
    DirectXSetup = 7,
};

struct UninstallLogRecord {
    RecordKind recordKind = RecordKind::CreatedFolder;
    std::wstring path;          // what was changed; may be empty
    std::wstring backupPath;    // temporary file holding what the change replaced (file or registry hive)
    bool succeeded = false;     // the change was completed
    std::int32_t fileKind = -1; // payload FileKind of an InstalledFile record, -1 otherwise

    // Known in memory only, never written to the log file:
    // a file, link or key that the change replaces existed before the run (whether
    // or not it could be backed up). Without a backup, rollback leaves it alone
    // rather than delete what the run did not create.
    bool existedBefore = false;
    // Where that earlier file or link lived (for a shortcut, the earlier link, which
    // may differ from the new one): rollback puts the backup back there, also when
    // the new link was never created and `path` stayed empty.
    std::wstring backupSource;
    // The file was there and is kept as it is (a data file): the run never writes
    // over it, so rollback leaves it alone.
    bool keptInPlace = false;
};

// Records in the order they were made (or, for a log, in file order).
using LogRecords = std::list<UninstallLogRecord>;

// What rollback could not undo: `path` still holds what the run put there (or
// nothing), and the earlier content survives as `keptAs` (a file, or the saved
// registry key), which rollback leaves in place; `keptAs` is empty when nothing
// earlier was lost, only the run's own file or key could not be removed.
struct RollbackFailure {
    std::wstring path;
    std::wstring keptAs;
};

} // namespace ar
