#include "engine/data_folders.h"

#include <shlobj.h>

#include <utility>
#include <vector>

#include "product/product.h"
#include "support/elevated_files.h"
#include "support/handles.h"
#include "support/shell_folders.h"

namespace ar {
namespace {

constexpr DWORD lookAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

// Held without delete sharing: nobody renames or replaces the folder meanwhile.
unique_hfile openHeld(const std::wstring& root, const std::wstring& folder)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    unique_hfile handle =
        openBelow(root, folder, NodeKind::Folder, lookAccess | WRITE_DAC | WRITE_OWNER, share);
    if (!handle && GetLastError() == ERROR_ACCESS_DENIED)
        handle = openBelow(root, folder, NodeKind::Folder, lookAccess | WRITE_DAC, share);
    if (!handle && GetLastError() == ERROR_ACCESS_DENIED)
        handle = openBelow(root, folder, NodeKind::Folder, lookAccess, share);
    return handle;
}

} // namespace

SharedDataCheck secureSharedDataFolder()
{
    const std::wstring root = shellFolder(CSIDL_COMMON_APPDATA);
    const std::wstring company = root + L'\\' + product::companyName;
    if (root.empty() || GetFileAttributesW(company.c_str()) == INVALID_FILE_ATTRIBUTES)
        return {};
    auto unsafe = [](const std::wstring& folder, DWORD error) {
        return SharedDataCheck{SharedDataCheck::Unsafe, folder, error};
    };
    std::vector<unique_hfile> held;
    struct Untrusted {
        HANDLE handle;
        std::wstring folder;
        bool ownerTrusted;
    };
    std::vector<Untrusted> untrusted;
    std::vector<std::wstring> pending{company};
    while (!pending.empty()) {
        const std::wstring folder = std::move(pending.back());
        pending.pop_back();
        unique_hfile handle = openHeld(root, folder);
        if (!handle)
            return unsafe(folder, GetLastError());
        WIN32_FIND_DATAW found{};
        if (unique_hfind search{FindFirstFileW((folder + L"\\*").c_str(), &found)}) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                const std::wstring path = folder + L'\\' + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                    return unsafe(path, errorStoppedOnLink);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    pending.push_back(path);
            } while (FindNextFileW(search.get(), &found));
        }
        const FolderTrust trust = judgeFolder(handle.get());
        if (trust != FolderTrust::Trusted)
            untrusted.push_back({handle.get(), folder, trust != FolderTrust::OwnerNotTrusted});
        held.push_back(std::move(handle));
    }
    if (untrusted.empty())
        return {};
    // An owner that is not trusted could change the list back: it goes too, unless
    // it is trusted already.
    for (const Untrusted& folder : untrusted) {
        DWORD error = setAccessThrough(folder.handle, adminsWriteUsersReadSddl, true);
        if (error != ERROR_SUCCESS && folder.ownerTrusted)
            error = setAccessThrough(folder.handle, adminsWriteUsersReadSddl, false);
        if (error != ERROR_SUCCESS)
            return unsafe(folder.folder, error);
    }
    return {SharedDataCheck::MadeSafe, untrusted.front().folder, 0};
}

} // namespace ar
