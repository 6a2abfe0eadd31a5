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

void enforceRedirectionTrust()
{
    // Looked up at run time: kernel32 exports SetProcessMitigationPolicy from
    // Windows 8 on, and only recent versions know this policy.
    using SetProcessMitigationPolicyFn = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    auto setPolicy = reinterpret_cast<SetProcessMitigationPolicyFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy")));
    if (!setPolicy)
        return;
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
    policy.EnforceRedirectionTrust = 1;
    // A system that does not know the policy refuses it; the program runs on as before.
    setPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof(policy));
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
