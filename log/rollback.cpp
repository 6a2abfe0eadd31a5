// Rollback: undoing the records of a run, newest first, by the run itself when it
// fails or by the recovery of a run that was ended.
#include "log/rollback.h"

#include "log/file_placement.h"
#include "log/log_format.h"
#include "log/registry_backup.h"
#include "product/product.h"
#include "product/self_registration.h"
#include "support/elevated_files.h"
#include "support/path_rules.h"
#include "support/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ar {

namespace {

bool isFileKind(RecordKind kind)
{
    switch (kind) {
    case RecordKind::InstalledFile:
    case RecordKind::MenuShortcut:
    case RecordKind::UninstallShortcut:
    case RecordKind::DesktopShortcut:
        return true;
    default:
        return false;
    }
}

// A program that the run started (its self-registration, ended from outside or
// just finished) may hold its own file for a moment after it ended: an attempt
// refused for a file in use gets a few more tries.
template <typename Attempt>
bool triedWhileHeld(Attempt attempt)
{
    for (int tries = 1;; ++tries) {
        if (attempt(tries))
            return true;
        const DWORD error = GetLastError();
        if (tries == 30 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
            return false;
        Sleep(100);
    }
}

bool deletedWhileHeld(const std::wstring& path)
{
    return triedWhileHeld([&](int) { return deleteFile(path); });
}

// Undoes a written file or link: puts the backup back where it came from, with its
// attributes, over what the run wrote there, and deletes what the run wrote
// elsewhere. False when something stays: a backup that could not be put back is
// left where it is, never deleted.
bool restoreFile(const UninstallLogRecord& record)
{
    if (record.keptInPlace)
        return true;
    const std::wstring& origin = record.backupSource.empty() ? record.path : record.backupSource;
    if (record.backupPath.empty()) {
        // What stands there replaced something that could not be saved: deleting it
        // would leave the user with less than before.
        if (record.existedBefore && !record.path.empty() && samePlainPath(record.path, origin))
            return true;
        return record.path.empty() || deletedWhileHeld(record.path);
    }
    const bool removed = record.path.empty() || samePlainPath(record.path, origin) || deletedWhileHeld(record.path);
    // Replacing in one step: a new file that cannot be deleted (held open) makes the
    // move fail, and the backup stays.
    // The backup keeps its attributes as long as it can: a rollback ended in the
    // middle still finds them on it. Only a move that is refused (a copy to another
    // volume that cannot delete a read-only backup) has them cleared.
    DWORD attributes = GetFileAttributesW(record.backupPath.c_str());
    DWORD originAttributes = GetFileAttributesW(origin.c_str());
    if (originAttributes != INVALID_FILE_ATTRIBUTES && (originAttributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(origin.c_str(), originAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    const bool moved = triedWhileHeld([&](int tries) {
        if (tries == 2)
            SetFileAttributesW(record.backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        return MoveFileExW(record.backupPath.c_str(), origin.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
    if (!moved) {
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesW(record.backupPath.c_str(), attributes);
        if (originAttributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesW(origin.c_str(), originAttributes);
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(origin.c_str(), attributes);
    return removed;
}

bool undoSelfRegistration(const LogRecords& records, const std::wstring& program, std::wstring& registerAgain)
{
    // Only a program that this run wrote is started, and only while it is there.
    auto installed = std::find_if(records.begin(), records.end(), [&](const UninstallLogRecord& r) {
        return r.recordKind == RecordKind::InstalledFile && r.path == program;
    });
    if (program.empty() || installed == records.end())
        return true;
    if (installed->existedBefore)
        registerAgain = program;
    if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    // Started outside its folder, which the rollback may be about to remove.
    return runRegistration(program, Registration::Unregister, shellFolder(CSIDL_SYSTEM), registrationTimeout)
        .done;
}

} // namespace

std::vector<RollbackFailure> undoRecords(LogRecords& records)
{
    std::vector<RollbackFailure> failures;
    std::wstring registerAgain; // an earlier program that registered itself before the run
    while (!records.empty()) {
        const UninstallLogRecord& record = records.back();
        bool undone = true;
        if (record.recordKind == RecordKind::CreatedFolder) {
            if (!record.existedBefore)
                // Stays when something else lies in it; a folder that another program
                // holds for a moment (the shell, after its links went) gets more tries.
                triedWhileHeld([&](int) { return RemoveDirectoryW(record.path.c_str()) != FALSE; });
        } else if (record.recordKind == RecordKind::UninstallKey)
            undone = restoreUninstallKey(record, product::productKey());
        else if (record.recordKind == RecordKind::SelfRegistration)
            undone = undoSelfRegistration(records, record.path, registerAgain);
        else if (isFileKind(record.recordKind))
            undone = restoreFile(record);
        if (!undone) {
            const bool saved = !record.backupPath.empty() &&
                               GetFileAttributesW(record.backupPath.c_str()) != INVALID_FILE_ATTRIBUTES;
            std::wstring path = record.recordKind == RecordKind::UninstallKey       ? uninstallKeyText()
                                : record.recordKind == RecordKind::SelfRegistration ? selfRegistrationText
                                : record.backupSource.empty()                       ? record.path
                                                                                    : record.backupSource;
            failures.push_back({std::move(path), saved ? record.backupPath : std::wstring()});
        }
        records.pop_back();
    }
    if (!registerAgain.empty() && GetFileAttributesW(registerAgain.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !runRegistration(registerAgain, Registration::Register, {}, registrationTimeout).done)
        failures.push_back({selfRegistrationText, {}});
    return failures;
}

} // namespace ar
