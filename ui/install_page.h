// The progress page of the wizard: before the installation a summary of the
// chosen options, during it a progress bar, a status line and a growing log.
// The frame calls runInstallation when the user presses Install.
#pragma once

#include <string>

#include "engine/installation.h"
#include "framework/window.h"
#include "ui/wizard_page.h"

namespace ar {

class LogFile;

// The installation that the progress page starts: the engine's, or a stand-in.
class InstallationRun {
public:
    virtual ~InstallationRun() = default;
    // The whole installation for `context`, reported to `view`.
    virtual RunResult run(InstallContext& context, InstallView& view) = 0;
};

// The engine's installation run.
class EngineRun final : public InstallationRun {
public:
    RunResult run(InstallContext& context, InstallView& view) override { return runInstallation(context, view); }
};

} // namespace ar

class CDlgInstall : public CWizardPage {
public:
    CDlgInstall(ar::InstallContext& context, ar::InstallationRun& run);

    // The whole installation, on the calling thread. Defined in ui/installation_run.cpp.
    ar::RunResult runInstallation();

    // Appends `text` to the log as it is (callers end complete lines with "\r\n").
    // An empty text, or `ruled`, makes a rule line as wide as the log: dashes, with
    // the text centred in them.
    void appendLogLine(const std::wstring& text, bool ruled = false);

    void refreshTexts() override;
    void layout(int dx, int dy) override;

    fw::Edit logEdit;
    fw::ProgressBar progressBar;
    std::wstring programPath;     // the installed main program, once its entry began
    std::wstring uninstallerPath; // the installed uninstaller, once its entry began
    ar::LogFile* log = nullptr;   // receives what the page shows during the run, when set

private:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnInitDialog() override;
    void writeSummary();

    ar::InstallationRun& run_;
};

namespace ar {

// `path` in double quotes when it contains a blank.
std::wstring quotedPath(const std::wstring& path);

// The text of a rule line (without the line end): `available` pixels filled with
// dashes of `dashWidth`, with " text " centred when `text` is not empty
// (`textWidth` is the width of " text ").
std::wstring ruleLine(const std::wstring& text, int available, int textWidth, int dashWidth);

} // namespace ar
