// The installation run of the progress page: the engine's run, shown in the
// page's status line, log and progress bar.
#include "ui/install_page.h"

#include <shlwapi.h>

#include <optional>

#include "engine/installation.h"
#include "engine/log_file.h"
#include "framework/accessibility.h"
#include "framework/app.h"
#include "resources/resource.h"
#include "support/error.h"

namespace {

// The page's status line, log and progress bar, and the log file when there is one.
class PageView : public ar::InstallView {
public:
    explicit PageView(CDlgInstall& page) : page_(page)
    {
        if (page.log)
            file_.emplace(*page.log);
    }

    void setStatus(const std::wstring& text) override
    {
        SetDlgItemTextW(page_.hwnd(), IDC_STATUS, text.c_str());
        announceStatus();
        if (file_)
            file_->setStatus(text);
    }
    void setStatusPath(const std::wstring& text) override
    {
        // Long paths are shortened with an ellipsis to fit the line.
        PathSetDlgItemPathW(page_.hwnd(), IDC_STATUS, text.c_str());
        announceStatus();
        if (file_)
            file_->setStatusPath(text);
    }
    void appendLogLine(const std::wstring& text, bool ruled) override
    {
        page_.appendLogLine(text, ruled);
        if (file_)
            file_->appendLogLine(text, ruled);
    }
    void showProgress(bool visible) override { page_.progressBar.show(visible); }
    void setProgress(int percent) override { page_.progressBar.setPosition(percent); }
    void pump() override { fw::pumpMessages(); }
    void beginWait() override
    {
        if (waits_++ == 0)
            previous_ = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    }
    void endWait() override
    {
        if (waits_ > 0 && --waits_ == 0)
            SetCursor(previous_);
    }
    HWND ownerWindow() override { return page_.hwnd(); }
    bool askRetry(const std::wstring& text) override
    {
        return ar::messageBox(text, {}, MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY;
    }

private:
    // Screen readers hear the status line's new words.
    void announceStatus() const { fw::announceNameChange(GetDlgItem(page_.hwnd(), IDC_STATUS)); }

    CDlgInstall& page_;
    std::optional<ar::LogFileView> file_;
    int waits_ = 0;
    HCURSOR previous_ = nullptr;
};

} // namespace

ar::RunResult CDlgInstall::runInstallation()
{
    // The options summary the page showed before the run.
    if (log)
        log->line(logEdit.text());
    PageView view(*this);
    ar::RunResult result = run_.run(installContext(), view);
    programPath = result.programs.programPath;
    uninstallerPath = result.programs.uninstallerPath;
    return result;
}
