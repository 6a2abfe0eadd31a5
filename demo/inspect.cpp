// Prints what an installation of the product left on this machine: the uninstall
// registration's values and the targets of the shortcuts. Used by scripts/demo.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "product/product.h"
#include "support/handles.h"

namespace {

void printRegistration()
{
    ar::unique_hkey key;
    std::wstring path = ar::product::uninstallKeyPath();
    std::wprintf(L"HKEY_LOCAL_MACHINE\\%ls\n", path.c_str());
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        std::wprintf(L"  (not registered)\n");
        return;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0;
        BYTE data[2048];
        DWORD size = sizeof(data);
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        if (type == REG_DWORD)
            std::wprintf(L"  %-22ls REG_DWORD %lu\n", name, *reinterpret_cast<DWORD*>(data));
        else
            std::wprintf(L"  %-22ls REG_SZ    %ls\n", name, reinterpret_cast<wchar_t*>(data));
    }
}

void printShortcut(const wchar_t* link)
{
    ar::com_ptr<IShellLinkW> shellLink;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                shellLink.put_void())))
        return;
    ar::com_ptr<IPersistFile> file;
    wchar_t target[MAX_PATH] = L"?", folder[MAX_PATH] = L"?";
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.put_void())) &&
        SUCCEEDED(file->Load(link, STGM_READ))) {
        shellLink->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        shellLink->GetWorkingDirectory(folder, MAX_PATH);
    }
    std::wprintf(L"%ls\n  -> %ls (in %ls)\n", link, target, folder);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    ar::unique_couninitialize com(CoInitialize(nullptr));
    if (argc > 1 && std::wstring(argv[1]) == L"registration")
        printRegistration();
    for (int i = 2; argc > 1 && std::wstring(argv[1]) == L"shortcuts" && i <= argc; ++i)
        if (i < argc)
            printShortcut(argv[i]);
    return 0;
}
