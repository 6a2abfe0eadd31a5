#include "app/install_app.h"

#include <shlwapi.h>

#include "app/command_line.h"
#include "app/startup_decision.h"
#include "product/language.h"
#include "product/product.h"
#include "product/product_record.h"
#include "engine/data_folders.h"
#include "engine/files_in_use.h"
#include "engine/startup.h"
#include "engine/installation.h"
#include "engine/log_file.h"
#include "framework/common_controls.h"
#include "log/run_journal.h"
#include "payload/payload.h"
#include "resources/resource.h"
#include "support/error.h"
#include "support/format.h"
#include "ui/install_dlg.h"

namespace {

// Silent installations answer every question themselves and write it to the log:
// the answer that lets the installation go on where that is safe, else a refusal.
int silentAnswer(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return IDCANCEL;
    case MB_RETRYCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    case MB_YESNOCANCEL:
        return IDCANCEL;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDOK;
    }
}

// A silent run's log without /LOG=: a new file in the temporary folder, named
// "PeloriumInstall-<yyyymmdd>-<hhmmss>-{<random GUID>}.log", so that no other process
// of the user's can foresee the name and plant a file or link under it.
bool openDefaultLog(ar::LogFile& log)
{
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return false;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return log.createIn(folder, ar::formatPrintf(L"PeloriumInstall-%04u%02u%02u-%02u%02u%02u", now.wYear,
                                                 now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond));
}

} // namespace

void CInstallApp::refreshName()
{
    setName(ar::applicationTitle());
}

std::optional<ar::RunOutcome> CInstallApp::runWizard(bool progressOnly)
{
    // The message boxes go to the log through the handler that start-up set.
    ar::EngineRun engine;
    CInstallDlg wizard(context, engine);
    wizard.setLog(logFile_.isOpen() ? &logFile_ : nullptr);
    wizard.setProgressOnly(progressOnly);
    setMainDialog(&wizard);
    wizard.doModal();
    setMainDialog(nullptr);
    return wizard.outcome();
}

int CInstallApp::ExitInstance()
{
    fw::App::ExitInstance();
    if (logFile_.isOpen()) {
        logFile_.line(ar::formatPrintf(L"Exit code %d", static_cast<int>(exitCode_)));
        // The exit report, for an administrator who started the installer from a console.
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            std::wstring report =
                ar::formatPrintf(L"%ls: exit code %d, log %ls\r\n", ar::product::displayName().c_str(),
                                 static_cast<int>(exitCode_), logFile_.path().c_str());
            DWORD written = 0;
            WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), report.c_str(), static_cast<DWORD>(report.size()),
                          &written, nullptr);
            FreeConsole();
        }
    }
    return static_cast<int>(exitCode_);
}

bool CInstallApp::InitInstance()
{
    fw::App::InitInstance();
    // The one barrier of start-up, the wizard and the silent installation: the run
    // has its own, which rolls back, so whatever arrives here came before anything
    // was written (or after the run had finished), and ends as a refusal, logged.
    try {
        exitCode_ = startUp();
    } catch (const std::exception& error) {
        unexpected(ar::fromUtf8(error.what()));
    } catch (...) {
        unexpected(L"unknown exception");
    }
    return false;
}

void CInstallApp::unexpected(const std::wstring& what)
{
    exitCode_ = context.installSucceeded ? ar::ExitCode::Installed : ar::ExitCode::Refused;
    const std::wstring text = L"Unexpected error: " + what;
    // Start-up's message-box handler has ended with it: the text goes to the log
    // here, and an unattended installation shows no box.
    if (logFile_.isOpen())
        logFile_.line(text);
    if (unattended())
        return;
    try {
        ar::messageBox(text, {}, MB_OK | MB_ICONERROR);
    } catch (...) {
    }
}

