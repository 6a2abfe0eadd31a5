// What an installation run changes, recorded as it is made: every record reaches
// the run's journal before the change it allows, so that a failed or ended run can
// be undone, and a successful one writes "Uninstall.ulog" from the records merged
// with the earlier installation's.
#pragma once

#include "log/earlier_log.h"
#include "log/log_record.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ar {

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

// How a run records.
struct RecordingRules {
    // The durable journal of the run, if any; backups then go where it keeps them.
    JournalSink* journal = nullptr;
    // Where backups and the saved registry key go without a journal: the run's
    // private folder, which only administrators can change (the user's temporary
    // folder when empty).
    std::wstring backupFolder;
    // For a reinstallation without an earlier log to carry over: existing folders
    // for which this is true are recorded too, as the product's, though the run did
    // not make them (the uninstaller removes them when empty; rollback leaves them).
    std::function<bool(const std::wstring&)> productFolder;
    // The access list (SDDL) that a folder the run creates gets; nullptr, or no
    // function: what it inherits. Shared data folders and an installation folder
    // outside Program Files get one that only administrators can change.
    std::function<const wchar_t*(const std::wstring& folder)> newFolderAccess;
};

// The header of the log file as written.
struct LogHeader {
    std::wstring previousProduct; // the installation this one updates, or empty
    std::wstring installFolder;
    std::wstring shortcutFolder;
};

// Writes "Uninstall.ulog": the header, then `records` (the registry records with
// their registry texts). False when the file could not be created or a write
// failed. `digest`, when given, receives the written file's digest (see
// log_digest.h), empty when it failed.
bool writeUninstallLog(const std::wstring& file, const LogHeader& header, LogRecords& records,
                       std::wstring* digest = nullptr);

class RunRecorder {
public:
    // `earlier` outlives the recorder: what the run's shortcuts replace, and what
    // the new log carries over.
    explicit RunRecorder(const EarlierLog& earlier, RecordingRules rules = {});
    RunRecorder(const EarlierLog&& earlier, RecordingRules rules = {}) = delete;
    // A run without an earlier log, journal or rules.
    RunRecorder();
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    // The run's records, in order.
    const LogRecords& records() const { return records_; }
    // The last record awaits its commit.
    bool pending() const { return pending_; }

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

    // Creates every missing folder of `folder`, from the root down, appending a
    // CreatedFolder record for each and telling the shell; stops at the first
    // folder that cannot be created.
    void ensureFolders(const std::wstring& folder);

    // Undoes the run's records (undoRecords) and empties them.
    std::vector<RollbackFailure> rollback();

    // Writes the log file from the earlier records merged with the run's, then
    // deletes every backup (also when writing fails), unless the journal keeps them
    // until the run's end; the journal then also saves the earlier log file, or
    // names the new one. The run's records are the merged ones afterwards.
    bool writeLog(const std::wstring& file, const std::wstring& installFolder, const std::wstring& shortcutFolder,
                  std::wstring* digest = nullptr);

private:
    UninstallLogRecord& append(RecordKind kind);
    void journalLast();
    void journalExpecting(const std::wstring& link);
    std::wstring backUpLast(const std::wstring& source, bool copy);
    void recordFolder(std::wstring folder, bool existed);
    void discardBackups();

    const EarlierLog& earlier_;
    RecordingRules rules_;
    LogRecords records_;
    bool pending_ = false;
    std::set<std::wstring> existingFolders_; // existing folders already looked at, in lower case
};

} // namespace ar
