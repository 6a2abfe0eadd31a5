// The wizard frame: the installer's only top-level window. It shows one page at a
// time to the right of the picture, labels and enables Back, Next and Exit, runs
// the installation from the progress page and offers the About box in the
// system menu.
#pragma once

#include <array>
#include <optional>

#include "framework/dialog.h"
#include "resources/resource.h"
#include "support/handles.h"
#include "ui/end_page.h"
#include "ui/install_page.h"
#include "ui/mode_page.h"
#include "ui/path_page.h"
#include "ui/shortcut_page.h"
#include "ui/start_page.h"

class CInstallDlg : public fw::Dialog {
public:
    // The wizard over `context`, which its pages show and edit; Install starts `run`.
    CInstallDlg(ar::InstallContext& context, ar::InstallationRun& run);

    // Leaves the current page (which may refuse to save) and shows `index`,
    // skipping the Path and Shortcut pages in quick mode. False when refused.
    bool setActivePage(int index);
    int activePage() const { return current_; }
    CWizardPage& page(int index) const { return *pages_.at(static_cast<size_t>(index)); }

    // The log file that receives what the progress page shows (none: no log).
    void setLog(ar::LogFile* log) { install_.log = log; }

    // Progress only (/PASSIVE): the progress page alone, without Back, Next or Exit;
    // the installation starts as soon as the frame shows, and the frame closes when
    // it has ended. Set before doModal.
    void setProgressOnly(bool progressOnly) { progressOnly_ = progressOnly; }

    // How the installation that Install started ended; none before.
    std::optional<ar::RunOutcome> outcome() const { return outcome_; }

    // Title, About menu entry, buttons and every page in the current language.
    void refreshTexts();
    void updateButtons();

private:
    bool OnInitDialog() override;
    void OnOK() override;     // Next
    void OnCancel() override; // Exit, the close box and Escape

    void onBack();
    bool onSysCommand(UINT command, LPARAM lParam);
    void onInitMenuPopup(HMENU menu, UINT position, bool systemMenu);
    void onGetMinMaxInfo(MINMAXINFO* info);
    bool onPaint();
    HICON onQueryDragIcon();
    bool onSetCursor(HWND window, UINT hitTest, UINT mouseMessage);

    void install();
    // The picture left of the pages, drawn for the window's DPI.
    void loadPicture();
    void drawPicture(HDC dc);
    void onStartRun(); // progress only: the run, then the end of the dialog
    void layoutPages();
    std::wstring aboutMenuText() const;
    void makeDefault(int id);

    FW_BEGIN_MESSAGE_MAP(fw::Dialog)
    FW_ON_COMMAND(IDC_BACK, BN_CLICKED, onBack)
    FW_ON_WM_SYSCOMMAND(onSysCommand)
    FW_ON_WM_INITMENUPOPUP(onInitMenuPopup)
    FW_ON_WM_GETMINMAXINFO(onGetMinMaxInfo)
    FW_ON_WM_PAINT(onPaint)
    FW_ON_WM_QUERYDRAGICON(onQueryDragIcon)
    FW_ON_WM_SETCURSOR(onSetCursor)
    FW_ON_MESSAGE(startRunMessage, onStartRun)
    FW_END_MESSAGE_MAP()

    ar::InstallContext& context_;
    CDlgStart start_;
    CDlgMode mode_;
    CDlgPath path_;
    CDlgShortcut shortcut_;
    CDlgInstall install_;
    CDlgEnd end_;
    std::array<CWizardPage*, 6> pages_;
    std::optional<ar::RunOutcome> outcome_;
    int current_ = -1;
    HICON icon_ = nullptr;
    ar::unique_hgdiobj picture_; // the artwork's bitmap nearest the window's DPI
    SIZE pictureSize_{};
    bool running_ = false; // the installation run is under way
    bool progressOnly_ = false;
    static constexpr UINT startRunMessage = WM_APP + 1;
};
