#include "app/install_app.h"

#include <shlwapi.h>

#include "app/command_line.h"
#include "product/language.h"
#include "product/product.h"
#include "product/product_record.h"
#include "engine/data_folders.h"
#include "engine/startup.h"
#include "engine/installation.h"
#include "engine/log_file.h"
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
    // With /LOG= the wizard's boxes are written to the log too, as they are shown.
    // Progress only keeps the silent answers that start-up set.
    if (log_.isOpen() && !progressOnly)
        ar::setMessageBoxHandler([this](const std::wstring& text, const std::wstring& title, UINT type) {
            log_.line(text);
            return ar::showMessageBox(text, title, type);
        });
    ar::EngineRun engine;
    CInstallDlg wizard(context, engine);
    wizard.setLog(log_.isOpen() ? &log_ : nullptr);
    wizard.setProgressOnly(progressOnly);
    setMainDialog(&wizard);
    wizard.doModal();
    setMainDialog(nullptr);
    if (!progressOnly)
        ar::setMessageBoxHandler({});
    return wizard.outcome();
}

int CInstallApp::ExitInstance()
{
    fw::App::ExitInstance();
    if (log_.isOpen()) {
        log_.line(ar::formatPrintf(L"Exit code %d", static_cast<int>(exitCode_)));
        // The exit report, for an administrator who started the installer from a console.
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            std::wstring report =
                ar::formatPrintf(L"%ls: exit code %d, log %ls\r\n", ar::product::displayName().c_str(),
                                 static_cast<int>(exitCode_), log_.path().c_str());
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
    // An unattended installation's message boxes go to the log by themselves.
    if (log_.isOpen() && !unattended())
        log_.line(text);
    try {
        ar::messageBox(text, {}, MB_OK | MB_ICONERROR);
    } catch (...) {
        if (log_.isOpen())
            log_.line(text);
    }
}

ar::ExitCode CInstallApp::startUp()
{
    using ar::ExitCode;
    commandLine_ = ar::parseCommandLine(ar::processArguments());
    // Progress only asks nothing either: it decides and logs as a silent run does.
    const bool silent = unattended();
    // The administrator's own /LOG= file is appended to; a silent run without one, or
    // whose file cannot be opened, writes a new log into the temporary folder.
    if (commandLine_.logFile)
        log_.open(*commandLine_.logFile);
    if (silent && !log_.isOpen())
        openDefaultLog(log_);
    if (silent) {
        ar::setMessageBoxHandler([this](const std::wstring& text, const std::wstring&, UINT type) {
            int answer = silentAnswer(type);
            log_.line(text);
            return answer;
        });
    }
    if (!commandLine_.error.empty() || commandLine_.help) {
        std::wstring text =
            commandLine_.error.empty() ? ar::usageText() : commandLine_.error + L"\r\n\r\n" + ar::usageText();
        ar::messageBox(text, ar::product::displayName(),
                       MB_OK | (commandLine_.help ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
        return commandLine_.help ? ExitCode::Installed : ExitCode::BadCommandLine;
    }

    // 1. One installer at a time.
    if (!context.instanceLock.acquire()) {
        ar::showErrorCode(ERROR_BUSY);
        return ExitCode::InstallerRunning;
    }
    // 3-5. The starting language.
    int language =
        ar::chooseStartingLanguage(ar::startingLanguage(ar::offeredLanguages), ar::storedLanguage());
    if (commandLine_.language)
        language = ar::chooseStartingLanguage(*commandLine_.language, std::nullopt);
    ar::setLanguage(language);
    // 6. The application name captions every message box from here on.
    refreshName();
    if (log_.isOpen())
        log_.line(ar::applicationTitle());
    // 7. Administrators only.
    if (!ar::isUserAdministrator()) {
        ar::messageBox(ar::loadString(IDS_NEED_ADMINISTRATOR), {}, MB_OK | MB_ICONEXCLAMATION);
        return ExitCode::NotAdministrator;
    }
    // An installation that was ended from outside is undone before anything else
    // reads or changes the machine.
    if (std::optional<ExitCode> refused = recoverInterruptedRun())
        return *refused;
    // The shared data folder is written only once nobody else can rearrange it.
    const ar::SharedDataCheck data = ar::secureSharedDataFolder();
    if (data.result == ar::SharedDataCheck::Unsafe) {
        ar::messageBox(ar::formatString(IDS_DATA_FOLDER_UNSAFE,
                                        {data.folder, ar::formatPrintf(L"%08x", unsigned(data.error))}),
                       {}, MB_OK | MB_ICONEXCLAMATION);
        return ExitCode::Refused;
    }
    if (data.result == ar::SharedDataCheck::MadeSafe && log_.isOpen())
        log_.line(ar::formatString(IDS_DATA_FOLDER_MADE_SAFE, {data.folder}));
    // 8. Never while the product runs.
    while (ar::countRunningInstances() >= 2) {
        if (ar::messageBox(ar::formatString(IDS_CLOSE_PRODUCT, {ar::product::name}), {},
                           MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
            return ExitCode::ProductRunning;
    }
    // 9. An earlier installation.
    ar::InstalledProduct installed = ar::readProductRecord();
    auto comparison = ar::compareWithInstalled(installed);
    if (!comparison) {
        ar::messageBox(ar::formatMessage(L"The version of the installed program '%1' cannot be read.",
                                         {installed.mainProgram}),
                       {}, MB_OK | MB_ICONEXCLAMATION);
        return ExitCode::Refused;
    }
    context.installState = comparison->state;
    context.installedVersionText = comparison->installedVersionText;
    // 10. The earlier log gives the folders of an update or reinstallation.
    // The folder is the registered one; the log is believed only as far as the
    // registration bears it out.
    if (context.installState == ar::InstallState::Same || context.installState == ar::InstallState::Update) {
        context.installFolder = ar::registeredInstallFolder();
        if (auto log = ar::findEarlierLog(ar::registeredUninstaller(), installed.mainProgram)) {
            ar::readEarlierLog(context.previousLog, *log, context.installFolder);
            context.shortcutFolder = context.previousLog.shortcutPath;
        }
    } else {
        context.previousLog.readLog();
    }
    // 11-12. Default folders.
    if (context.installFolder.empty())
        context.installFolder = ar::defaultInstallFolder();
    if (context.shortcutFolder.empty())
        context.shortcutFolder = ar::defaultShortcutFolder();
    // 13. The options the wizard starts with, preset by the command line.
    context.createMenuShortcut = !commandLine_.noMenu;
    context.createDesktopShortcut = !commandLine_.noDesktop;
    context.advancedMode = false;
    if (commandLine_.installFolder) {
        if (context.installState != ar::InstallState::None) {
            ar::messageBox(L"/D= cannot change the folder of an installed product: it is updated in " +
                               context.installFolder + L".",
                           {}, MB_OK | MB_ICONEXCLAMATION);
            return ExitCode::BadCommandLine;
        }
        context.installFolder = *commandLine_.installFolder;
    }
    if (commandLine_.menuFolder)
        context.shortcutFolder = ar::resolveMenuFolder(*commandLine_.menuFolder);

    if (commandLine_.silent)
        return installSilently();
    if (commandLine_.passive)
        return installWithProgress();
    // 14. The wizard; its Path page shows the space that the payload's files take.
    try {
        ar::imemstream payload = ar::open_payload_resource();
        context.payloadEntries = ar::read_payload_entries(payload);
    } catch (const std::exception&) {
        // The run finds and reports a damaged payload.
    }
    if (std::optional<ar::RunOutcome> outcome = runWizard())
        return ar::runExitCode(*outcome);
    return context.installState == ar::InstallState::NewerInstalled ? ExitCode::NewerVersionInstalled
                                                                    : ExitCode::Cancelled;
}

std::optional<ar::ExitCode> CInstallApp::recoverInterruptedRun()
{
    const ar::RecoveryReport report = ar::recoverInterruptedRun();
    if (report.inUse) {
        ar::showErrorCode(ERROR_BUSY);
        return ar::ExitCode::InstallerRunning;
    }
    // An unattended installation's message boxes go to the log by themselves.
    auto tell = [&](const std::wstring& text, UINT type) {
        if (log_.isOpen() && !unattended())
            log_.line(text);
        ar::messageBox(text, {}, type);
    };
    // A set-up folder that could not be trusted was never read: the installation
    // goes on with a new one.
    if (!report.setAside.empty() && log_.isOpen())
        log_.line(ar::formatString(
            IDS_SETUP_FOLDER_SET_ASIDE,
            {ar::journalFolder(), ar::formatPrintf(L"%08x", unsigned(report.error)), report.setAside}));
    if (log_.isOpen())
        for (const std::wstring& outside : report.outsideScope)
            log_.line(ar::formatString(IDS_OUTSIDE_SCOPE, {outside}));
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
            log_.line(ar::formatString(IDS_NOT_RESTORED, {left}));
        return ar::ExitCode::Refused;
    }
    if (report.interrupted)
        tell(ar::formatString(IDS_INTERRUPTED_UNDONE,
                              {ar::product::displayName(), std::to_wstring(report.records)}),
             MB_OK | MB_ICONINFORMATION);
    if (log_.isOpen())
        for (const std::wstring& left : report.left)
            log_.line(ar::formatString(IDS_NOT_REMOVED_YET, {left}));
    return std::nullopt;
}

bool CInstallApp::unattended() const
{
    return commandLine_.silent || commandLine_.passive;
}

bool CInstallApp::refuseNewerVersion()
{
    if (context.installState != ar::InstallState::NewerInstalled)
        return false;
    log_.line(ar::formatString(IDS_NEWER_INSTALLED, {context.installedVersionText}));
    return true;
}

ar::ExitCode CInstallApp::installWithProgress()
{
    if (refuseNewerVersion())
        return ar::ExitCode::NewerVersionInstalled;
    return ar::runExitCode(runWizard(true).value_or(ar::RunOutcome::Failed));
}

ar::ExitCode CInstallApp::installSilently()
{
    if (refuseNewerVersion())
        return ar::ExitCode::NewerVersionInstalled;
    ar::LogFileView view(log_);
    view.appendLogLine(ar::formatString(IDS_PRODUCT_INSTALLATION, {ar::product::displayName()}) + L"\r\n");
    view.appendLogLine(ar::formatString(IDS_OPTION_FOLDER, {context.installFolder}) + L"\r\n");
    const ar::RunResult result = ar::runInstallation(context, view);
    context.installSucceeded = result.installed();
    return ar::runExitCode(result.outcome);
}
