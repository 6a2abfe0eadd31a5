#include "log/run_journal.h"

#include "product/product.h"
#include "product/self_registration.h"
#include "support/folder_rules.h"
#include "support/processes.h"
#include "support/shell_folders.h"
#include "log/journal_file.h"
#include "log/file_placement.h"
#include "log/registry_backup.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <system_error>
#include <vector>

namespace ar {
namespace {

// "Ardenvale Setup" and "Pelorium7.journal".
const std::wstring journalFolderName = std::wstring(product::companyName) + L" Setup";
const std::wstring journalFileName = std::wstring(product::objectStem) + L".journal";
// A protected access list: full control to Administrators and SYSTEM, inherited by
// every file below, nothing inherited from the common application data folder.
constexpr wchar_t journalFolderSddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

[[noreturn]] void throwLastError(const char* what)
{
    DWORD error = GetLastError();
    throw std::system_error(static_cast<int>(error ? error : ERROR_WRITE_FAULT), std::system_category(),
                            what);
}

bool sameFolder(const std::wstring& a, const std::wstring& b)
{
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

std::wstring volumeOf(const std::wstring& path)
{
    wchar_t volume[MAX_PATH] = {};
    if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH))
        return {};
    return volume;
}

bool flushFile(const std::wstring& path)
{
    unique_hfile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && FlushFileBuffers(file.get());
}

// Part of the token's information (TokenOwner, TokenUser), empty on failure.
std::vector<BYTE> tokenInformation(TOKEN_INFORMATION_CLASS kind)
{
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), kind, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), kind, buffer.data(), size, &size))
        return {};
    return buffer;
}

// Administrators, SYSTEM, or the owner that this elevated process gives to what it
// creates. An elevated token makes Administrators the owner, so that a folder owned
// by the user was made outside the elevation and is not trusted; where the token
// does not (Wine, a system without that separation), the user's own folders are
// the process's own.
bool trustedOwner(PSID owner)
{
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid))
        return true;
    std::vector<BYTE> defaultOwner = tokenInformation(TokenOwner);
    if (defaultOwner.empty())
        return false;
    PSID given = reinterpret_cast<TOKEN_OWNER*>(defaultOwner.data())->Owner;
    if (EqualSid(owner, given))
        return true;
    if (IsWellKnownSid(given, WinBuiltinAdministratorsSid))
        return false;
    std::vector<BYTE> user = tokenInformation(TokenUser);
    return !user.empty() && EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

// Opens a folder as it is (never through a link), without delete sharing, so that
// it cannot be renamed or replaced while it is held. Empty unless it is a plain
// folder owned by Administrators or SYSTEM: one that a standard user made is
// nobody's authority.
unique_hfile openTrustedFolder(const std::wstring& path)
{
    unique_hfile folder(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!folder || !GetFileInformationByHandle(folder.get(), &information))
        return {};
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return {};
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                  nullptr, nullptr, &descriptor);
    unique_hlocal held(descriptor);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return {};
    }
    if (!owner || !trustedOwner(owner)) {
        SetLastError(ERROR_INVALID_OWNER);
        return {};
    }
    return folder;
}

