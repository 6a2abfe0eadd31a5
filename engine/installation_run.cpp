// The installation run of the progress page. Until the engine is in place the
// run only says that it did nothing, and fails.
#include "engine/install_page.h"

bool CDlgInstall::runInstallation()
{
    appendLogLine(L"The installation run is not available in this build.\r\n");
    return false;
}
