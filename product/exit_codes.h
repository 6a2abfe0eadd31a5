// The exit codes of the installer and the uninstaller, for the deployment tools that
// decide from them whether to report success, try again later or fail. Each refusal
// has its own code, the same in both programs; README.md documents them, and the
// package manifest (scripts/winget-manifest) is generated from this list.
#pragma once

namespace ar {

// The installer's exit code, also for the wizard. Every refusal ends the run before
// anything was written.
enum class ExitCode : int {
    Installed = 0,
    Cancelled = 1,
    Refused = 2, // an unexpected error before the installation started; a shared
                 // data folder that cannot be made safe, a set-up folder or journal
                 // that cannot be trusted
    Failed = 3,  // the installation failed and was rolled back
    BadCommandLine = 4,
    InstalledWithFailures = 5, // installed, but shortcuts, DirectX, registration or the log failed
    ProductRunning = 6,
    NewerVersionInstalled = 7,
    UnsupportedSystem = 8,
    NotAdministrator = 9,
    NotEnoughSpace = 10,
    FilesInUse = 11, // files of the product held open by other programs
    // Another installer or the uninstaller is at work: worth a retry. The number is
    // the one Windows Installer uses (ERROR_INSTALL_ALREADY_RUNNING), which device
    // management and Configuration Manager retry by default.
    InstallerRunning = 1618,
};

// The uninstaller's exit code: its refusals use the installer's numbers.
enum class UninstallExit : int {
    Removed = 0,
    Cancelled = 1,
    Refused = 2,    // nothing was removed: the log is missing or not this installation's,
                    // an interrupted installation waits to be undone, an unexpected error
    Incomplete = 3, // finished with items that could not be removed
    BadCommandLine = static_cast<int>(ExitCode::BadCommandLine),
    ProductRunning = static_cast<int>(ExitCode::ProductRunning),
    UnsupportedSystem = static_cast<int>(ExitCode::UnsupportedSystem),
    NotAdministrator = static_cast<int>(ExitCode::NotAdministrator),
    InstallerRunning = static_cast<int>(ExitCode::InstallerRunning),
};

} // namespace ar
