// The installer's application object: it owns the installation context that the
// wizard pages and the installation run share, and runs start-up: the checks that
// decide whether the installer may touch the machine, the state of an earlier
// installation, then the wizard, or the whole installation when unattended.
#pragma once

#include <optional>
#include <string>

#include "app/command_line.h"
#include "engine/install_context.h"
#include "engine/startup.h"
#include "engine/log_file.h"
#include "framework/app.h"

class CInstallApp : public fw::App {
public:
    CInstallApp() = default;

    bool InitInstance() override;
    // The process's exit code (ar::ExitCode).
    int ExitInstance() override;

    // Sets the application name (the caption of message boxes and the wizard's
    // title) from the current language: IDS_INSTALLER, " – ", the display name.
    void refreshName();

    ar::InstallContext context;

protected:
    // Shows the wizard modally as the application's main window; progress only
    // (/PASSIVE): its progress page alone, which installs and closes by itself.
    // How the installation that the wizard started ended; none when it was not started.
    std::optional<ar::RunOutcome> runWizard(bool progressOnly = false);

private:
    ar::ExitCode startUp();
    ar::ExitCode installSilently();
    ar::ExitCode installWithProgress();
    // /S or /PASSIVE: nothing is asked, every question is answered in the log.
    bool unattended() const;
    // Logs the refusal when a newer version is installed; true then.
    bool refuseNewerVersion();
    // Undoes an installation that was ended from outside. The refusal when its
    // journal cannot be trusted, read or undone, or another run is writing it.
    std::optional<ar::ExitCode> recoverInterruptedRun();
    // An exception that start-up did not expect: shown, logged, and an exit code.
    void unexpected(const std::wstring& what);

    ar::CommandLine commandLine_;
    ar::LogFile log_;
    ar::ExitCode exitCode_ = ar::ExitCode::Cancelled;
};
