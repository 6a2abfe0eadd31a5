// System libraries that are not on the known-DLL list are never imported
// statically: they are loaded at run time from the system folder only, so a DLL
// planted beside the executable cannot stand in for them.
#pragma once

#include <windows.h>

namespace ar {

// Loads (once per process) a DLL from the system folder; nullptr on failure.
HMODULE systemLibrary(const wchar_t* name);

// Looks up a function of a system library; nullptr when either is missing.
template <typename Fn>
Fn systemFunction(const wchar_t* library, const char* name)
{
    HMODULE module = systemLibrary(library);
    if (!module)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace ar