// Creates the protected folder, or opens it when it is there and trusted.
unique_hfile makeTrustedFolder(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(journalFolderSddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return {};
    unique_hlocal held(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    if (!CreateDirectoryW(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS)
        return {};
    return openTrustedFolder(path);
}

// Removes the files of the journal's folder, then the journal, then the folder:
// the journal goes last, so that nothing it still needs is gone while it exists.
std::vector<std::wstring> removeJournalFolder(const std::wstring& folder)
{
    std::vector<std::wstring> left;
    const std::wstring journal = folder + L"\\" + journalFileName;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L".." || lstrcmpiW(name.c_str(), journalFileName.c_str()) == 0)
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                left.push_back(path);
                continue;
            }
            deleteFile(path);
            if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
                left.push_back(path);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (!left.empty()) {
        left.push_back(journal);
        return left;
    }
    deleteFile(journal);
    if (GetFileAttributesW(journal.c_str()) != INVALID_FILE_ATTRIBUTES) {
        left.push_back(journal);
        return left;
    }
    RemoveDirectoryW(folder.c_str());
    return left;
}

bool appendDurably(HANDLE file, const std::string& line)
{
    DWORD written = 0;
    return WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size() && FlushFileBuffers(file);
}

// Removes the interrupted run's private temporary folder and the files in it, once
// it is known to be the run's own: the folder lies in the user's temporary folder,
// which a standard user may rearrange after the run has ended.
void removePrivateFolder(const std::wstring& path)
{
    if (path.empty())
        return;
    {
        unique_hfile held = openTrustedFolder(path);
        if (!held)
            return;
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
                    continue;
                deleteFile(path + L"\\" + found.cFileName);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
    }
    RemoveDirectoryW(path.c_str());
}

// Puts back the keys saved before the run wrote them, newest first, or removes
// those that did not exist. Returns the hives that could not be put back (kept).
std::vector<std::wstring> putBackKeys(const std::vector<JournalKey>& keys, const std::wstring& folder)
{
    std::vector<std::wstring> kept;
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        if (!key->existed) {
            SHDeleteKeyW(HKEY_LOCAL_MACHINE, key->path.c_str());
            continue;
        }
        // A hive that is missing was never made (the key was not changed yet) or
        // has been put back already; only one of the journal's own is taken.
        if (key->hiveFile.empty() || !sameFolder(parentOf(key->hiveFile), folder) ||
            GetFileAttributesW(key->hiveFile.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (restoreKeyFromHive(key->path, key->hiveFile))
            deleteFile(key->hiveFile);
        else
            kept.push_back(key->hiveFile);
    }
    return kept;
}

JournalProcess currentProcess()
{
    return {GetCurrentProcessId(), processCreationTime(GetCurrentProcess())};
}

std::string readWhole(HANDLE file)
{
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

} // namespace

std::wstring journalFolder()
{
    const std::wstring common = shellFolder(CSIDL_COMMON_APPDATA);
    return common.empty() ? common : common + L"\\" + journalFolderName;
}

std::wstring journalPath()
{
    std::wstring folder = journalFolder();
    return folder.empty() ? folder : folder + L"\\" + journalFileName;
}

bool RunJournal::start(const std::wstring& privateFolder)
{
    file_.reset();
    folder_ = journalFolder();
    if (folder_.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    unique_hfile folder = makeTrustedFolder(folder_);
    if (!folder)
        return false;
    const std::wstring path = journalPath();
    // A journal that is not ended belongs to a run that start-up has not undone.
    {
        unique_hfile earlier(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (earlier && !parseJournal(readWhole(earlier.get())).ended) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
    }
    // Readers may watch it grow; nobody else may write it.
    file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_)
        return false;
    if (!appendDurably(file_.get(), formatJournalHeader() + formatJournalFolder(privateFolder) +
                                        formatJournalProcess(currentProcess()))) {
        DWORD error = GetLastError();
        file_.reset();
        deleteFile(path);
        SetLastError(error);
        return false;
    }
    return true;
}

void RunJournal::append(const std::string& line)
{
    if (!file_)
        return;
    if (!appendDurably(file_.get(), line))
        throwLastError("the installation journal could not be written");
}

void RunJournal::write(std::size_t index, const UninstallLogRecord& record)
{
    append(formatJournalRecord(index, record));
}

std::wstring RunJournal::backupName(const std::wstring& stem, const wchar_t* extension) const
{
    std::wstring name = folder_ + L"\\" + stem + extension;
    // What an ended run left there is of no use to anyone.
    deleteFile(name);
    deleteFile(name + L".part");
    return name;
}

bool RunJournal::backUp(std::size_t index, UninstallLogRecord& record, const std::wstring& source, bool copy)
{
    const std::wstring target = backupName(std::to_wstring(index), L".bak");
    record.backupPath = target;
    write(index, record);

    const DWORD attributes = GetFileAttributesW(source.c_str());
    const bool haveAttributes = attributes != INVALID_FILE_ATTRIBUTES;
    if (haveAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        record.backupPath.clear();
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // The file keeps its attributes while it is backed up, and the backup has them
    // from the moment it appears under its name: a run ended at any point here gets
    // the file back as it was (read-only included).
    bool placed = false;
    if (!copy && sameFolder(volumeOf(source), volumeOf(target))) {
        placed = MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    } else {
        // A copy appears under the backup's name only once it is whole.
        const std::wstring part = target + L".part";
        placed = CopyFileW(source.c_str(), part.c_str(), FALSE) &&
                 SetFileAttributesW(part.c_str(), FILE_ATTRIBUTE_NORMAL) && flushFile(part) &&
                 (!haveAttributes || SetFileAttributesW(part.c_str(), attributes)) &&
                 MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        if (!placed) {
            deleteFile(part);
        } else if (!copy) {
            SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(source.c_str())) {
                const DWORD error = GetLastError();
                SetFileAttributesW(source.c_str(), attributes);
                SetLastError(error);
                placed = false;
            }
        }
    }
    const DWORD error = GetLastError();
    if (!placed && GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
        record.backupPath.clear();
    SetLastError(error);
    return placed;
}

bool RunJournal::saveKey(std::size_t index, UninstallLogRecord& record, HKEY key)
{
    const std::wstring target = backupName(std::to_wstring(index), L".hiv");
    record.backupPath = target;
    write(index, record);
    // The hive is saved under another name and renamed once whole.
    const std::wstring part = target + L".part";
    if (saveKeyToHive(key, part) && flushFile(part) &&
        MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        return true;
    deleteFile(part);
    record.backupPath.clear();
    return false;
}

void RunJournal::saveKeys(const std::vector<KeyToSave>& keys)
{
    for (std::size_t number = 0; number < keys.size(); ++number) {
        JournalKey key{false, keys[number].path, {}};
        unique_hkey open;
        key.existed =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.path.c_str(), 0, KEY_READ, open.put()) == ERROR_SUCCESS;
        if (key.existed && keys[number].save)
            key.hiveFile = backupName(L"key" + std::to_wstring(number), L".hiv");
        append(formatJournalKey(key));
        keys_.push_back(key);
        if (key.hiveFile.empty())
            continue;
        const std::wstring part = key.hiveFile + L".part";
        if (!saveKeyToHive(open.get(), part) || !flushFile(part) ||
            !MoveFileExW(part.c_str(), key.hiveFile.c_str(), MOVEFILE_WRITE_THROUGH)) {
            deleteFile(part);
            // Without its content the key cannot be put back: the run does not go on
            // to change it.
            throwLastError("a registry key could not be saved before it is written");
        }
    }
}

std::vector<std::wstring> RunJournal::undoKeys()
{
    std::vector<std::wstring> kept = putBackKeys(keys_, folder_);
    keys_.clear();
    return kept;
}

std::vector<std::wstring> RunJournal::finish()
{
    if (!file_)
        return {};
    const bool ended = appendDurably(file_.get(), formatJournalEnd());
    file_.reset();
    const std::wstring path = journalPath();
    if (!ended) {
        // Without its end the journal would undo the run again: it goes first.
        deleteFile(path);
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return {path};
    }
    return removeJournalFolder(folder_);
}

RecoveryReport recoverInterruptedRun()
{
    RecoveryReport report;
    const std::wstring folder = journalFolder();
    if (folder.empty() || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        return report;
    unique_hfile heldFolder = openTrustedFolder(folder);
    if (!heldFolder) {
        report.error = GetLastError();
        report.unreadable = true;
        return report;
    }
    const std::wstring path = journalPath();
    unique_hfile journal(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (journal) {
        JournalContents contents = parseJournal(readWhole(journal.get()));
        if (contents.foreign) {
            report.unreadable = true;
            return report;
        }
        if (!contents.ended) {
            // A registration program that the run, or an earlier recovery of it, started
            // may still be at work.
            for (const UninstallLogRecord& record : contents.records)
                if (record.recordKind == RecordKind::SelfRegistration)
                    for (const JournalProcess& process : contents.processes)
                        endOrphanedRegistrations(process.id, process.created, record.path);
            // This recovery starts registration programs of its own: the journal names
            // it, in place of a torn last line, for a recovery that follows it.
            LARGE_INTEGER intact{};
            intact.QuadPart = static_cast<LONGLONG>(contents.length);
            if (SetFilePointerEx(journal.get(), intact, nullptr, FILE_BEGIN) && SetEndOfFile(journal.get()))
                appendDurably(journal.get(), formatJournalProcess(currentProcess()));
            // The keys were written after every record that undoes anything: newest first.
            for (const std::wstring& hive : putBackKeys(contents.keys, folder)) {
                report.left.push_back(hive);
                report.incomplete = true;
            }
            UninstallLog undo;
            for (UninstallLogRecord& record : contents.records) {
                // Only a backup of this journal's own, still there, is put back; a
                // record whose backup is missing (never made, or already put back by
                // an interrupted recovery) leaves what stands in its place.
                if (!record.backupPath.empty() &&
                    (!sameFolder(parentOf(record.backupPath), folder) ||
                     GetFileAttributesW(record.backupPath.c_str()) == INVALID_FILE_ATTRIBUTES)) {
                    record.backupPath.clear();
                    record.existedBefore = true;
                }
                undo.records.push_back(std::move(record));
            }
            report.records = undo.records.size();
            report.interrupted = true;
            // What could not be put back (a file in use, say) keeps the journal, so
            // that the next start tries again; the earlier content is still in its backup.
            for (const RollbackFailure& failure : undo.rollback()) {
                report.left.push_back(failure.keptAs.empty() ? failure.path : failure.keptAs);
                report.incomplete = report.incomplete || !failure.keptAs.empty();
            }
            if (report.incomplete)
                return report;
            removePrivateFolder(contents.privateFolder);
            LARGE_INTEGER end{};
            if (!SetFilePointerEx(journal.get(), end, nullptr, FILE_END) ||
                !appendDurably(journal.get(), formatJournalEnd())) {
                journal.reset();
                deleteFile(path);
            }
        }
    }
    journal.reset();
    heldFolder.reset();
    report.left = removeJournalFolder(folder);
    return report;
}

bool interruptedRunPending()
{
    unique_hfile journal(CreateFileW(journalPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!journal)
        return false;
    JournalContents contents = parseJournal(readWhole(journal.get()));
    return contents.foreign || (contents.understood && !contents.ended);
}

} // namespace ar
