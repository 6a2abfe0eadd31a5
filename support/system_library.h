// System libraries that are not on the known-DLL list are never imported
// statically: they are loaded at run time from the system folder only, so a DLL
// planted beside the executable cannot stand in for them.
#pragma once

#include <windows.h>

namespace ar {

// Restricts the DLL search of the whole process to the system folder, so that a DLL
// planted beside the program (a Downloads folder may hold anything) is never loaded.
// Programs call it first of all, during static initialisation.
void restrictDllSearch();

// Loads (once per process) a DLL from the system folder; nullptr on failure.
HMODULE systemLibrary(const wchar_t* name);

// Looks up a function of a system library; nullptr when either is missing.
template <typename Fn> Fn systemFunction(const wchar_t* library, const char* name)
{
    HMODULE module = systemLibrary(library);
    if (!module)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace ar
