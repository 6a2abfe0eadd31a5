// The installer program started as a separate process, each test from a machine
// without the product.
#pragma once

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "tests/support/machine_state.h"
#include "tests/support/test_support.h"
#include "tests/system/process_windows.h"

namespace ar::test {

class InstallerProgramTest : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }

    void clean()
    {
        removeProductTraces();
        removeTree(installFolder());
        removeTree(specialFolder(CSIDL_PROGRAM_FILES) + L"\\Ardenvale");
        removeTree(specialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale");
    }

    static std::wstring installFolder() { return specialFolder(CSIDL_PROGRAM_FILES) + L"\\Ardenvale\\Pelorium 7"; }
    static std::wstring menuFolder() { return specialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale\\Pelorium 7"; }

    MachineState machine()
    {
        return MachineState({specialFolder(CSIDL_PROGRAM_FILES) + L"\\Ardenvale",
                             specialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale", commonDataFolder(),
                             userDataFolder(), publicDesktopLink(), logs.path()},
                            productKeys());
    }

    std::string log(const std::wstring& name) { return readFile(logs / name); }

    const std::wstring installer = binaryPath(L"InstallPelorium7.06.exe");
    TempDir logs{L"logs"};
};

} // namespace ar::test
