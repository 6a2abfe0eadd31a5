// The installer's application object: it owns the installation context that the
// wizard pages and the installation run share, and runs start-up: the checks that
// decide whether the installer may touch the machine, the state of an earlier
// installation, then the wizard, or the whole installation when unattended.
#pragma once

#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/startup_decision.h"
#include "engine/data_folders.h"
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
    // The command line, the lock, the rights, an interrupted run, the machine: the
    // facts that decideStartup weighs, gathered in its order; then what it decided.
    ar::ExitCode startUp();
    void openLog();
    void chooseLanguage();
    void showUsage() const;
    void showRefusal(ar::Refusal refusal) const;
    ar::StartupFacts::Machine readMachine();
    std::wstring installedFolder() const;
    // The folders and options the installation starts with, then the wizard, its
    // progress page alone (/PASSIVE) or no window at all (/S).
    ar::ExitCode install();
    void presetFolders();
    void presetOptions();
    ar::ExitCode installSilently();
    // /S or /PASSIVE: nothing is asked, every question is answered in the log.
    bool unattended() const;
    // Undoes an installation that was ended from outside. The refusal when its
    // journal cannot be trusted, read or undone, or another run is writing it.
    std::optional<ar::ExitCode> recoverInterruptedRun();
    // An exception that start-up did not expect: shown, logged, and an exit code.
    void unexpected(const std::wstring& what);

    ar::CommandLine commandLine_;
    ar::SharedDataCheck dataFolder_;
    ar::InstalledProduct installed_;
    ar::LogFile logFile_;
    ar::ExitCode exitCode_ = ar::ExitCode::Cancelled;
};
