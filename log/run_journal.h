// The durable journal of one installation run, and the recovery of a run that it
// shows was interrupted.
//
// The journal lives in the product's protected set-up folder under the common
// application data folder ("Ardenvale Setup", Administrators and SYSTEM only), with
// the run's backups and its saved registry key beside it, so that putting a backup
// back is a rename on the same volume. Each record is on disk (FlushFileBuffers)
// before the change it allows. A run that ends, by success or by rollback, marks the
// journal ended and removes it with its backups; a journal that is not ended is
// rolled back at the next start.
#pragma once

#include "log/journal_file.h"
#include "log/run_recorder.h"

#include <string>
#include <vector>

#include "support/handles.h"

namespace ar {

// "<common application data>\Ardenvale Setup".
std::wstring journalFolder();
// "<journalFolder>\Pelorium7.journal".
std::wstring journalPath();

// Creates the set-up folder (Administrators and SYSTEM only), or opens it when it is
// there and trusted, held without delete sharing; empty, with the last error set,
// when it cannot be made or trusted.
unique_hfile openTrustedSetupFolder();

// The folders of a run that a recovery may act in besides the product's fixed ones
// (the company's data folders, the desktops and the set-up folder). They are kept
// apart from the journal, below HKEY_LOCAL_MACHINE, where only administrators can
// write: a journal is acted upon only within them, whatever it names.
struct RunScope {
    std::wstring installFolder;
    std::wstring menuFolder; // empty: none
};

class RunJournal final : public JournalSink {
public:
    // Starts the journal of a run that works in `scope` and whose private folder
    // (below journalFolder(), made by the caller once this succeeded) is
    // `privateFolder`. False, with the last error set, when the protected folder
    // cannot be made or trusted, or a journal of another run that is not ended is
    // there.
    bool start(const std::wstring& privateFolder, const RunScope& scope);
    bool started() const { return static_cast<bool>(file_); }

    void write(std::size_t index, const UninstallLogRecord& record) override;
    bool backUp(std::size_t index, UninstallLogRecord& record, const std::wstring& source,
                bool copy) override;
    bool saveKey(std::size_t index, UninstallLogRecord& record, HKEY key) override;

    // Saves the keys below HKEY_LOCAL_MACHINE that the run is about to write outside
    // its records (the product's record), so that an interrupted run puts them back
    // or, when they did not exist, removes them. A key that `save` leaves false
    // only has its existence noted (a parent that other keys may share).
    struct KeyToSave {
        std::wstring path;
        bool save = true;
    };
    void saveKeys(const std::vector<KeyToSave>& keys);
    // Puts back (or removes) the keys that saveKeys saved, as a rollback of the run
    // must; returns the saved keys that could not be put back (their hives stay).
    std::vector<std::wstring> undoKeys();

    // The run has ended (success or rollback): marks the journal ended, then
    // removes the backups, the journal and its folder, in that order. Returns what
    // could not be removed (the next start removes it).
    std::vector<std::wstring> finish();
    // The run could not be undone completely: the journal stays as it is, so that
    // the next start undoes what is left.
    void leave() { file_.reset(); }

private:
    void append(const std::string& line);
    std::wstring backupName(const std::wstring& stem, const wchar_t* extension) const;

    unique_hfile file_;
    std::wstring folder_;
    std::vector<JournalKey> keys_;
};

// What the start-up found of an earlier run.
struct RecoveryReport {
    bool interrupted = false;               // a journal of an interrupted run was rolled back
    std::wstring setAside;                  // a set-up folder that could not be trusted was renamed
                                            // to this, unread; nothing was undone
    std::vector<std::wstring> outsideScope; // records naming places outside the run's
                                            // scope: not acted upon
    bool unreadable = false;                // a journal that this program does not understand, or
                                            // a folder it cannot trust nor set aside: nothing was done
    bool inUse = false;                     // another run is writing the journal: nothing was done
    bool incomplete = false;                // backups could not all be put back: the journal stays,
                                            // the next start tries again (`left` lists them)
    DWORD error = 0;                        // why the folder could not be trusted
    std::size_t records = 0;                // records that were rolled back
    std::vector<std::wstring> left;         // what could not be removed afterwards, or put back
};

// Rolls back the run that the journal shows was interrupted, newest record first,
// with the rules of an ordinary rollback, once a registration program that the run
// started and left running has been ended; then removes the journal and its
// backups, as the end of a run does. Idempotent: when it is interrupted itself, the
// next start does it again. With no journal there is nothing to do.
RecoveryReport recoverInterruptedRun();

// Whether a journal of an interrupted run is waiting to be rolled back: only one in
// a trusted set-up folder counts.
bool interruptedRunPending();

} // namespace ar
