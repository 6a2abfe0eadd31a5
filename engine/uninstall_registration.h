// The product's entry in the system's list of installed programs.
#pragma once

#include "log/log_record.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace ar {

class RunRecorder;

// What the registration is made of: the installed programs, the chosen language,
// and what administrators' tools show beside them.
struct UninstallRegistration {
    std::wstring programPath; // the installed main program
    std::wstring uninstallerPath;
    int language = 0;                 // index stored as ArLanguage
    std::wstring installFolder;       // InstallLocation
    std::uint64_t installedBytes = 0; // EstimatedSize, in kilobytes rounded up
};

// The publisher's contact data carried in the registration.
inline constexpr wchar_t publisherWebAddress[] = L"https://www.ardenvale.example/pelorium";
inline constexpr wchar_t supportTelephone[] = L"+33 1 70 36 41 00";

// Creates or opens the product's uninstall key, records it in `log` (an existing
// key is saved first; `log` is the run's recorder) and writes its values: the twelve of the product's
// registration, then "QuietUninstallString", "InstallLocation", "EstimatedSize"
// and "InstallDate". True when the key was opened and
// "DisplayName" and "UninstallString" were written; the record is committed with it.
bool writeUninstallRegistration(const UninstallRegistration& registration, RunRecorder& log);

// The size on disk of the files that an installation recorded (the earlier
// installation's records and this run's), each file counted once.
std::uint64_t installedSize(const LogRecords& earlier, const LogRecords& run);

// "UninstallString": the uninstaller's path, always quoted (earlier versions wrote it
// unquoted; readers take both, see programOfCommand).
std::wstring uninstallCommand(const std::wstring& uninstallerPath);
// "QuietUninstallString": the quoted uninstaller and " /S".
std::wstring quietUninstallCommand(const std::wstring& uninstallerPath);
// "EstimatedSize": kilobytes, rounded up, at most what a DWORD holds.
DWORD estimatedSizeKilobytes(std::uint64_t bytes);
// "InstallDate": "yyyymmdd".
std::wstring installDateText(const SYSTEMTIME& date);

} // namespace ar
