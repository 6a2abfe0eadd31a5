#include "support/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

namespace ar {

std::wstring allUsersElseOwnFolder(int commonCsidl, int userCsidl)
{
    for (int csidl : {commonCsidl, userCsidl}) {
        wchar_t buffer[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)) && buffer[0])
            return buffer;
    }
    return {};
}

} // namespace ar
