// Merging an earlier installation's records with a run's, for the new log.
#include "log/record_merge.h"

#include "support/handles.h"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace ar {

namespace fs = boost::filesystem;

namespace {

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
    explicit FileIndex(const FileIdentity& identity) : identity_(&identity) {}

    void add(const std::wstring& path)
    {
        if (auto id = (*identity_)(path))
            existing_.insert(*id);
        else if (auto absolute = absolutePath(path))
            missing_.push_back(std::move(*absolute));
    }

    bool contains(const std::wstring& path) const
    {
        if (auto id = (*identity_)(path))
            return existing_.count(*id) != 0;
        auto absolute = absolutePath(path);
        return absolute && std::any_of(missing_.begin(), missing_.end(), [&](const fs::path& entry) {
                   return sameElementsIgnoringCase(entry, *absolute);
               });
    }

private:
    static std::optional<fs::path> absolutePath(const std::wstring& path)
    {
        boost::system::error_code error;
        fs::path absolute = fs::absolute(fs::path(path), error);
        if (error)
            return std::nullopt;
        return absolute;
    }

    const FileIdentity* identity_;
    std::set<FileId> existing_;
    std::vector<fs::path> missing_;
};

} // namespace

std::optional<FileId> fileOnDisk(const std::wstring& path)
{
    unique_hfile file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !GetFileInformationByHandle(file.get(), &information))
        return std::nullopt;
    return FileId{information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
}

LogRecords mergeRecords(LogRecords earlier, LogRecords records, const FileIdentity& identity)
{
    // The records are indexed once, so that a log of thousands of files merges in linear
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

    auto superseded = [&](const UninstallLogRecord& old) {
        if (!namedByPath(old.recordKind))
            return kinds.count(old.recordKind) != 0;
        if (exact.count(elementsKey(old.recordKind, old.path)))
            return true;
        auto index = onDisk.find(old.recordKind);
        if (index == onDisk.end()) {
            index = onDisk.emplace(old.recordKind, FileIndex(identity)).first;
            for (const UninstallLogRecord& record : records)
                if (record.recordKind == old.recordKind)
                    index->second.add(record.path);
        }
        return index->second.contains(old.path);
    };
    while (!earlier.empty()) {
        auto last = std::prev(earlier.end());
        if (superseded(*last)) {
            earlier.erase(last);
        } else {
            records.splice(records.begin(), earlier, last);
            add(records.front());
        }
    }
    return records;
}

} // namespace ar
