#include "engine/disk_space.h"

#include <windows.h>
#include <shlwapi.h>

#include <map>

#include "engine/install_context.h"
#include "product/language.h"
#include "payload/folder_tokens.h"
#include "resources/resource.h"

namespace ar {
namespace {

struct Volume {
    std::uint64_t cluster = 4096;
    std::int64_t needed = 0; // what replaced files give back can outweigh a volume's share
};

std::uint64_t roundUp(std::uint64_t bytes, std::uint64_t cluster)
{
    return (bytes + cluster - 1) / cluster * cluster;
}

// The size of the file at `path`, if a file is there.
bool fileSize(const std::wstring& path, std::uint64_t& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Whether the run writes the entry's file (the same rules as the run's own).
bool written(const PayloadEntry& entry, const std::wstring& path, const InstallContext& context)
{
    switch (entry.kind) {
    case FileKind::EditableData:
        return !(context.installState != InstallState::None && context.earlierLog.isKeptFile(path)) &&
               GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    case FileKind::Texture:
        return context.installState != InstallState::Update ||
               (!context.earlierLog.isKeptFile(path) &&
                GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES);
    default:
        return true;
    }
}

} // namespace

std::wstring volumeOf(const std::wstring& path)
{
    // GetVolumePathName wants a path that exists: the nearest existing ancestor.
    std::wstring existing = path;
    while (GetFileAttributesW(existing.c_str()) == INVALID_FILE_ATTRIBUTES) {
        size_t slash = existing.find_last_of(L"\\/");
        if (slash == std::wstring::npos)
            return {};
        std::wstring parent = existing.substr(0, slash);
        if (!parent.empty() && parent.back() == L':')
            parent += L'\\';
        if (parent.empty() || parent == existing)
            return {}; // the root itself is missing: no such drive
        existing = parent;
    }
    wchar_t root[MAX_PATH] = {};
    if (existing.empty() || !GetVolumePathNameW(existing.c_str(), root, MAX_PATH))
        return {};
    return root;
}

std::vector<VolumeSpace> installationSpace(const std::vector<PayloadEntry>& entries,
                                           const PayloadFolders& folders, const InstallContext& context)
{
    std::map<std::wstring, Volume> volumes;
    auto volume = [&](const std::wstring& root) -> Volume& {
        auto [at, added] = volumes.try_emplace(root);
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
        if (added &&
            GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
            sectorsPerCluster * bytesPerSector > 0)
            at->second.cluster = static_cast<std::uint64_t>(sectorsPerCluster) * bytesPerSector;
        return at->second;
    };
    const std::wstring backupRoot = volumeOf(folders.tempFolder);
    for (const PayloadEntry& entry : entries) {
        const std::wstring path = resolve_destination(entry, folders);
        if (!written(entry, path, context))
            continue;
        const std::wstring root = volumeOf(path);
        if (root.empty())
            continue; // nowhere to write: the run fails there and rolls back
        Volume& target = volume(root);
        target.needed += static_cast<std::int64_t>(roundUp(entry.size, target.cluster));
        std::uint64_t old = 0;
        if (!backupRoot.empty() && _wcsicmp(root.c_str(), backupRoot.c_str()) != 0 && fileSize(path, old)) {
            target.needed -= static_cast<std::int64_t>(roundUp(old, target.cluster));
            Volume& backup = volume(backupRoot);
            backup.needed += static_cast<std::int64_t>(roundUp(old, backup.cluster));
        }
    }
    std::vector<VolumeSpace> spaces;
    for (const auto& [root, counted] : volumes) {
        VolumeSpace space{root, counted.needed > 0 ? static_cast<std::uint64_t>(counted.needed) : 0, 0};
        ULARGE_INTEGER available{}, total{}, free{};
        if (GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free))
            space.available = available.QuadPart;
        else
            space.available = UINT64_MAX; // unknown: the writes will tell
        spaces.push_back(space);
    }
    return spaces;
}

std::vector<std::wstring> replacedFiles(const std::vector<PayloadEntry>& entries, const PayloadFolders& folders,
                                        const InstallContext& context)
{
    std::vector<std::wstring> replaced;
    std::uint64_t size = 0;
    for (const PayloadEntry& entry : entries) {
        std::wstring path = resolve_destination(entry, folders);
        if (written(entry, path, context) && fileSize(path, size))
            replaced.push_back(std::move(path));
    }
    return replaced;
}

std::wstring byteSizeText(std::uint64_t bytes)
{
    wchar_t text[64] = {};
    StrFormatByteSizeW(static_cast<LONGLONG>(bytes), text, 64);
    return text;
}

std::wstring notEnoughSpaceText(const VolumeSpace& space)
{
    return formatString(IDS_NOT_ENOUGH_SPACE,
                        {space.volume, byteSizeText(space.needed), byteSizeText(space.available)});
}

} // namespace ar
