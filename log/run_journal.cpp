#include "log/run_journal.h"

#include "log/rollback.h"

#include "product/product.h"
#include "product/product_record.h"
#include "log/log_trust.h"
#include "product/self_registration.h"
#include "support/folder_rules.h"
#include "support/processes.h"
#include "support/elevated_files.h"
#include "support/format.h"
#include "support/path_rules.h"
#include "support/shell_folders.h"
#include "log/journal_file.h"
#include "log/file_placement.h"
#include "log/registry_backup.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <system_error>
#include <vector>

namespace ar {
namespace {

// "Ardenvale Setup" and "Pelorium7.journal".
const std::wstring journalFolderName = std::wstring(product::companyName) + L" Setup";
const std::wstring journalFileName = std::wstring(product::objectStem) + L".journal";

[[noreturn]] void throwLastError(const char* what)
{
    DWORD error = GetLastError();
    throw std::system_error(static_cast<int>(error ? error : ERROR_WRITE_FAULT), std::system_category(),
                            what);
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

// The set-up folder, opened as it is below the common application data folder
// (never through a link) without delete sharing, so that it cannot be renamed or
// replaced while it is held, and whether it can be trusted: a folder that anybody
// but administrators could have arranged is nobody's authority.
struct SetupFolder {
    unique_hfile handle;
    FolderTrust trust = FolderTrust::OwnerNotTrusted;
};

std::wstring commonDataFolder()
{
    return shellFolder(CSIDL_COMMON_APPDATA);
}

SetupFolder openSetupFolder(const std::wstring& path, DWORD extraAccess = 0)
{
    SetupFolder folder;
    folder.handle =
        openBelow(commonDataFolder(), path, NodeKind::Folder,
                  FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE | extraAccess,
                  FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (folder.handle)
        folder.trust = judgeFolder(folder.handle.get());
    return folder;
}

// Opens the trusted set-up folder; empty, with the last error set, when it is not.
unique_hfile openTrustedFolder(const std::wstring& path)
{
    SetupFolder folder = openSetupFolder(path);
    if (folder.handle && folder.trust != FolderTrust::Trusted) {
        folder.handle.reset();
        SetLastError(ERROR_INVALID_OWNER);
    }
    return std::move(folder.handle);
}

// Creates the protected folder, or opens it when it is there and trusted.
unique_hfile makeTrustedFolder(const std::wstring& path)
{
    unique_hlocal descriptor = descriptorFromSddl(adminsOnlySddl);
    if (!descriptor)
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    if (!CreateDirectoryW(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS)
        return {};
    return openTrustedFolder(path);
}

// The journal in the held set-up folder: a plain file with one name, or nothing.
unique_hfile openJournal(const std::wstring& folder, DWORD access, DWORD share)
{
    return openBelow(folder, folder + L"\\" + journalFileName, NodeKind::File, access, share);
}

// The names that a journal gives its backups, directly in its folder: "<n>.bak",
// "<n>.hiv" and "key<n>.hiv". A record that names anything else is not the journal's.
bool isOwnBackup(const std::wstring& path, const std::wstring& folder)
{
    if (!samePlainPath(parentOf(path), folder))
        return false;
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    if (name.size() > 3 && equalIgnoringCase(name.substr(0, 3), L"key"))
        name = name.substr(3);
    const std::size_t dot = name.find(L'.');
    if (dot == 0 || dot == std::wstring::npos || name.find_first_not_of(L"0123456789") != dot)
        return false;
    const std::wstring extension = name.substr(dot);
    return equalIgnoringCase(extension, L".bak") || equalIgnoringCase(extension, L".hiv");
}

// Removes the files of the journal's folder, then the journal, then the folder:
// the journal goes last, so that nothing it still needs is gone while it exists.
// Everything is removed through handles checked below the folder.
std::vector<std::wstring> removeJournalFolder(const std::wstring& folder)
{
    std::vector<std::wstring> left;
    const std::wstring journal = folder + L"\\" + journalFileName;
    WIN32_FIND_DATAW found{};
    if (unique_hfind search{FindFirstFileW((folder + L"\\*").c_str(), &found)}) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L".." || equalIgnoringCase(name, journalFileName))
                continue;
            const std::wstring path = folder + L"\\" + name;
            // A folder (the uninstaller's copy leaves its own) goes only when empty.
            const NodeKind kind =
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? NodeKind::Folder : NodeKind::File;
            if (!deleteBelow(folder, path, kind))
                left.push_back(path);
        } while (FindNextFileW(search.get(), &found));
    }
    if (!left.empty() || !deleteBelow(folder, journal)) {
        left.push_back(journal);
        return left;
    }
    if (unique_hfile handle = openBelow(commonDataFolder(), folder, NodeKind::Folder, deleteAccess,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        deleteThrough(handle.get());
    return left;
}

bool appendDurably(HANDLE file, const std::string& line)
{
    DWORD written = 0;
    return WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size() && FlushFileBuffers(file);
}

// Removes the interrupted run's private folder and the files in it: only a folder
// directly in the set-up folder, through handles checked below it (the private
// folders of earlier versions, in the user's temporary folder, are left alone).
void removePrivateFolder(const std::wstring& path, const std::wstring& setupFolder)
{
    if (path.empty() || !samePlainPath(parentOf(path), setupFolder))
        return;
    WIN32_FIND_DATAW found{};
    if (unique_hfind search{FindFirstFileW((path + L"\\*").c_str(), &found)}) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                deleteBelow(setupFolder, path + L"\\" + found.cFileName);
        } while (FindNextFileW(search.get(), &found));
    }
    deleteBelow(setupFolder, path, NodeKind::Folder);
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
        if (key->hiveFile.empty() || !isOwnBackup(key->hiveFile, folder) ||
            GetFileAttributesW(key->hiveFile.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (restoreKeyFromHive(key->path, key->hiveFile))
            deleteFile(key->hiveFile);
        else
            kept.push_back(key->hiveFile);
    }
    return kept;
}

// "Software\Ardenvale Setup\Pelorium7" below HKEY_LOCAL_MACHINE: the scope of the
// run whose journal is open, written before its journal and removed after it.
const std::wstring scopeParentKey = L"Software\\" + journalFolderName;
const std::wstring scopeKey = scopeParentKey + L"\\" + product::objectStem;

bool writeScope(const RunScope& scope)
{
    unique_hkey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, scopeKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    auto set = [&](const wchar_t* name, const std::wstring& value) {
        return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    };
    return set(L"InstallFolder", scope.installFolder) && set(L"MenuFolder", scope.menuFolder) &&
           RegFlushKey(key.get()) == ERROR_SUCCESS;
}

RunScope readScope()
{
    RunScope scope;
    auto get = [](const wchar_t* name) {
        wchar_t buffer[MAX_PATH + 1] = {};
        DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
        DWORD type = 0;
        if (SHGetValueW(HKEY_LOCAL_MACHINE, scopeKey.c_str(), name, &type, buffer, &bytes) != ERROR_SUCCESS ||
            type != REG_SZ)
            return std::wstring();
        return std::wstring(buffer);
    };
    scope.installFolder = get(L"InstallFolder");
    scope.menuFolder = get(L"MenuFolder");
    // Without it (a journal of a version that did not keep it), the folders that
    // only administrators could have named: the registered program's, else the
    // default ones.
    if (scope.installFolder.empty()) {
        const std::wstring program = readProductRecord().mainProgram;
        const std::wstring own = std::wstring(L"\\") + product::companyName + L"\\" + product::productKey();
        scope.installFolder = program.empty() ? shellFolder(CSIDL_PROGRAM_FILES) + own : parentOf(program);
        scope.menuFolder = shellFolder(CSIDL_COMMON_PROGRAMS) + own;
    }
    return scope;
}

void removeScope()
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, scopeKey.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, scopeParentKey.c_str()); // only when nothing else is in it
}

// Whether an interrupted run's record lies where the run may have acted: in its
// scope, the company's data folders, on a desktop (a link) or in the set-up folder.
// A created folder may also lie above one of them (D:\Apps above D:\Apps\Pelorium 7):
// a rollback removes a folder only when it is empty.
class RecoveryScope {
public:
    RecoveryScope(const RunScope& scope, const std::wstring& setupFolder)
        : installFolder_(scope.installFolder), folders_(companyDataFolders())
    {
        for (const std::wstring& folder : {scope.installFolder, scope.menuFolder, setupFolder})
            if (!folder.empty())
                folders_.push_back(folder);
        for (int csidl : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY})
            if (std::wstring desktop = shellFolder(csidl); !desktop.empty())
                desktops_.push_back(desktop);
    }

