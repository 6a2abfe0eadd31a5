#include "engine/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "support/handles.h"

namespace ar {

std::wstring shortcutLinkPath(const std::wstring& folder, const std::wstring& name)
{
    wchar_t link[MAX_PATH];
    lstrcpynW(link, folder.c_str(), MAX_PATH);
    if (folder.size() >= MAX_PATH || !PathAppendW(link, name.c_str()))
        return {};
    return std::wstring(link) + L".lnk";
}

bool create_shortcut(const std::wstring& target, const std::wstring& folder, const std::wstring* name,
                     std::wstring* linkPath)
{
    wchar_t workingFolder[MAX_PATH];
    lstrcpynW(workingFolder, target.c_str(), MAX_PATH);
    if (!PathRemoveFileSpecW(workingFolder) || workingFolder[0] == 0)
        return false;

    std::wstring linkName;
    if (name) {
        linkName = *name;
    } else {
        wchar_t fileName[MAX_PATH];
        lstrcpynW(fileName, PathFindFileNameW(target.c_str()), MAX_PATH);
        PathRemoveExtensionW(fileName);
        linkName = fileName;
    }

    const std::wstring fullLink = shortcutLinkPath(folder, linkName);
    if (fullLink.empty())
        return false;

    HRESULT hr = E_FAIL;
    {
        unique_couninitialize com(CoInitialize(nullptr));
        if (!com)
            return false;
        com_ptr<IShellLinkW> shellLink;
        hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              shellLink.put_void());
        if (SUCCEEDED(hr)) {
            shellLink->SetPath(target.c_str());
            shellLink->SetWorkingDirectory(workingFolder);
            com_ptr<IPersistFile> file;
            hr = shellLink->QueryInterface(IID_IPersistFile, file.put_void());
            if (SUCCEEDED(hr))
                hr = file->Save(fullLink.c_str(), TRUE);
        }
    }

    if (FAILED(hr))
        return false;
    if (linkPath)
        *linkPath = fullLink;
    return true;
}

} // namespace ar
