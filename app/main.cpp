// The installer's entry point, and what runs before it: static initialisation
// restricts where DLLs come from, checks the system, registers this process with
// the running-product counter, checks the run-time library's locale support, and
// constructs the application object with its single-instance mutex, in this order.
#include <windows.h>

#include "app/install_app.h"
#include "app/system_checks.h"

namespace {

// DLLs are loaded from the system folder only, never from the folder the installer
// was started from (a Downloads folder may hold anything).
void restrictDllSearch()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

struct BeforeTheApplication {
    BeforeTheApplication()
    {
        restrictDllSearch();
        ar::checkSystemVersion();
        ar::registerRunningInstance();
        ar::checkRuntimeLocale();
    }
};

BeforeTheApplication beforeTheApplication __attribute__((init_priority(101)));
CInstallApp theApp __attribute__((init_priority(102)));

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return theApp.run();
}
