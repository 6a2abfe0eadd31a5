#include "uninstaller/uninstallation.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "product/language.h"
#include "product/product_record.h"
#include "product/product.h"
#include "engine/startup.h"
#include "log/log_digest.h"
#include "log/run_journal.h"
#include "log/earlier_log.h"
#include "resources/resource.h"
#include "support/error.h"
#include "support/format.h"
#include "support/folder_rules.h"
#include "support/handles.h"
#include "support/module_state.h"
#include "uninstaller/confirm_dialog.h"
#include "uninstaller/self_removal.h"

namespace ar {
namespace {

// At most this many leftovers are listed in the closing message; the log has all.
constexpr std::size_t listedLeftovers = 12;
// How long the system may hold the main program's file after its unregistration ended.
constexpr DWORD programReleaseTimeout = 5000;

bool pathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int uninstallerLanguage()
{
    std::optional<int> stored = storedLanguage();
    if (stored && isValidLanguage(*stored))
        return *stored;
    return startingLanguage(offeredLanguages);
}

Uninstallation::Uninstallation(UninstallOptions options, std::wstring uninstaller)
    : options_(std::move(options)), uninstaller_(std::move(uninstaller)),
      installFolder_(parentOf(uninstaller_))
{
}

int Uninstallation::tell(const std::wstring& text, UINT type)
{
    log_.line(text);
    if (options_.silent)
        return IDCANCEL;
    return messageBox(text, {}, type);
}

UninstallExit Uninstallation::refuse(const std::wstring& text, UninstallExit exit)
{
    tell(text, MB_OK | MB_ICONEXCLAMATION);
    return exit;
}

bool Uninstallation::productClosed(UninstallExit& exit)
{
    // The counter holds this process too.
    registerRunningInstance();
    while (countRunningInstances() >= 2) {
        const std::wstring text = formatString(IDS_UNINSTALL_CLOSE_PRODUCT, {product::displayName()});
        if (options_.silent) {
            exit = refuse(text, UninstallExit::ProductRunning);
            return false;
        }
        if (tell(text, MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY) {
            log_.line(loadString(IDS_UNINSTALL_CANCELLED));
            exit = UninstallExit::Cancelled;
            return false;
        }
    }
    return true;
}

ProductFolders Uninstallation::productFolders(const std::string& logBytes) const
{
    return registeredProductFolders(installFolder_, logBytes);
}

void Uninstallation::note(const std::wstring& path, const StepResult& result)
{
    switch (result.outcome) {
    case Outcome::Removed:
    case Outcome::Missing:
        log_.line(formatString(IDS_UNINSTALL_REMOVED, {path}));
        break;
    case Outcome::Kept:
        log_.line(formatString(IDS_UNINSTALL_FOLDER_KEPT, {path}));
        break;
    case Outcome::Failed:
        log_.line(formatString(IDS_UNINSTALL_FAILED, {path, systemErrorText(result.error)}));
        leftovers_.push_back(path);
        break;
    }
}

bool Uninstallation::removeAll(const UninstallPlan& plan)
{
    // The main program stays when its registration could not be undone: a later
    // attempt needs it.
    bool keepMainProgram = false;
    for (const UninstallStep& step : plan.steps) {
        // Each step acts below the product's folder that holds it, never through a
        // link (removal.h): one that leads through a link is listed as left.
        const std::wstring root = stepRoot(step.path, plan.roots);
        switch (step.action) {
        case UninstallAction::UndoSelfRegistration: {
            // The product may refuse to (un)register while an installer holds the lock.
            lock_.release();
            StepResult result = undoSelfRegistration(installFolder_, step.path);
            const bool relocked = lock_.acquire();
            if (result.outcome == Outcome::Removed) {
                log_.line(formatString(IDS_UNINSTALL_UNREGISTERED, {product::name}));
            } else if (result.outcome == Outcome::Failed) {
                std::wstring text = formatString(IDS_UNINSTALL_UNREGISTER_FAILED,
                                                 {product::name, formatPrintf(L"%ld", result.error)});
                log_.line(text);
                leftovers_.push_back(text);
                keepMainProgram = true;
            }
            if (!relocked) {
                // An installer started meanwhile: it owns the installation now.
                std::wstring text = formatString(IDS_UNINSTALL_INSTALLER_RUNNING, {product::displayName()});
                log_.line(text);
                leftovers_.push_back(text);
                return false;
            }
            break;
        }
        case UninstallAction::RemoveDataFile:
            if (!options_.purge) {
                log_.line(formatString(IDS_UNINSTALL_KEPT, {step.path}));
                dataKept_ = true;
                break;
            }
            note(step.path, removeInstalledFile(root, step.path));
            break;
        case UninstallAction::RemoveFile:
        case UninstallAction::RemoveShortcut:
            if (samePlainPath(step.path, plan.mainProgram)) {
                if (keepMainProgram) {
                    log_.line(formatString(IDS_UNINSTALL_KEPT, {step.path}));
                    leftovers_.push_back(step.path);
                    break;
                }
                // The program has just ended its unregistration.
                note(step.path, retryWhileHeld([&] { return removeInstalledFile(root, step.path); },
                                               programReleaseTimeout));
                break;
            }
            note(step.path, removeInstalledFile(root, step.path));
            break;
        case UninstallAction::RemoveFolder:
            note(step.path, removeEmptyFolder(root, step.path));
            break;
        }
    }
    return true;
}

void Uninstallation::removeRegistration(const UninstallPlan& plan)
{
    const std::wstring keyText = L"HKEY_LOCAL_MACHINE\\" + product::uninstallKeyPath();
    if (plan.removesRegistration) {
        StepResult result = removeUninstallKey(uninstaller_);
        if (result.outcome == Outcome::Failed) {
            note(keyText, result);
            return;
        }
        if (result.outcome == Outcome::Kept) {
            // It registers another installation now, which keeps its record too.
            log_.line(formatString(IDS_UNINSTALL_KEPT, {keyText}));
            return;
        }
    }
    if (!plan.mainProgram.empty())
        removeProductRecordOf(plan.mainProgram);
    log_.line(formatString(IDS_UNINSTALL_REGISTRY_REMOVED, {product::displayName()}));
}

UninstallExit Uninstallation::run()
{
    std::wstring what;
    try {
        return uninstall();
    } catch (const std::exception& error) {
        what = fromUtf8(error.what());
    } catch (...) {
        what = L"unknown exception";
    }
    const std::wstring text = L"Unexpected error: " + what;
    try {
        tell(text, MB_OK | MB_ICONERROR);
    } catch (...) {
        log_.line(text);
    }
    return removing_ ? UninstallExit::Incomplete : UninstallExit::Refused;
}

UninstallExit Uninstallation::uninstall()
{
    if (options_.logFile)
        log_.open(*options_.logFile);
    setLanguage(uninstallerLanguage());
    setApplicationName(loadString(IDS_UNINSTALLER) + L" \u2013 " + product::displayName());
    log_.line(formatString(IDS_UNINSTALL_TITLE_LINE, {product::displayName()}));

    if (std::optional<UninstallExit> refused = check())
        return *refused;
    UninstallLogRead read;
    if (std::optional<UninstallExit> refused = readUninstallLog(read))
        return *refused;
    if (!options_.silent) {
        CConfirmUninstallDlg confirm(options_.purge);
        if (confirm.doModal() != IDOK) {
            log_.line(loadString(IDS_UNINSTALL_CANCELLED));
            return UninstallExit::Cancelled;
        }
        options_.purge = confirm.purge();
    }

    removing_ = true;
    const bool finished = removeAll(read.plan);
    const bool complete = finished && read.whole && leftovers_.empty();
    if (complete)
        removeRegistration(read.plan);
    const bool removed = report(read);

    // Last, the uninstaller itself, its log and its folders, once this process has
    // ended; only when the log says that it installed the uninstaller there.
    if (complete && leftovers_.empty() && read.plan.recordsUninstaller) {
        if (!startSelfRemoval(uninstaller_, read.plan.uninstallerFolderLevels, options_.logFile))
            for (const std::wstring& path : removeAtRestart(uninstaller_, read.plan.uninstallerFolderLevels))
                log_.line(formatString(IDS_UNINSTALL_AT_RESTART, {path}));
    }
    return removed ? UninstallExit::Removed : UninstallExit::Incomplete;
}

std::optional<UninstallExit> Uninstallation::check()
{
    if (!options_.error.empty())
        return refuse(formatString(IDS_UNINSTALL_BAD_COMMAND_LINE, {options_.error}) + L"\r\n\r\n" +
                          uninstallUsageText(),
                      UninstallExit::BadCommandLine);
    if (options_.help) {
        tell(uninstallUsageText(), MB_OK | MB_ICONINFORMATION);
        return UninstallExit::Cancelled;
    }
    // No installer at work (and none may start until the end), rights, the product closed.
    if (!lock_.acquire())
        return refuse(formatString(IDS_UNINSTALL_INSTALLER_RUNNING, {product::displayName()}),
                      UninstallExit::InstallerRunning);
    if (!isUserAdministrator())
        return refuse(formatString(IDS_UNINSTALL_NEED_ADMINISTRATOR, {product::displayName()}),
                      UninstallExit::NotAdministrator);
    // What an interrupted installation changed is the installer's to undo first.
    if (interruptedRunPending())
        return refuse(formatString(IDS_UNINSTALL_INTERRUPTED, {product::displayName()}));
    UninstallExit exit = UninstallExit::Refused;
    if (!productClosed(exit))
        return exit;
    return std::nullopt;
}

std::optional<UninstallExit> Uninstallation::readUninstallLog(UninstallLogRead& read)
{
    read.path = uninstallLogBeside(uninstaller_);
    // The log stays open, without sharing writes, until it has been read and
    // checked: what is read is what was checked.
    unique_hfile held(CreateFileW(read.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!held || !readWholeFile(read.path, bytes))
        return refuse(formatString(IDS_UNINSTALL_LOG_UNREADABLE, {read.path}));
    const EarlierLog log = EarlierLog::read(read.path);
    const std::wstring foreign = formatString(IDS_UNINSTALL_LOG_FOREIGN, {read.path, product::displayName()});
    if (log.installPath().empty() || !samePlainPath(log.installPath(), installFolder_))
        return refuse(foreign);
    const LogShape shape = logShape(bytes);
    const std::size_t recordsRead = log.records().size();
    read.plan = planUninstall(log.records(), recordsFromWholeLines(shape, recordsRead),
                              productFolders(bytes), uninstaller_, pathExists);
    held.reset();
    if (read.plan.trustedRecords == 0)
        return refuse(foreign);
    read.whole = read.plan.trustedRecords == recordsRead && wholeLogRead(shape, recordsRead);
    return std::nullopt;
}

bool Uninstallation::report(const UninstallLogRead& read)
{
    std::wstring text;
    if (!read.whole)
        text = formatString(IDS_UNINSTALL_LOG_DAMAGED,
                            {read.path, std::to_wstring(logHeaderLines + read.plan.trustedRecords + 1)});
    if (!leftovers_.empty()) {
        if (!text.empty())
            text += L"\r\n\r\n";
        text += formatString(IDS_UNINSTALL_INCOMPLETE, {product::displayName()});
        for (std::size_t i = 0; i < leftovers_.size() && i < listedLeftovers; ++i)
            text += L"\r\n" + leftovers_[i];
        if (leftovers_.size() > listedLeftovers)
            text += L"\r\n...";
        text += L"\r\n\r\n" + loadString(IDS_UNINSTALL_TRY_AGAIN);
    }
    const bool removed = text.empty() && leftovers_.empty();
    if (removed) {
        text = formatString(IDS_UNINSTALL_DONE, {product::displayName()});
        if (dataKept_)
            text += L"\r\n\r\n" + loadString(IDS_UNINSTALL_DATA_KEPT);
    }
    tell(text, MB_OK | (removed ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
    return removed;
}

} // namespace ar
