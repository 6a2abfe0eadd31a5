#include "app/startup_decision.h"

#include <gtest/gtest.h>

namespace {

using ar::ExitCode;
using ar::InstallState;
using ar::Refusal;
using ar::StartupStep;

// An administrator's interactive start with the lock taken, the machine read and
// nothing in the way; each row changes what it names.
ar::StartupFacts clear()
{
    ar::StartupFacts facts;
    facts.lockTaken = true;
    facts.administrator = true;
    facts.machine = ar::StartupFacts::Machine{};
    facts.machine->productInstances = 1;
    return facts;
}

struct Row {
    const char* what;
    ar::StartupFacts facts;
    StartupStep step;
    Refusal refusal;
    ExitCode code;
};

ar::StartupFacts with(void (*change)(ar::StartupFacts&))
{
    ar::StartupFacts facts = clear();
    change(facts);
    return facts;
}

TEST(StartupDecision, EachCheckInItsOrder)
{
    const Row rows[] = {
        {"a bad switch wins over everything", with([](ar::StartupFacts& f) {
             f.commandLineBad = f.usageAsked = true;
             f.lockTaken = f.administrator = false;
         }),
         StartupStep::ShowUsage, Refusal::None, ExitCode::BadCommandLine},
        {"/? shows the usage and succeeds", with([](ar::StartupFacts& f) { f.usageAsked = true; }),
         StartupStep::ShowUsage, Refusal::None, ExitCode::Installed},
        {"another installer holds the lock, before the rights", with([](ar::StartupFacts& f) {
             f.lockTaken = f.administrator = false;
         }),
         StartupStep::Refuse, Refusal::InstallerRunning, ExitCode::InstallerRunning},
        {"no administrator, before any recovery", with([](ar::StartupFacts& f) {
             f.administrator = false;
             f.machine.reset();
         }),
         StartupStep::Refuse, Refusal::NotAdministrator, ExitCode::NotAdministrator},
        {"the machine is read only after the recovery", with([](ar::StartupFacts& f) { f.machine.reset(); }),
         StartupStep::Recover, Refusal::None, ExitCode::Installed},
        {"an unsafe data folder, before the running product", with([](ar::StartupFacts& f) {
             f.machine->dataFolderUnsafe = true;
             f.machine->productInstances = 3;
         }),
         StartupStep::Refuse, Refusal::DataFolderUnsafe, ExitCode::Refused},
        {"the product runs", with([](ar::StartupFacts& f) {
             f.machine->productInstances = 2;
             f.machine->installed.reset();
         }),
         StartupStep::AskToCloseProduct, Refusal::None, ExitCode::Installed},
        {"the installed version cannot be read", with([](ar::StartupFacts& f) {
             f.machine->installed.reset();
             f.folderGiven = true;
         }),
         StartupStep::Refuse, Refusal::VersionUnreadable, ExitCode::Refused},
        {"the installed program is held by another program: in use, not unreadable",
         with([](ar::StartupFacts& f) {
             f.machine->installed.reset();
             f.machine->installedProgramHeld = f.unattended = true;
         }),
         StartupStep::AskToFreeProgram, Refusal::None, ExitCode::Installed},
        {"/D= for an installed product, before a newer version", with([](ar::StartupFacts& f) {
             f.folderGiven = f.unattended = true;
             f.machine->installed = InstallState::NewerInstalled;
         }),
         StartupStep::Refuse, Refusal::FolderOfInstalledProduct, ExitCode::BadCommandLine},
        {"a newer version, unattended", with([](ar::StartupFacts& f) {
             f.unattended = true;
             f.machine->installed = InstallState::NewerInstalled;
         }),
         StartupStep::Refuse, Refusal::NewerVersionInstalled, ExitCode::NewerVersionInstalled},
        {"a newer version, with the wizard, which asks", with([](ar::StartupFacts& f) {
             f.machine->installed = InstallState::NewerInstalled;
         }),
         StartupStep::Install, Refusal::None, ExitCode::Installed},
        {"/D= for a fresh installation", with([](ar::StartupFacts& f) { f.folderGiven = f.unattended = true; }),
         StartupStep::Install, Refusal::None, ExitCode::Installed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ar::StartupDecision decision = ar::decideStartup(row.facts);
        EXPECT_EQ(decision.step, row.step);
        EXPECT_EQ(decision.refusal, row.refusal);
        if (row.step == StartupStep::ShowUsage || row.step == StartupStep::Refuse) {
            EXPECT_EQ(decision.code, row.code);
        }
    }
}

TEST(StartupDecision, InstallsInTheStateThatTheVersionsGive)
{
    for (InstallState state : {InstallState::None, InstallState::Same, InstallState::Update}) {
        for (bool unattended : {false, true}) {
            ar::StartupFacts facts = clear();
            facts.unattended = unattended;
            facts.machine->installed = state;
            const ar::StartupDecision decision = ar::decideStartup(facts);
            EXPECT_EQ(decision.step, StartupStep::Install);
            EXPECT_EQ(decision.state, state);
        }
    }
}

} // namespace
