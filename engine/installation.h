// The installation run: from the payload's first byte to the uninstall log, with
// a rollback of everything recorded when the payload cannot be put in place.
//
// The run reports through an InstallView: the wizard's progress page shows it in
// its status line, log and progress bar; an unattended installation writes it to
// its log file.
#pragma once

#include <windows.h>

#include <string>
#include <system_error>

#include "payload/archive.h"

namespace ar {

struct InstallContext;

class InstallView {
public:
    virtual ~InstallView() = default;
    // The one-line status.
    virtual void setStatus(const std::wstring& text) = 0;
    // The status showing a file's path, compacted to the line's width where shown.
    virtual void setStatusPath(const std::wstring& text) { setStatus(text); }
    // Appends to the log as it stands ("\r\n" ends a line). An empty text or
    // `ruled` makes a rule line of dashes with the text centred in it.
    virtual void appendLogLine(const std::wstring& text, bool ruled = false) = 0;
    virtual void showProgress(bool visible) = 0;
    virtual void setProgress(int percent) = 0;
    // Keeps the window responsive: dispatches pending messages.
    virtual void pump() {}
    virtual void beginWait() {}
    virtual void endWait() {}
    // Owner window of the DirectX set-up (may be none).
    virtual HWND ownerWindow() { return nullptr; }
    // Asks whether to try again what `text` says stands in the way; an unattended
    // installation does not.
    virtual bool askRetry(const std::wstring& /*text*/) { return false; }
};

// Where the run put the two programs; empty until their entries begin.
struct InstalledPrograms {
    std::wstring programPath;
    std::wstring uninstallerPath;
};

// How a run ended.
enum class RunOutcome {
    Installed,
    InstalledWithFailures, // installed, but shortcuts, DirectX, registration or the log failed
    Failed,                // rolled back
    RefusedForSpace,       // nothing was written: a volume lacks the space
    RefusedForFilesInUse,  // nothing was written: files it replaces are held by other programs
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Failed;
    InstalledPrograms programs;

    bool installed() const
    {
        return outcome == RunOutcome::Installed || outcome == RunOutcome::InstalledWithFailures;
    }
};

// How long a run waits to take the installer's lock back after the installed
// program registered itself, in milliseconds.
constexpr DWORD lockRetakeWait = 10000;

// Runs the whole installation for `context`, reporting to `view`.
RunResult runInstallation(InstallContext& context, InstallView& view);

// The progress bar's position for `position` of `total`: rounded, but 100 only at the end.
int progressPercent(unsigned long long position, unsigned long long total);

// The text that a failed extraction shows as its error code: "1:%08X" for system
// errors, "2:%08X" for generic ones, the decimal value for the "compress" codes,
// "7" for anything else.
std::wstring errorCodeText(const std::error_code& code);

// The folders that the payload's tokens stand for in an installation into
// `installFolder` whose temporary files go to `tempFolder`.
PayloadFolders payloadFolders(const std::wstring& installFolder, const std::wstring& tempFolder);

} // namespace ar
