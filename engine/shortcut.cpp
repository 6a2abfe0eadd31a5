#include "engine/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

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

    HRESULT init = CoInitialize(nullptr);
    if (init != S_OK && init != S_FALSE)
        return false;

    IShellLinkW* shellLink = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&shellLink));
    if (SUCCEEDED(hr)) {
        shellLink->SetPath(target.c_str());
        shellLink->SetWorkingDirectory(workingFolder);
        IPersistFile* file = nullptr;
        hr = shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (SUCCEEDED(hr)) {
            hr = file->Save(fullLink.c_str(), TRUE);
            file->Release();
        }
        shellLink->Release();
    }
    CoUninitialize();

    if (FAILED(hr))
        return false;
    if (linkPath)
        *linkPath = fullLink;
    return true;
}

} // namespace ar
