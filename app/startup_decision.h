// What start-up does with what it found: refuse (with which text and exit code),
// undo an interrupted run first, ask the user to close the product, or install
// (fresh, update, reinstallation, or over a newer version, which only the wizard
// may ask about). A pure function of the facts; start-up gathers them and acts.
#pragma once

#include <optional>

#include "product/exit_codes.h"
#include "product/version_info.h"

namespace ar {

struct StartupFacts {
    // From the command line.
    bool usageAsked = false;       // /?
    bool commandLineBad = false;   // a switch that could not be read
    bool folderGiven = false;      // /D=
    bool unattended = false;       // /S or /PASSIVE: nothing can be asked
    // Before anything is read from the machine.
    bool lockTaken = false;        // no other installer or uninstaller at work
    bool administrator = false;
    // What the machine holds, read once an interrupted run has been undone; none yet:
    // the recovery comes first.
    struct Machine {
        bool dataFolderUnsafe = false;  // the shared data folder cannot be made safe
        int productInstances = 0;       // running copies of the product, this one's own included
        // How the payload's version compares with the installed one; none when the
        // installed program's version cannot be read.
        std::optional<InstallState> installed = InstallState::None;
        // It cannot be read because another program holds the file.
        bool installedProgramHeld = false;
    };
    std::optional<Machine> machine;
};

enum class StartupStep {
    ShowUsage,         // the usage text, then the exit code (Installed for /?)
    Refuse,            // the refusal's text, then the exit code
    Recover,           // undo an interrupted run, then read the machine
    AskToCloseProduct, // Retry reads the running copies again, Cancel ends with ProductRunning
    AskToFreeProgram,  // the installed program is held: Retry reads the machine again, Cancel ends with FilesInUse
    Install,
};

enum class Refusal {
    None,
    InstallerRunning,
    NotAdministrator,
    DataFolderUnsafe,
    VersionUnreadable,
    FolderOfInstalledProduct, // /D= for a product that is installed: it stays where it is
    NewerVersionInstalled,    // unattended; the wizard asks instead
};

struct StartupDecision {
    StartupStep step = StartupStep::Install;
    Refusal refusal = Refusal::None;
    ExitCode code = ExitCode::Installed; // for ShowUsage and Refuse
    InstallState state = InstallState::None; // for Install
};

// The checks in their order: the command line, the lock, the rights, the recovery,
// the shared data folder, the running product, the installed version, /D=, and a
// newer version when nothing can be asked.
StartupDecision decideStartup(const StartupFacts& facts);

} // namespace ar
