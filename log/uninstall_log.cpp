#include "log/uninstall_log.h"

#include "product/product.h"
#include "log/file_placement.h"
#include "log/log_digest.h"
#include "log/log_format.h"
#include "log/registry_backup.h"
#include "support/handles.h"

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

// The same elements (root name, root folder, names), compared exactly.
bool sameElements(const fs::path& a, const fs::path& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const fs::path& x, const fs::path& y) { return x.native() == y.native(); });
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

// Paths as the file system knows them, answering what samePath would for each pair:
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

void deleteFile(const std::wstring& path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

// Undoes a written file or link: deletes what the run put there and moves the
// backup back to where it came from, with its attributes.
void restoreFile(const UninstallLogRecord& record)
{
    const std::wstring& origin = record.backupSource.empty() ? record.path : record.backupSource;
    if (record.backupPath.empty()) {
        // What stands there replaced something that could not be saved: deleting it
        // would leave the user with less than before.
        if (record.existedBefore && !record.path.empty() && UninstallLog::samePath(record.path, origin))
            return;
        if (!record.path.empty())
            deleteFile(record.path);
        return;
    }
    if (!record.path.empty())
        deleteFile(record.path);
    DWORD attributes = GetFileAttributesW(record.backupPath.c_str());
    SetFileAttributesW(record.backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileW(record.backupPath.c_str(), origin.c_str()) && attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(origin.c_str(), attributes);
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
            if (!CreateDirectoryW(prefix.c_str(), nullptr))
                return;
            SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, prefix.c_str(), nullptr);
            UninstallLogRecord& record = append(RecordKind::CreatedFolder);
            record.path = std::move(prefix);
            record.succeeded = true;
        }
        component = next;
    }
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
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    record.existedBefore = true;
    record.backupSource = path;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (keep)
            return; // nothing is written over what is kept
        throwKeepingFile(ERROR_ALREADY_EXISTS, "a folder stands where a file must be installed");
    }
    record.backupPath = backup_to_temp(path, keep, backupFolder);
    if (record.backupPath.empty() && !keep)
        throwKeepingFile(GetLastError(), "an existing file could not be moved away before it is replaced");
}

void UninstallLog::recordShortcut(int which, const std::wstring& folder)
{
    pending = true;
    ensure_folders(folder);
    RecordKind kind = which == 0   ? RecordKind::MenuShortcut
                      : which == 1 ? RecordKind::UninstallShortcut
                                   : RecordKind::DesktopShortcut;
    UninstallLogRecord& record = append(kind);

    auto earlier = std::find_if(previousRecords.begin(), previousRecords.end(),
                                [kind](const UninstallLogRecord& r) { return r.recordKind == kind; });
    if (earlier == previousRecords.end() || earlier->path.empty())
        return;
    DWORD attributes = GetFileAttributesW(earlier->path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    record.existedBefore = true;
    record.backupSource = earlier->path;
    record.backupPath = backup_to_temp(earlier->path, false, backupFolder);
}

void UninstallLog::recordUninstallKey(HKEY existingKey)
{
    UninstallLogRecord& record = append(RecordKind::UninstallKey);
    if (!existingKey)
        return;
    record.existedBefore = true;
    std::wstring hive = backup_to_temp(std::nullopt, false, backupFolder);
    if (!hive.empty() && saveKeyToHive(existingKey, hive))
        record.backupPath = std::move(hive);
}

void UninstallLog::recordSelfRegistration()
{
    append(RecordKind::SelfRegistration);
}

void UninstallLog::recordDirectXSetup()
{
    append(RecordKind::DirectXSetup);
}

void UninstallLog::commit(bool succeeded, const std::optional<std::wstring>& path)
{
    if (!pending || records.empty())
        return;
    pending = false;
    records.back().succeeded = succeeded;
    if (path)
        records.back().path = *path;
}

bool UninstallLog::isKeptFile(const std::wstring& path) const
{
    return std::any_of(previousRecords.begin(), previousRecords.end(), [&](const UninstallLogRecord& r) {
        return r.recordKind == RecordKind::InstalledFile && r.succeeded && r.path == path;
    });
}

bool UninstallLog::samePath(const std::wstring& a, const std::wstring& b)
{
    fs::path first(a), second(b);
    if (sameElements(first, second))
        return true;
    boost::system::error_code error;
    bool same = fs::equivalent(first, second, error);
    if (!error)
        return same;
    fs::path absoluteFirst = fs::absolute(first, error);
    if (error)
        return false;
    fs::path absoluteSecond = fs::absolute(second, error);
    if (error)
        return false;
    return sameElementsIgnoringCase(absoluteFirst, absoluteSecond);
}

void UninstallLog::rollback()
{
    while (!records.empty()) {
        const UninstallLogRecord& record = records.back();
        if (record.recordKind == RecordKind::CreatedFolder)
            RemoveDirectoryW(record.path.c_str());
        else if (record.recordKind == RecordKind::UninstallKey)
            restoreUninstallKey(record, product::productKey());
        else if (isFileKind(record.recordKind))
            restoreFile(record);
        records.pop_back();
    }
}

void UninstallLog::merge()
{
    // An earlier record is superseded when this run (or a later earlier record already
    // kept) made a record of the same kind for it: for folders and files, one naming
    // the same elements, or failing that the same file on disk (samePath). The
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
