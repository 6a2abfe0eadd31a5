#include "support/system_library.h"

#include <string>

namespace ar {

void restrictDllSearch()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

HMODULE systemLibrary(const wchar_t* name)
{
    // A module already in the process (a known DLL, or one loaded before) is used as it is.
    if (HMODULE loaded = GetModuleHandleW(name))
        return loaded;
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    // Loaded by full path, its own dependencies from the system folder only; the
    // module stays loaded for the life of the process.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace ar
