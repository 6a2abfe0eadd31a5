#include "tests/ui/fake_installation_run.h"

#include "resources/resource.h"

namespace ar::test {

RunResult FakeRun::run(InstallContext&, InstallView& view)
{
    ++calls;
    HWND frame = GetParent(view.ownerWindow());
    buttonsDisabled = !IsWindowEnabled(GetDlgItem(frame, IDOK)) &&
                      !IsWindowEnabled(GetDlgItem(frame, IDC_BACK)) &&
                      !IsWindowEnabled(GetDlgItem(frame, IDCANCEL));
    view.appendLogLine(L"fake run\r\n", false);
    if (during)
        during(frame);
    return {result, {}};
}

} // namespace ar::test
