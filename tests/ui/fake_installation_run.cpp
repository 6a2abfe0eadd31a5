#include "tests/ui/fake_installation_run.h"

#include "ui/install_page.h"
#include "resources/resource.h"

namespace ar::test {

FakeRun& fakeRun()
{
    static FakeRun run;
    return run;
}

} // namespace ar::test

bool CDlgInstall::runInstallation()
{
    ar::test::FakeRun& run = ar::test::fakeRun();
    ++run.calls;
    HWND frame = GetParent(hwnd());
    run.buttonsDisabled = !IsWindowEnabled(GetDlgItem(frame, IDOK)) &&
                          !IsWindowEnabled(GetDlgItem(frame, IDC_BACK)) &&
                          !IsWindowEnabled(GetDlgItem(frame, IDCANCEL));
    appendLogLine(L"fake run\r\n");
    if (run.during)
        run.during(frame);
    return run.result;
}
