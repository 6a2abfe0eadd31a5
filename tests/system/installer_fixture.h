// The installer program started as a separate process, each test from a machine
// without the product.
#pragma once

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "tests/engine/machine_state.h"
#include "tests/support/test_support.h"
#include "tests/system/process_windows.h"

namespace ar::test {

inline std::wstring special(int csidl)
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return buffer;
}

class InstallerProgramTest : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }

    void clean()
    {
        removeProductTraces();
        removeTree(installFolder());
        removeTree(special(CSIDL_PROGRAM_FILES) + L"\\Ardenvale");
        removeTree(special(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale");
    }

    static std::wstring installFolder() { return special(CSIDL_PROGRAM_FILES) + L"\\Ardenvale\\Pelorium 7"; }
    static std::wstring menuFolder() { return special(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale\\Pelorium 7"; }

    MachineState machine()
    {
        return MachineState({special(CSIDL_PROGRAM_FILES) + L"\\Ardenvale",
                             special(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale", commonDataFolder(),
                             userDataFolder(), publicDesktopLink(), logs.path()},
                            productKeys());
    }

    std::string log(const std::wstring& name) { return readFile(logs / name); }

    const std::wstring installer = binaryPath(L"InstallPelorium7.06.exe");
    TempDir logs{L"logs"};
};

} // namespace ar::test