ar::ExitCode CInstallApp::startUp()
{
    commandLine_ = ar::parseCommandLine(ar::processArguments());
    // Start-up's message boxes come before the first dialog: the themed controls are
    // ready for them. An unattended run shows no box and loads no common controls
    // unless its progress window does.
    if (!unattended())
        fw::commonControls();
    openLog();
    // Unattended runs answer every question themselves, in the log; with /LOG= the
    // wizard's boxes, start-up's among them, are written to the log as they are shown.
    std::optional<ar::ScopedMessageBoxHandler> answers;
    if (unattended())
        answers.emplace([this](const std::wstring& text, const std::wstring&, UINT type) {
            logFile_.line(text);
            return silentAnswer(type);
        });
    else if (logFile_.isOpen())
        answers.emplace([this](const std::wstring& text, const std::wstring& title, UINT type) {
            logFile_.line(text);
            return ar::showMessageBox(text, title, type);
        });

    ar::StartupFacts facts;
    facts.usageAsked = commandLine_.help;
    facts.commandLineBad = !commandLine_.error.empty();
    facts.folderGiven = commandLine_.installFolder.has_value();
    facts.unattended = unattended();
    if (!facts.usageAsked && !facts.commandLineBad) {
        facts.lockTaken = context.instanceLock.acquire();
        if (facts.lockTaken)
            chooseLanguage();
        facts.administrator = ar::isUserAdministrator();
    }
    for (;;) {
        const ar::StartupDecision decision = ar::decideStartup(facts);
        switch (decision.step) {
        case ar::StartupStep::ShowUsage:
            showUsage();
            return decision.code;
        case ar::StartupStep::Refuse:
            showRefusal(decision.refusal);
            return decision.code;
        case ar::StartupStep::Recover:
            // An installation that was ended from outside is undone before anything
            // else reads or changes the machine.
            if (std::optional<ar::ExitCode> refused = recoverInterruptedRun())
                return *refused;
            facts.machine = readMachine();
            break;
        case ar::StartupStep::AskToCloseProduct:
            if (ar::messageBox(ar::formatString(IDS_CLOSE_PRODUCT, {ar::product::name}), {},
                               MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
                return ar::ExitCode::ProductRunning;
            facts.machine->productInstances = ar::countRunningInstances();
            break;
        case ar::StartupStep::AskToFreeProgram:
            if (ar::messageBox(ar::formatString(IDS_VERSION_IN_USE, {installed_.mainProgram}), {},
                               MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
                return ar::ExitCode::FilesInUse;
            facts.machine = readMachine();
            break;
        case ar::StartupStep::Install:
            return install();
        }
    }
}

// The administrator's own /LOG= file is appended to; an unattended run without one,
// or whose file cannot be opened, writes a new log into the temporary folder.
void CInstallApp::openLog()
{
    if (commandLine_.logFile)
        logFile_.open(*commandLine_.logFile);
    if (unattended() && !logFile_.isOpen())
        openDefaultLog(logFile_);
}

// The user's language among the offered ones, the stored one, or the command line's;
// the application name captions every message box from here on.
void CInstallApp::chooseLanguage()
{
    int language = ar::chooseStartingLanguage(ar::startingLanguage(ar::offeredLanguages), ar::storedLanguage());
    if (commandLine_.language)
        language = ar::chooseStartingLanguage(*commandLine_.language, std::nullopt);
    ar::setLanguage(language);
    refreshName();
    if (logFile_.isOpen())
        logFile_.line(ar::applicationTitle());
}

void CInstallApp::showUsage() const
{
    const std::wstring text =
        commandLine_.error.empty() ? ar::usageText() : commandLine_.error + L"\r\n\r\n" + ar::usageText();
    ar::messageBox(text, ar::product::displayName(),
                   MB_OK | (commandLine_.help ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}

void CInstallApp::showRefusal(ar::Refusal refusal) const
{
    std::wstring text;
    switch (refusal) {
    case ar::Refusal::InstallerRunning:
        ar::showErrorCode(ERROR_BUSY);
        return;
    case ar::Refusal::NotAdministrator:
        text = ar::loadString(IDS_NEED_ADMINISTRATOR);
        break;
    case ar::Refusal::DataFolderUnsafe:
        text = ar::formatString(IDS_DATA_FOLDER_UNSAFE,
                                {dataFolder_.folder, ar::formatPrintf(L"%08x", unsigned(dataFolder_.error))});
        break;
    case ar::Refusal::VersionUnreadable:
        text = ar::formatString(IDS_VERSION_UNREADABLE, {installed_.mainProgram});
        break;
    case ar::Refusal::FolderOfInstalledProduct:
        text = ar::formatString(IDS_FOLDER_OF_INSTALLED_PRODUCT, {installedFolder()});
        break;
    case ar::Refusal::NewerVersionInstalled: // unattended: the text goes to the log
        text = ar::formatString(IDS_NEWER_INSTALLED, {context.installedVersionText});
        break;
    case ar::Refusal::None:
        return;
    }
    ar::messageBox(text, {}, MB_OK | MB_ICONEXCLAMATION);
}

// What the machine holds once no interrupted run is left: the shared data folder
// (made safe where it can be), the running copies of the product, and how the
// installed version compares with this one.
ar::StartupFacts::Machine CInstallApp::readMachine()
{
    ar::StartupFacts::Machine machine;
    dataFolder_ = ar::secureSharedDataFolder();
    machine.dataFolderUnsafe = dataFolder_.result == ar::SharedDataCheck::Unsafe;
    if (dataFolder_.result == ar::SharedDataCheck::MadeSafe && logFile_.isOpen())
        logFile_.line(ar::formatString(IDS_DATA_FOLDER_MADE_SAFE, {dataFolder_.folder}));
    machine.productInstances = ar::countRunningInstances();
    installed_ = ar::readProductRecord();
    machine.installed.reset();
    if (auto comparison = ar::compareWithInstalled(installed_)) {
        machine.installed = comparison->state;
        context.installState = comparison->state;
        context.installedVersionText = comparison->installedVersionText;
    } else {
        machine.installedProgramHeld = ar::heldAgainstReading(installed_.mainProgram);
    }
    return machine;
}

// The folder of the installed product: the registered one, else the default.
std::wstring CInstallApp::installedFolder() const
{
    std::wstring folder = ar::registeredInstallFolder();
    return folder.empty() ? ar::defaultInstallFolder() : folder;
}

ar::ExitCode CInstallApp::install()
{
    presetFolders();
    presetOptions();
    if (commandLine_.silent)
        return installSilently();
    if (commandLine_.passive)
        return ar::runExitCode(runWizard(true).value_or(ar::RunOutcome::Failed));
    // The wizard's Path page shows the space that the payload's files take.
    try {
        ar::imemstream payload = ar::open_payload_resource();
        context.payloadEntries = ar::read_payload_entries(payload);
    } catch (const std::exception&) {
        // The run finds and reports a damaged payload.
    }
    if (std::optional<ar::RunOutcome> outcome = runWizard())
        return ar::runExitCode(*outcome);
    return context.installState == ar::InstallState::NewerInstalled ? ar::ExitCode::NewerVersionInstalled
                                                                    : ar::ExitCode::Cancelled;
}

// An update or reinstallation goes into the registered folder; the earlier log gives
// its Start-menu folder, believed only as far as the registration bears it out. The
// defaults fill in what is left.
void CInstallApp::presetFolders()
{
    if (context.installState == ar::InstallState::Same || context.installState == ar::InstallState::Update) {
        context.installFolder = ar::registeredInstallFolder();
        if (auto log = ar::findEarlierLog(ar::registeredUninstaller(), installed_.mainProgram)) {
            context.earlierLog = ar::readEarlierLog(*log, context.installFolder);
            context.shortcutFolder = context.earlierLog.shortcutPath();
        }
    } else {
        context.earlierLog = {};
    }
    if (context.installFolder.empty())
        context.installFolder = ar::defaultInstallFolder();
    if (context.shortcutFolder.empty())
        context.shortcutFolder = ar::defaultShortcutFolder();
}

// The options the wizard starts with, as the command line presets them.
void CInstallApp::presetOptions()
{
    context.createMenuShortcut = !commandLine_.noMenu;
    context.createDesktopShortcut = !commandLine_.noDesktop;
    context.advancedMode = false;
    if (commandLine_.installFolder)
        context.installFolder = *commandLine_.installFolder;
    if (commandLine_.menuFolder)
        context.shortcutFolder = ar::resolveMenuFolder(*commandLine_.menuFolder);
}

std::optional<ar::ExitCode> CInstallApp::recoverInterruptedRun()
{
    const ar::RecoveryReport report = ar::recoverInterruptedRun();
    if (report.inUse) {
        ar::showErrorCode(ERROR_BUSY);
        return ar::ExitCode::InstallerRunning;
    }
    // The message boxes go to the log by themselves.
    auto tell = [](const std::wstring& text, UINT type) { ar::messageBox(text, {}, type); };
    // A set-up folder that could not be trusted was never read: the installation
    // goes on with a new one.
    if (!report.setAside.empty() && logFile_.isOpen())
        logFile_.line(ar::formatString(
            IDS_SETUP_FOLDER_SET_ASIDE,
            {ar::journalFolder(), ar::formatPrintf(L"%08x", unsigned(report.error)), report.setAside}));
    if (logFile_.isOpen())
        for (const std::wstring& outside : report.outsideScope)
            logFile_.line(ar::formatString(IDS_OUTSIDE_SCOPE, {outside}));
    if (report.unreadable) {
        tell(ar::formatString(
                 IDS_JOURNAL_UNREADABLE,
                 {ar::journalPath(), ar::formatPrintf(L"%08x", static_cast<unsigned>(report.error))}),
             MB_OK | MB_ICONEXCLAMATION);
        return ar::ExitCode::Refused;
    }
    if (report.incomplete) {
        tell(ar::formatString(IDS_INTERRUPTED_INCOMPLETE, {ar::product::displayName()}),
             MB_OK | MB_ICONEXCLAMATION);
        for (const std::wstring& left : report.left)
            logFile_.line(ar::formatString(IDS_NOT_RESTORED, {left}));
        return ar::ExitCode::Refused;
    }
    if (report.interrupted)
        tell(ar::formatString(IDS_INTERRUPTED_UNDONE,
                              {ar::product::displayName(), std::to_wstring(report.records)}),
             MB_OK | MB_ICONINFORMATION);
    if (logFile_.isOpen())
        for (const std::wstring& left : report.left)
            logFile_.line(ar::formatString(IDS_NOT_REMOVED_YET, {left}));
    return std::nullopt;
}

bool CInstallApp::unattended() const
{
    return commandLine_.silent || commandLine_.passive;
}

ar::ExitCode CInstallApp::installSilently()
{
    ar::LogFileView view(logFile_);
    view.appendLogLine(ar::formatString(IDS_PRODUCT_INSTALLATION, {ar::product::displayName()}) + L"\r\n");
    view.appendLogLine(ar::formatString(IDS_OPTION_FOLDER, {context.installFolder}) + L"\r\n");
    const ar::RunResult result = ar::runInstallation(context, view);
    context.installSucceeded = result.installed();
    return ar::runExitCode(result.outcome);
}
