// The installer's entry point, and what runs before it: static initialisation
// restricts where DLLs come from, has the system follow no junction that a
// non-administrator made, checks the system, registers this process with
// the running-product counter, checks the run-time library's locale support, and
// constructs the application object with its single-instance mutex, in this order.
#include <windows.h>

#include "app/install_app.h"
#include "product/system_checks.h"
#include "support/system_library.h"

namespace {

struct BeforeTheApplication {
    BeforeTheApplication()
    {
        ar::restrictDllSearch();
        ar::enforceRedirectionTrust();
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
