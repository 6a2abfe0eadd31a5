// The wizard tests give the frame a stand-in for the installation run: it records
// how it was called and writes one line to the progress page's log.
#pragma once

#include <windows.h>

#include <functional>

#include "ui/install_page.h"

namespace ar::test {

struct FakeRun : InstallationRun {
    RunOutcome result = RunOutcome::Failed;
    int calls = 0;
    bool buttonsDisabled = false;           // Back, Next and Exit were all disabled during the run
    std::function<void(HWND frame)> during; // what the test does while the run works

    RunResult run(InstallContext& context, InstallView& view) override;
};

} // namespace ar::test
