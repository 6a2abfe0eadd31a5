#include "log/uninstall_log.h"

#include "product/product.h"
#include "log/file_placement.h"
#include "log/log_digest.h"
#include "log/log_format.h"
#include "log/registry_backup.h"
#include "product/self_registration.h"
#include "support/handles.h"
#include "support/elevated_files.h"
#include "support/path_rules.h"
#include "support/shell_folders.h"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ar {

namespace fs = boost::filesystem;

namespace {

constexpr DWORD logFileAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

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

bool namedByPath(RecordKind kind)
{
    return kind == RecordKind::CreatedFolder || kind == RecordKind::InstalledFile;
}

// The same number of elements, each pair of the same length and equal when case is
// ignored, by the user's locale.
bool sameElementsIgnoringCase(const fs::path& a, const fs::path& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const fs::path& x, const fs::path& y) {
        const std::wstring& u = x.native();
        const std::wstring& v = y.native();
        return u.size() == v.size() &&
               (u.empty() || StrIsIntlEqualW(FALSE, u.c_str(), v.c_str(), static_cast<int>(u.size())));
    });
}

// A path's elements joined by a character that no element can hold, after its kind.
std::wstring elementsKey(RecordKind kind, const std::wstring& path)
{
    std::wstring key = std::to_wstring(static_cast<std::uint32_t>(kind));
    for (const fs::path& element : fs::path(path)) {
        key += L'|';
        key += element.native();
    }
    return key;
}

// Paths as the file system knows them, answering for each pair:
// two existing paths are the same when they open the same file; two paths of which
// neither exists are the same when their absolute forms match, ignoring case; one
// that exists is never the same as one that does not.
class FileIndex {
public:
    void add(const std::wstring& path)
    {
        if (auto id = identity(path))
            existing_.insert({id->volume, id->high, id->low});
        else if (auto absolute = absolutePath(path))
            missing_.push_back(std::move(*absolute));
    }

    bool contains(const std::wstring& path) const
    {
        if (auto id = identity(path))
            return existing_.count({id->volume, id->high, id->low}) != 0;
        auto absolute = absolutePath(path);
        return absolute && std::any_of(missing_.begin(), missing_.end(), [&](const fs::path& entry) {
                   return sameElementsIgnoringCase(entry, *absolute);
               });
    }

private:
    struct Identity {
        DWORD volume, high, low;
    };

    static std::optional<Identity> identity(const std::wstring& path)
    {
        unique_hfile file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION information{};
        if (!file || !GetFileInformationByHandle(file.get(), &information))
            return std::nullopt;
        return Identity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                        information.nFileIndexLow};
    }

    static std::optional<fs::path> absolutePath(const std::wstring& path)
    {
        boost::system::error_code error;
        fs::path absolute = fs::absolute(fs::path(path), error);
        if (error)
            return std::nullopt;
        return absolute;
    }

    std::set<std::tuple<DWORD, DWORD, DWORD>> existing_;
    std::vector<fs::path> missing_;
};

bool isLinkName(const std::wstring& path)
{
    return path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".lnk") == 0;
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

bool writeText(HANDLE file, const void* data, std::size_t bytes)
{
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(bytes), &written, nullptr) && written == bytes;
}

bool writeLine(HANDLE file, const std::wstring& line)
{
    return writeText(file, line.data(), line.size() * sizeof(wchar_t));
}

[[noreturn]] void throwKeepingFile(DWORD error, const char* what)
{
    throw std::system_error(static_cast<int>(error ? error : ERROR_GEN_FAILURE), std::system_category(),
                            what);
}

} // namespace

UninstallLogRecord& UninstallLog::append(RecordKind kind)
{
    pending = true;
    UninstallLogRecord& record = records.emplace_back();
    record.recordKind = kind;
    return record;
}

void UninstallLog::ensure_folders(const std::wstring& folder)
{
    std::wstring buffer = folder;
    const wchar_t* start = buffer.c_str();
    const wchar_t* component = PathFindNextComponentW(start); // after the drive
    while (component && *component) {
        const wchar_t* next = PathFindNextComponentW(component);
        if (!next)
            break;
        std::size_t end = static_cast<std::size_t>(next - start);
        if (end > 0 && buffer[end - 1] == L'\\')
            --end;
        std::wstring prefix = buffer.substr(0, end);
        if (!PathIsDirectoryW(prefix.c_str())) {
            // Journaled before it is made: an interrupted run removes it if it is there.
            recordFolder(prefix, false);
            journalLast();
            const wchar_t* access = newFolderAccess ? newFolderAccess(prefix) : nullptr;
            unique_hlocal descriptor = access ? descriptorFromSddl(access) : unique_hlocal();
            SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
            if ((access && !descriptor) ||
                !CreateDirectoryW(prefix.c_str(), descriptor ? &attributes : nullptr)) {
                records.pop_back();
                return;
            }
            SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, prefix.c_str(), nullptr);
        } else if (productFolder) {
            // Each existing folder is looked at once.
            std::wstring key = prefix;
            CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
            if (existingFolders_.insert(std::move(key)).second && productFolder(prefix)) {
                recordFolder(std::move(prefix), true);
                journalLast();
            }
        }
        component = next;
    }
}

