#include "support/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

namespace ar {

std::wstring shellFolder(int csidl)
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return {};
    return buffer;
}

std::wstring allUsersElseOwnFolder(int commonCsidl, int userCsidl)
{
    for (int csidl : {commonCsidl, userCsidl})
        if (std::wstring folder = shellFolder(csidl); !folder.empty())
            return folder;
    return {};
}

} // namespace ar
