// The installation journal: every change that an installation makes, recorded as it
// is made, so that a failed run can be undone (rollback) and a successful one leaves
// "Uninstall.ulog", the file from which the uninstaller and the next update work.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ar {

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

// What rollback could not undo: `path` still holds what the run put there (or
// nothing), and the earlier content survives as `keptAs` (a file, or the saved
// registry key), which rollback leaves in place; `keptAs` is empty when nothing
// earlier was lost, only the run's own file or key could not be removed.
struct RollbackFailure {
    std::wstring path;
    std::wstring keptAs;
};

// Where an installation run makes its journal durable (RunJournal): every record
// is written before the change it allows, and backups are made there. Failures
// throw std::system_error: a change that could not be journaled is not made.
class JournalSink {
public:
    virtual ~JournalSink() = default;
    // Writes the state of the record at `index` of `records`; returns once it is on disk.
    virtual void write(std::size_t index, const UninstallLogRecord& record) = 0;
    // Names the backup of `source` in `record` and writes the record, then moves
    // (copy false) or copies `source` there. False, with the backup name emptied,
    // when the file could not be backed up.
    virtual bool backUp(std::size_t index, UninstallLogRecord& record, const std::wstring& source,
                        bool copy) = 0;
    // The same for the content of a registry key, saved as a hive file.
    virtual bool saveKey(std::size_t index, UninstallLogRecord& record, HKEY key) = 0;
};

class UninstallLog {
public:
    // Name of the log file beside the installed uninstaller.
    static constexpr wchar_t fileName[] = L"Uninstall.ulog";

    std::wstring installPath;  // installation folder of an earlier log (only when it exists)
    std::wstring shortcutPath; // shortcut folder of an earlier log (only when it exists)
    std::list<UninstallLogRecord> previousRecords; // read from an earlier log, in file order
    std::list<UninstallLogRecord> records;         // made by the current run, in order
    bool pending = false;                          // the last record of `records` awaits its commit
    std::wstring previousProduct;                  // display name of the earlier installation
    // For a reinstallation without an earlier log to carry over: existing folders
    // for which this is true are recorded too, as the product's, though the run did
    // not make them (the uninstaller removes them when empty; rollback leaves them).
    std::function<bool(const std::wstring&)> productFolder;
    // The access list (SDDL) that a folder the run creates gets; nullptr, or no
    // function: what it inherits. Shared data folders and an installation folder
    // outside Program Files get one that only administrators can change.
    std::function<const wchar_t*(const std::wstring& folder)> newFolderAccess;
    // Where backups and the saved registry key go: the run's private folder, which
    // only administrators can change (the user's temporary folder when empty).
    std::wstring backupFolder;
    // The durable journal of the current run, if any; backups then go where it keeps them.
    JournalSink* journal = nullptr;

    // Records a file about to be written to `path` (a payload entry of `fileKind`):
    // creates and records its missing parent folders, then backs up an existing file,
    // by copy when `keep` (the file stays in place) or else by moving it away.
    // Throws std::system_error, with the record left pending, when an existing file
    // that is not kept cannot be moved away, or a folder stands where the file must
    // go: writing the file would destroy what cannot be put back. Thrown from the
    // payload handler, this fails the extraction and the run rolls back.
    void recordFile(const std::wstring& path, std::int32_t fileKind, bool keep);

    // Records a shortcut about to be created as `link` in `folder`: 0 the product's
    // Start-menu shortcut, 1 the uninstaller's, any other value the desktop shortcut.
    // What the new link replaces is moved away: a file already at `link`, else the
    // earlier installation's ".lnk" of the same kind. The link's path is given to
    // `commit`.
    void recordShortcut(int which, const std::wstring& folder, const std::wstring& link);

    // Records the product's uninstall key about to be written. `existingKey` is the
    // open key when it existed before (its content is saved to a hive file first),
    // nullptr when the caller is about to create it.
    void recordUninstallKey(HKEY existingKey);

    // Records the installed program's own registration about to run. `program` is
    // kept in memory and in the journal, for rollback: the log file names the
    // registration only by its registry text.
    void recordSelfRegistration(const std::wstring& program);
    void recordDirectXSetup();

    // Settles the pending record, if any: its success and, when given, its path.
    void commit(bool succeeded, const std::optional<std::wstring>& path = std::nullopt);

    // The earlier log lists exactly this path as an installed file that succeeded.
    bool isKeptFile(const std::wstring& path) const;

    // Undoes `records`, newest first, and empties the list. Never throws; what it
    // could not undo is returned, and no earlier content is ever deleted for it.
    // The program's own registration is undone by the program the run installed
    // ("/Unregister"), while it is still there; when that file replaced an earlier
    // one, the earlier program, once put back, registers itself again.
    std::vector<RollbackFailure> rollback();

    // Merges the earlier records into `records`, writes the log file, and deletes
    // every backup (also when writing fails), unless the journal keeps them until the
    // run's end; the journal then also saves the earlier log file, or names the new
    // one. False when the file could not be created or a write failed. `digest`, when
    // given, receives the written file's digest (see log_digest.h), empty when it
    // failed.
    bool writeLog(const std::wstring& file, const std::wstring& installFolder,
                  const std::wstring& shortcutFolder, std::wstring* digest = nullptr);

    // Reads an earlier log into installPath, shortcutPath, previousProduct and
    // previousRecords. Without a file it only empties the two folders. Reports
    // nothing: reading stops at the first thing it does not understand.
    void readLog(const std::optional<std::wstring>& file = std::nullopt);

    // Creates every missing folder of `folder`, from the root down, appending a
    // CreatedFolder record for each and telling the shell; stops at the first
    // folder that cannot be created.
    void ensure_folders(const std::wstring& folder);

private:
    UninstallLogRecord& append(RecordKind kind);
    void journalLast();
    void journalExpecting(const std::wstring& link);
    std::wstring backUpLast(const std::wstring& source, bool copy);
    void recordFolder(std::wstring folder, bool existed);
    bool undoSelfRegistration(const std::wstring& program, std::wstring& registerAgain) const;

    std::set<std::wstring> existingFolders_; // existing folders already looked at, in lower case
    void merge();
    void discardBackups();
};

} // namespace ar
