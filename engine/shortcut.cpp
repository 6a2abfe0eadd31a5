#include "engine/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "support/handles.h"

namespace ar {

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

    wchar_t link[MAX_PATH];
    lstrcpynW(link, folder.c_str(), MAX_PATH);
    if (!PathAppendW(link, linkName.c_str()))
        return false;
    std::wstring fullLink = std::wstring(link) + L".lnk";

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
