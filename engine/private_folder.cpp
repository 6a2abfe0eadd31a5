#include "engine/private_folder.h"

#include <sddl.h>

#include "support/elevated_files.h"
#include "support/path_rules.h"

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
    // A folder that is already there was made by someone else: never adopted.
    // Without delete sharing nobody can rename the folder and put another in its
    // place while the run works in it; it is opened as it is, never through a link.
    handle_ = createFolderBelow(parentOf(path), path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                descriptor.get());
    return static_cast<bool>(handle_);
}

} // namespace ar
