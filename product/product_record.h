// Where this computer records the installed product: the product's own key
// HKEY_LOCAL_MACHINE\Software\Ardenvale\Pelorium 7 (value "MainProgram", the
// installed main program's full path, and "Version"), and the system's App Paths
// entry for the main program, so that it can be started by name. The same key
// holds what the uninstaller may take as authority about the installation's log:
// "UninstallLogDigest", the SHA-256 digest of the log the installer last wrote, and
// "StartMenuFolder", the folder of the product's Start-menu shortcuts (empty without
// them).
#pragma once

#include <windows.h>

#include <string>

#include "product/version_info.h"

namespace ar {

// "Software\Ardenvale\Pelorium 7", below HKEY_LOCAL_MACHINE.
std::wstring productRecordKeyPath();
// "Software\Microsoft\Windows\CurrentVersion\App Paths\<program file name>".
std::wstring appPathsKeyPath(const std::wstring& programPath);

// Whether the product is recorded as installed, and where its main program is.
InstalledProduct readProductRecord();

// Records `programPath` as the installed main program. Returns 0, or the system
// error number of the failure; a failure leaves the earlier record as it was.
LONG recordProduct(const std::wstring& programPath);

// What the product's record says about the installation's log.
struct InstallationLogRecord {
    std::wstring digest; // empty when none is recorded
    bool menuRecorded = false;
    std::wstring menuFolder; // empty: no Start-menu shortcuts
};

// Adds the log's digest and the Start-menu folder to the product's record (an empty
// digest removes the recorded one). Returns 0 or the system error number.
LONG recordInstallationLog(const std::wstring& digest, const std::wstring& menuFolder);
InstallationLogRecord readInstallationLog();

// Removes the product's record and its App Paths entry (the uninstaller's last steps).
void removeProductRecord();

} // namespace ar
