// The wizard tests stand in for the installation run: this file's definition of
// CDlgInstall::runInstallation replaces the engine's at link time.
#pragma once

namespace ar::test {

struct FakeRun {
    bool result = false;
    int calls = 0;
    bool buttonsDisabled = false; // Back, Next and Exit were all disabled during the run
};

FakeRun& fakeRun();

} // namespace ar::test
