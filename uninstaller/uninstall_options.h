// The uninstaller's command line:
//   /S           silent: no window and no message box
//   /PURGE       also remove the data files that users change (libraries, image)
//   /LOG=<file>  a UTF-8 log of everything done, with time stamps
//   /?           the usage text
// and the switches with which the uninstaller starts its own copy in the
// protected set-up folder, which removes the uninstaller once it has ended:
//   /CLEANUP=<handle of the uninstaller's process> /LEVELS=<n> /ORIGINAL=<uninstaller>
//   [/SELF=<handle of the copy's own file>]
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "product/exit_codes.h"

namespace ar {

// What the copy in the set-up folder removes once the uninstaller has ended.
struct CleanupRequest {
    std::uintptr_t process = 0; // inherited handle of the uninstaller's process
    std::wstring uninstaller;   // its path; its log lies beside it
    int folderLevels = 0;       // its folder and the folders above it that go with it
    std::uintptr_t image = 0;   // inherited handle of the copy's own file, 0 when none
};

struct UninstallOptions {
    bool silent = false;
    bool purge = false;
    bool help = false;
    std::optional<std::wstring> logFile;
    std::optional<CleanupRequest> cleanup;
    std::wstring error; // not empty: the switch that is unknown or incomplete
};

// Parses the arguments after the program name, as the platform splits them.
UninstallOptions parseUninstallArguments(const std::vector<std::wstring>& arguments);

// The usage text, with the exit codes.
std::wstring uninstallUsageText();

} // namespace ar
