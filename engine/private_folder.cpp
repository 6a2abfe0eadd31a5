#include "engine/private_folder.h"

#include <sddl.h>

namespace ar {

unique_hlocal privateFolderDescriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(privateFolderSddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return {};
    return unique_hlocal(descriptor);
}

bool PrivateFolder::create(const std::wstring& path)
{
    handle_.reset();
    unique_hlocal descriptor = privateFolderDescriptor();
    if (!descriptor)
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    // A folder that is already there was made by someone else: never adopted.
    if (!CreateDirectoryW(path.c_str(), &attributes))
        return false;
    // Without delete sharing nobody can rename the folder (or one above it) and put
    // another in its place while the run works in it. The folder is opened as it
    // is, never through a link.
    unique_hfile folder(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    bool plain = folder && GetFileInformationByHandle(folder.get(), &information);
    if (plain && (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
                  (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        SetLastError(ERROR_BAD_PATHNAME);
        plain = false;
    }
    if (!plain) {
        // The empty folder just made is not left behind.
        DWORD error = GetLastError();
        folder.reset();
        RemoveDirectoryW(path.c_str());
        SetLastError(error);
        return false;
    }
    handle_ = std::move(folder);
    return true;
}

} // namespace ar