void UninstallLog::recordFolder(std::wstring folder, bool existed)
{
    UninstallLogRecord& record = append(RecordKind::CreatedFolder);
    record.path = std::move(folder);
    record.succeeded = true;
    record.existedBefore = existed;
}

void UninstallLog::recordFile(const std::wstring& path, std::int32_t fileKind, bool keep)
{
    pending = true;
    std::wstring parent = path;
    if (PathRemoveFileSpecW(parent.data()))
        ensure_folders(parent.c_str());

    UninstallLogRecord& record = append(RecordKind::InstalledFile);
    record.path = path;
    record.fileKind = fileKind;

    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        journalLast();
        return;
    }
    record.existedBefore = true;
    record.backupSource = path;
    if (keep) {
        // Nothing is written over what is kept, so there is nothing to back up.
        record.keptInPlace = true;
        journalLast();
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        journalLast();
        throwKeepingFile(ERROR_ALREADY_EXISTS, "a folder stands where a file must be installed");
    }
    record.backupPath = backUpLast(path, false);
    if (record.backupPath.empty())
        throwKeepingFile(GetLastError(), "an existing file could not be moved away before it is replaced");
}

void UninstallLog::recordShortcut(int which, const std::wstring& folder, const std::wstring& link)
{
    pending = true;
    ensure_folders(folder);
    RecordKind kind = which == 0   ? RecordKind::MenuShortcut
                      : which == 1 ? RecordKind::UninstallShortcut
                                   : RecordKind::DesktopShortcut;
    UninstallLogRecord& record = append(kind);

    auto isFile = [](const std::wstring& path) {
        DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    // A file where the new link goes is saved first: saving the earlier link as well
    // would need a second backup, and that link is then simply left where it is.
    std::wstring replaced;
    if (!link.empty() && isFile(link)) {
        replaced = link;
    } else {
        auto earlier = std::find_if(previousRecords.begin(), previousRecords.end(),
                                    [kind](const UninstallLogRecord& r) { return r.recordKind == kind; });
        // Only a link is ever moved for an earlier link.
        if (earlier != previousRecords.end() && isLinkName(earlier->path) && isFile(earlier->path))
            replaced = earlier->path;
    }
    if (replaced.empty()) {
        journalExpecting(link);
        return;
    }
    record.existedBefore = true;
    record.backupSource = replaced;
    record.backupPath = backUpLast(replaced, false);
    journalExpecting(link);
}

void UninstallLog::recordUninstallKey(HKEY existingKey)
{
    UninstallLogRecord& record = append(RecordKind::UninstallKey);
    if (!existingKey) {
        journalLast();
        return;
    }
    record.existedBefore = true;
    if (journal) {
        journal->saveKey(records.size() - 1, record, existingKey);
        return;
    }
    std::wstring hive = backup_to_temp(std::nullopt, false, backupFolder);
    if (!hive.empty() && saveKeyToHive(existingKey, hive))
        record.backupPath = std::move(hive);
}

void UninstallLog::recordSelfRegistration(const std::wstring& program)
{
    append(RecordKind::SelfRegistration).path = program;
    journalLast();
}

void UninstallLog::recordDirectXSetup()
{
    append(RecordKind::DirectXSetup);
    journalLast();
}

void UninstallLog::journalLast()
{
    if (journal)
        journal->write(records.size() - 1, records.back());
}

std::wstring UninstallLog::backUpLast(const std::wstring& source, bool copy)
{
    if (!journal)
        return backup_to_temp(source, copy, backupFolder);
    UninstallLogRecord& record = records.back();
    journal->backUp(records.size() - 1, record, source, copy);
    return record.backupPath;
}

void UninstallLog::journalExpecting(const std::wstring& link)
{
    // The link is created before its path is committed: the journal names it from
    // the start, when nothing else is there, so that an interrupted run removes it.
    if (!journal || link.empty() || GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        journalLast();
        return;
    }
    UninstallLogRecord expected = records.back();
    expected.path = link;
    journal->write(records.size() - 1, expected);
}

void UninstallLog::commit(bool succeeded, const std::optional<std::wstring>& path)
{
    if (!pending || records.empty())
        return;
    pending = false;
    records.back().succeeded = succeeded;
    if (path) {
        records.back().path = *path;
        // Only a path changes what undoing the record does.
        journalLast();
    }
}

bool UninstallLog::isKeptFile(const std::wstring& path) const
{
    return std::any_of(previousRecords.begin(), previousRecords.end(), [&](const UninstallLogRecord& r) {
        return r.recordKind == RecordKind::InstalledFile && r.succeeded && r.path == path;
    });
}

std::vector<RollbackFailure> UninstallLog::rollback()
{
    std::vector<RollbackFailure> failures;
    existingFolders_.clear();
    std::wstring registerAgain; // an earlier program that registered itself before the run
    while (!records.empty()) {
        const UninstallLogRecord& record = records.back();
        bool undone = true;
        if (record.recordKind == RecordKind::CreatedFolder) {
            if (!record.existedBefore)
                RemoveDirectoryW(record.path.c_str()); // stays when something else lies in it
        } else if (record.recordKind == RecordKind::UninstallKey)
            undone = restoreUninstallKey(record, product::productKey());
        else if (record.recordKind == RecordKind::SelfRegistration)
            undone = undoSelfRegistration(record.path, registerAgain);
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

bool UninstallLog::undoSelfRegistration(const std::wstring& program, std::wstring& registerAgain) const
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

void UninstallLog::merge()
{
    // An earlier record is superseded when this run (or a later earlier record already
    // kept) made a record of the same kind for it: for folders and files, one naming
    // the same elements, or failing that the same file on disk. The
    // records are indexed once, so that a log of thousands of files merges in linear
    // time instead of comparing every pair; the file system is asked only for the
    // kinds whose spelling failed to settle a record (usually folders, a few).
    std::set<RecordKind> kinds;
    std::unordered_set<std::wstring> exact;
    std::map<RecordKind, FileIndex> onDisk;
    auto add = [&](const UninstallLogRecord& record) {
        kinds.insert(record.recordKind);
        if (!namedByPath(record.recordKind))
            return;
        exact.insert(elementsKey(record.recordKind, record.path));
        if (auto index = onDisk.find(record.recordKind); index != onDisk.end())
            index->second.add(record.path);
    };
    for (const UninstallLogRecord& record : records)
        add(record);

    auto superseded = [&](const UninstallLogRecord& earlier) {
        if (!namedByPath(earlier.recordKind))
            return kinds.count(earlier.recordKind) != 0;
        if (exact.count(elementsKey(earlier.recordKind, earlier.path)))
            return true;
        auto index = onDisk.find(earlier.recordKind);
        if (index == onDisk.end()) {
            index = onDisk.emplace(earlier.recordKind, FileIndex()).first;
            for (const UninstallLogRecord& record : records)
                if (record.recordKind == earlier.recordKind)
                    index->second.add(record.path);
        }
        return index->second.contains(earlier.path);
    };
    while (!previousRecords.empty()) {
        auto last = std::prev(previousRecords.end());
        if (superseded(*last)) {
            previousRecords.erase(last);
        } else {
            records.splice(records.begin(), previousRecords, last);
            add(records.front());
        }
    }
}

bool UninstallLog::writeLog(const std::wstring& file, const std::wstring& installFolder,
                            const std::wstring& shortcutFolder, std::wstring* digest)
{
    // The log file is the journal's, not the log's: a run ended from here on puts
    // the earlier log back (or removes the new one), as it does the files it names.
    if (journal) {
        UninstallLogRecord self;
        self.recordKind = RecordKind::InstalledFile;
        self.path = file;
        if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
            journal->write(records.size(), self);
        } else {
            self.existedBefore = true;
            journal->backUp(records.size(), self, file, true);
        }
    }
    merge();

    bool result = false;
    if (digest)
        digest->clear();
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    unique_hfile out(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (out) {
        static constexpr unsigned char byteOrderMark[] = {0xFF, 0xFE};
        result = writeText(out.get(), byteOrderMark, sizeof byteOrderMark);
        for (const std::wstring& line :
             formatLogHeader(product::displayName(), previousProduct, installFolder, shortcutFolder))
            result = writeLine(out.get(), line) && result;
        std::size_t number = 0;
        for (UninstallLogRecord& record : records) {
            if (record.recordKind == RecordKind::UninstallKey)
                record.path = uninstallKeyText();
            else if (record.recordKind == RecordKind::SelfRegistration)
                record.path = selfRegistrationText;
            result = writeLine(out.get(), formatRecordLine(number++, record)) && result;
        }
        // The digest is taken from the file as it lies on the disk, read back through
        // the handle that nobody else could open meanwhile.
        if (result && digest)
            *digest = digestOfOpenFile(out.get());
        out.reset();
        SetFileAttributesW(file.c_str(), logFileAttributes);
    }
    // A journal keeps the backups until the run has ended (what follows the log, its
    // digest on record, is undone with the rest until then).
    if (!journal)
        discardBackups();
    return result;
}

void UninstallLog::discardBackups()
{
    for (UninstallLogRecord& record : records) {
        if (!record.backupPath.empty()) {
            deleteFile(record.backupPath);
            record.backupPath.clear();
        }
    }
}

} // namespace ar
