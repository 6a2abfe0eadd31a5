// The wizard tests stand in for the installation run: this file's definition of
// CDlgInstall::runInstallation replaces the engine's at link time.
#pragma once

#include <windows.h>

#include <functional>

namespace ar::test {

struct FakeRun {
    bool result = false;
    int calls = 0;
    bool buttonsDisabled = false; // Back, Next and Exit were all disabled during the run
    std::function<void(HWND frame)> during; // what the test does while the run works
};

FakeRun& fakeRun();

} // namespace ar::test
