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

// Has the system refuse, for this process, to follow a junction that a
// non-administrator made (the redirection trust mitigation of recent Windows 10 and
// 11 versions). Nothing changes where the system lacks it (Windows 7 and 8, older
// versions, Wine). The elevated programs call it during static initialisation, right
// after restrictDllSearch.
void enforceRedirectionTrust();

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