    bool holds(const UninstallLogRecord& record) const
    {
        switch (record.recordKind) {
        case RecordKind::CreatedFolder:
            return std::any_of(folders_.begin(), folders_.end(), [&](const std::wstring& folder) {
                return isAtOrBelow(record.path, folder) || isAtOrBelow(folder, record.path);
            });
        case RecordKind::InstalledFile:
            return within(record.path, false) && within(record.backupSource, false);
        case RecordKind::MenuShortcut:
        case RecordKind::UninstallShortcut:
        case RecordKind::DesktopShortcut:
            return within(record.path, true) && within(record.backupSource, true);
        case RecordKind::SelfRegistration:
            return record.path.empty() || (!installFolder_.empty() && isBelow(record.path, installFolder_));
        case RecordKind::UninstallKey:
        case RecordKind::DirectXSetup:
            return true;
        }
        return false;
    }

private:
    bool within(const std::wstring& path, bool link) const
    {
        auto below = [&](const std::wstring& folder) { return isBelow(path, folder); };
        return path.empty() || std::any_of(folders_.begin(), folders_.end(), below) ||
               (link && std::any_of(desktops_.begin(), desktops_.end(), below));
    }

    std::wstring installFolder_;
    std::vector<std::wstring> folders_;
    std::vector<std::wstring> desktops_;
};

