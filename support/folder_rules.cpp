#include "support/folder_rules.h"

#include <windows.h>

#include <cwchar>

namespace ar {
namespace {

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool hasDrive(const std::wstring& path)
{
    return path.size() >= 3 &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && isSeparator(path[2]);
}

} // namespace

bool isFullPath(const std::wstring& path)
{
    bool unc = path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2]);
    return hasDrive(path) || unc;
}

bool hasForbiddenCharacter(const std::wstring& path)
{
    const bool drive = hasDrive(path);
    for (size_t i = 0; i < path.size(); ++i) {
        wchar_t c = path[i];
        if (c < 32 || std::wcschr(L"<>\"|?*", c) || (c == L':' && !(drive && i == 1)))
            return true;
    }
    return false;
}

FolderProblem folderProblem(const std::wstring& folder)
{
    if (folder.empty())
        return FolderProblem::Empty;
    if (!isFullPath(folder))
        return FolderProblem::NotFullPath;
    if (hasForbiddenCharacter(folder))
        return FolderProblem::ForbiddenCharacter;
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FolderProblem::FileInTheWay;
    return FolderProblem::None;
}

} // namespace ar
