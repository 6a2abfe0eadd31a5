#include "app/startup_decision.h"

namespace ar {

namespace {

StartupDecision refuse(Refusal refusal, ExitCode code)
{
    return {StartupStep::Refuse, refusal, code, InstallState::None};
}

} // namespace

StartupDecision decideStartup(const StartupFacts& facts)
{
    if (facts.commandLineBad || facts.usageAsked)
        return {StartupStep::ShowUsage, Refusal::None,
                facts.commandLineBad ? ExitCode::BadCommandLine : ExitCode::Installed, InstallState::None};
    if (!facts.lockTaken)
        return refuse(Refusal::InstallerRunning, ExitCode::InstallerRunning);
    if (!facts.administrator)
        return refuse(Refusal::NotAdministrator, ExitCode::NotAdministrator);
    if (!facts.machine)
        return {StartupStep::Recover};
    const StartupFacts::Machine& machine = *facts.machine;
    if (machine.dataFolderUnsafe)
        return refuse(Refusal::DataFolderUnsafe, ExitCode::Refused);
    if (machine.productInstances >= 2)
        return {StartupStep::AskToCloseProduct};
    if (!machine.installed)
        return machine.installedProgramHeld ? StartupDecision{StartupStep::AskToFreeProgram}
                                            : refuse(Refusal::VersionUnreadable, ExitCode::Refused);
    const InstallState state = *machine.installed;
    if (facts.folderGiven && state != InstallState::None)
        return refuse(Refusal::FolderOfInstalledProduct, ExitCode::BadCommandLine);
    if (facts.unattended && state == InstallState::NewerInstalled)
        return refuse(Refusal::NewerVersionInstalled, ExitCode::NewerVersionInstalled);
    return {StartupStep::Install, Refusal::None, ExitCode::Installed, state};
}

} // namespace ar