// The keys that a run writes outside its records: the product's record, the
// company's key above it and the program's App Paths entry. No other key is touched.
bool isProductKey(const std::wstring& path)
{
    const std::wstring record = productRecordKeyPath();
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    const bool programEntry = equalIgnoringCase(parentOf(path), parentOf(appPathsKeyPath(L"x.exe"))) &&
                              name.size() > wcslen(product::name) &&
                              equalIgnoringCase(name.substr(0, wcslen(product::name)), product::name);
    return equalIgnoringCase(path, record) || equalIgnoringCase(path, parentOf(record)) || programEntry;
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

unique_hfile openTrustedSetupFolder()
{
    const std::wstring folder = journalFolder();
    if (folder.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return {};
    }
    return makeTrustedFolder(folder);
}

bool RunJournal::start(const std::wstring& privateFolder, const RunScope& scope)
{
    file_.reset();
    folder_ = journalFolder();
    unique_hfile folder = openTrustedSetupFolder();
    if (!folder)
        return false;
    const std::wstring path = journalPath();
    // A journal that is not ended belongs to a run that start-up has not undone.
    {
        unique_hfile earlier = openJournal(folder_, GENERIC_READ, FILE_SHARE_READ);
        if (earlier && !parseJournal(readWhole(earlier.get())).ended) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
    }
    // The scope goes first: a journal is never without it.
    if (!writeScope(scope))
        return false;
    // Readers may watch it grow; nobody else may write it. An ended journal that
    // is still there is replaced.
    if (!deleteBelow(folder_, path))
        return false;
    file_ = createBelow(folder_, path, GENERIC_WRITE, FILE_SHARE_READ);
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
    if (!copy && equalIgnoringCase(volumeOf(source), volumeOf(target))) {
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
        if (!deleteBelow(folder_, path))
            return {path};
    }
    removeScope();
    return removeJournalFolder(folder_);
}

namespace {

// A name beside the set-up folder for one that is not trusted: it stays for an
// administrator to look at, and the installer makes a new one.
std::wstring setAsideName(const std::wstring& folder)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return folder + formatPrintf(L" (untrusted, set aside %04u-%02u-%02u %02u.%02u.%02u)", now.wYear,
                                 now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

// Keeps the records and keys of a journal that lie where the run may have acted;
// the others are reported and left alone.
void keepInScope(JournalContents& contents, const std::wstring& folder, RecoveryReport& report)
{
    const RecoveryScope scope(readScope(), folder);
    std::vector<UninstallLogRecord> records;
    for (UninstallLogRecord& record : contents.records) {
        if (scope.holds(record))
            records.push_back(std::move(record));
        else
            report.outsideScope.push_back(record.path);
    }
    contents.records = std::move(records);
    std::vector<JournalKey> keys;
    for (JournalKey& key : contents.keys) {
        if (isProductKey(key.path))
            keys.push_back(std::move(key));
        else
            report.outsideScope.push_back(L"HKEY_LOCAL_MACHINE\\" + key.path);
    }
    contents.keys = std::move(keys);
}

// Undoes the run that an unended journal describes. False when something could not
// be put back: the journal then stays for the next start to try again.
bool undoRun(unique_hfile& journal, JournalContents& contents, const std::wstring& folder,
             RecoveryReport& report)
{
    keepInScope(contents, folder, report);
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
    LogRecords undo;
    for (UninstallLogRecord& record : contents.records) {
        // Only a backup of this journal's own, still there, is put back; a
        // record whose backup is missing (never made, or already put back by
        // an interrupted recovery) leaves what stands in its place.
        if (!record.backupPath.empty() &&
            (!isOwnBackup(record.backupPath, folder) ||
             GetFileAttributesW(record.backupPath.c_str()) == INVALID_FILE_ATTRIBUTES)) {
            record.backupPath.clear();
            record.existedBefore = true;
        }
        undo.push_back(std::move(record));
    }
    report.records = undo.size();
    report.interrupted = true;
    // What could not be put back (a file in use, say) keeps the journal, so
    // that the next start tries again; the earlier content is still in its backup.
    for (const RollbackFailure& failure : undoRecords(undo)) {
        report.left.push_back(failure.keptAs.empty() ? failure.path : failure.keptAs);
        report.incomplete = report.incomplete || !failure.keptAs.empty();
    }
    if (report.incomplete)
        return false;
    removePrivateFolder(contents.privateFolder, folder);
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(journal.get(), end, nullptr, FILE_END) ||
        !appendDurably(journal.get(), formatJournalEnd())) {
        journal.reset();
        deleteBelow(folder, journalPath());
    }
    return true;
}

// A set-up folder that somebody else could have arranged is set aside, unread. A
// folder that is a link is left as it is: renaming it by name could move what it
// leads to instead (as Wine does), and there is no handle to it.
void setAside(const SetupFolder& setup, const std::wstring& folder, RecoveryReport& report)
{
    report.error = setup.handle ? ERROR_INVALID_OWNER : GetLastError();
    const std::wstring aside = setAsideName(folder);
    if (setup.handle && renameThrough(setup.handle.get(), aside, false))
        report.setAside = aside;
    else
        report.unreadable = true;
    removeScope();
}

} // namespace

RecoveryReport recoverInterruptedRun()
{
    RecoveryReport report;
    const std::wstring folder = journalFolder();
    if (folder.empty() || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        removeScope();
        return report;
    }
    // A folder that somebody else could have arranged, or a journal that is not a
    // plain file of its own, is not read.
    SetupFolder setup = openSetupFolder(folder, DELETE);
    unique_hfile journal;
    if (setup.handle && setup.trust == FolderTrust::Trusted) {
        journal = openJournal(folder, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
        const DWORD error = GetLastError();
        // A journal that is still being written belongs to a run at work (which let go
        // of the installer's lock for a moment): it is not this program's to undo.
        if (!journal && error == ERROR_SHARING_VIOLATION) {
            report.inUse = true;
            return report;
        }
        if (!journal && error != ERROR_FILE_NOT_FOUND)
            setup.trust = FolderTrust::OthersCanChangeIt;
    }
    if (!setup.handle || setup.trust != FolderTrust::Trusted) {
        setAside(setup, folder, report);
        return report;
    }
    if (journal) {
        JournalContents contents = parseJournal(readWhole(journal.get()));
        if (contents.foreign) {
            report.unreadable = true;
            return report;
        }
        if (!contents.ended && !undoRun(journal, contents, folder, report))
            return report;
    }
    journal.reset();
    setup.handle.reset();
    removeScope();
    report.left = removeJournalFolder(folder);
    return report;
}

bool interruptedRunPending()
{
    const std::wstring folder = journalFolder();
    SetupFolder setup = openSetupFolder(folder);
    if (!setup.handle || setup.trust != FolderTrust::Trusted)
        return false;
    unique_hfile journal = openJournal(folder, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!journal)
        return false;
    JournalContents contents = parseJournal(readWhole(journal.get()));
    return contents.foreign || (contents.understood && !contents.ended);
}

} // namespace ar
