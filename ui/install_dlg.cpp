#include "ui/install_dlg.h"

#include "engine/startup.h"
#include "framework/app.h"
#include "framework/window.h"
#include "product/language.h"
#include "support/format.h"
#include "ui/about_dlg.h"
#include "ui/wizard_rules.h"

#include <exception>

namespace {

int width(const RECT& r)
{
    return r.right - r.left;
}
int height(const RECT& r)
{
    return r.bottom - r.top;
}

} // namespace

CInstallDlg::CInstallDlg(ar::InstallContext& context, ar::InstallationRun& run)
    : fw::Dialog(IDD_INSTALL), context_(context), start_(context), mode_(context), path_(context),
      shortcut_(context), install_(context, run),
      end_(context), pages_{&start_, &mode_, &path_, &shortcut_, &install_, &end_}
{
    icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
    start_.setLanguageChangedHandler([this] { refreshTexts(); });
}

bool CInstallDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    window().setText(ar::applicationTitle());

    if (HMENU systemMenu = GetSystemMenu(hwnd(), FALSE)) {
        std::wstring about = aboutMenuText();
        if (!about.empty()) {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
        DeleteMenu(systemMenu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(systemMenu, SC_SIZE, MF_BYCOMMAND);
    }
    window().send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    window().send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    // The pages come first in the frame's order, so that Tab goes through the shown
    // page's controls before Back, Next and Exit.
    for (auto page = pages_.rbegin(); page != pages_.rend(); ++page) {
        (*page)->create(hwnd());
        SetWindowPos((*page)->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    layoutPages();
    loadPicture();

    refreshTexts();
    if (progressOnly_) {
        setActivePage(ar::wizard::progressPage);
        for (int id : {IDC_BACK, IDOK, IDCANCEL})
            item(id).show(false);
        // Started from the message loop, once the frame is on the screen.
        PostMessageW(hwnd(), startRunMessage, 0, 0);
        return false;
    }
    setActivePage(ar::wizard::startPage);
    if (context_.installState == ar::InstallState::NewerInstalled) {
        // Nothing can be installed: Exit takes the focus and the Enter key.
        item(IDOK).enable(false);
        makeDefault(IDCANCEL);
    }
    // The focus was placed by setActivePage.
    return false;
}

void CInstallDlg::layoutPages()
{
    // The page area lies right of the picture frame and above the separator.
    RECT client = window().clientRect();
    RECT area{item(IDC_PICTURE_FRAME).rectInParent().right, client.top, client.right,
              item(IDC_SEPARATOR).rectInParent().top};
    RECT all = area;
    std::array<SIZE, ar::wizard::pageCount> own{};
    for (size_t i = 0; i < pages_.size(); ++i) {
        fw::Window page = pages_[i]->window();
        SetWindowPos(page.hwnd(), nullptr, area.left, area.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT rect = page.rectInParent();
        own[i] = {width(rect), height(rect)};
        UnionRect(&all, &all, &rect);
    }
    const int dx = width(all) - width(area);
    const int dy = height(all) - height(area);

    RECT frame = window().windowRect();
    SetWindowPos(hwnd(), nullptr, 0, 0, width(frame) + dx, height(frame) + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // Every page fills the whole area; it stretches by what it received beyond its
    // own size, so each page's controls end at the same right and bottom margins.
    for (size_t i = 0; i < pages_.size(); ++i) {
        pages_[i]->window().setRect(all);
        pages_[i]->layout(width(all) - own[i].cx, height(all) - own[i].cy);
    }

    item(IDC_PICTURE_FRAME).reshape(0, 0, 0, dy);
    item(IDC_SEPARATOR).reshape(0, dy, dx, 0);
    for (int id : {IDC_BACK, IDOK, IDCANCEL})
        item(id).reshape(dx, dy, 0, 0);
}

bool CInstallDlg::setActivePage(int index)
{
    ar::InstallContext& context = context_;
    if (current_ >= 0) {
        if (!pages_[static_cast<size_t>(current_)]->updateData(true))
            return false;
        pages_[static_cast<size_t>(current_)]->window().show(false);
    }
    index = ar::wizard::targetPage(current_, index, context.advancedMode);
    if (index < 0 || index >= ar::wizard::pageCount)
        index = current_ < 0 ? ar::wizard::startPage : current_;
    if (index != current_)
        pages_[static_cast<size_t>(index)]->updateData(false);
    current_ = index;
    pages_[static_cast<size_t>(index)]->window().show(true);
    updateButtons();

    item(IDC_BACK).enable(ar::wizard::backEnabled(index, context.installSucceeded));
    bool next = ar::wizard::nextEnabled(index);
    item(IDOK).enable(next);
    makeDefault(next ? IDOK : IDCANCEL);
    return true;
}

void CInstallDlg::makeDefault(int id)
{
    window().send(DM_SETDEFID, static_cast<WPARAM>(id));
    window().send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(id).hwnd()), TRUE);
}

void CInstallDlg::updateButtons()
{
    const ar::InstallContext& context = context_;
    std::wstring next = ar::wizard::nextIsInstall(current_, context.installSucceeded)
                            ? ar::loadCaption(IDS_INSTALL)
                            : ar::loadCaption(IDS_NEXT) + L"  >";
    item(IDOK).setText(next);
    item(IDC_BACK).setText(L"<  " + ar::loadCaption(IDS_BACK));
    item(IDCANCEL).setText(ar::loadCaption(context.installSucceeded ? IDS_EXIT : IDS_CANCEL));
}

std::wstring CInstallDlg::aboutMenuText() const
{
    std::wstring format = ar::loadString(IDS_ABOUT);
    if (format.empty())
        return {};
    std::wstring about = ar::formatMessage(format, {ar::loadString(IDS_INSTALLER)});
    return ar::wizard::aboutMenuText(about, ar::isRightToLeft(ar::currentLanguage()));
}

void CInstallDlg::refreshTexts()
{
    window().setText(ar::applicationTitle());
    if (HMENU systemMenu = GetSystemMenu(hwnd(), FALSE)) {
        std::wstring about = aboutMenuText();
        if (!about.empty())
            ModifyMenuW(systemMenu, IDM_ABOUTBOX, MF_BYCOMMAND | MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
    updateButtons();
    for (CWizardPage* page : pages_)
        page->refreshTexts();
}

void CInstallDlg::OnOK()
{
    // Enter reaches here as well; it does nothing while Next is disabled.
    if (!item(IDOK).isEnabled())
        return;
    const ar::InstallContext& context = context_;
    if (current_ != ar::wizard::progressPage || context.installSucceeded)
        setActivePage(current_ + 1);
    else
        install();
}

void CInstallDlg::install()
{
    for (int id : {IDC_BACK, IDOK, IDCANCEL})
        item(id).enable(false);
    // The focus left with the buttons: the log takes it, where a screen reader
    // follows the run.
    window().send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(install_.logEdit.hwnd()), TRUE);
    context_.installAttempted = true;
    ar::RunResult result;
    running_ = true;
    try {
        result = install_.runInstallation();
    } catch (const std::exception& error) {
        // The run reports its own failures; anything that escapes it is a failed run
        // and must not leave the wizard without a working Exit button.
        fw::reportException(error);
    }
    running_ = false;
    outcome_ = result.outcome;
    context_.installSucceeded = result.installed();
    if (!hwnd())
        return;
    setActivePage(ar::wizard::progressPage);
    item(IDCANCEL).enable(true);
}

void CInstallDlg::onStartRun()
{
    if (running_ || context_.installAttempted)
        return;
    // A modal frame shows once its message loop has nothing left to do, which the
    // run would put off to its end.
    window().show(true);
    UpdateWindow(hwnd());
    install();
    if (hwnd())
        endDialog(context_.installSucceeded ? IDOK : IDCANCEL);
}

void CInstallDlg::onBack()
{
    if (item(IDC_BACK).isEnabled() && current_ > 0)
        setActivePage(current_ - 1);
}

void CInstallDlg::OnCancel()
{
    // Escape and the close box arrive here too; nothing leaves during the run.
    if (!item(IDCANCEL).isEnabled())
        return;
    const ar::InstallContext& context = context_;
    if (ar::wizard::exitNeedsConfirmation(context.installState, current_, context.installSucceeded)) {
        int answer =
            fw::showMessage(ar::loadString(IDS_CONFIRM_EXIT), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer != IDYES)
            return;
    }
    endDialog(context.installSucceeded ? IDOK : IDCANCEL);
}

bool CInstallDlg::onSysCommand(UINT command, LPARAM)
{
    if ((command & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    // The box's modal loop would hold the run, which pumps this window's messages.
    if (running_)
        return true;
    CAboutDlg about;
    about.doModal(hwnd());
    return true;
}

void CInstallDlg::onInitMenuPopup(HMENU menu, UINT, bool systemMenu)
{
    if (!systemMenu)
        return;
    bool minimised = IsIconic(hwnd()) != FALSE;
    EnableMenuItem(menu, SC_MINIMIZE, MF_BYCOMMAND | (minimised ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(menu, SC_RESTORE, MF_BYCOMMAND | (minimised ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_ABOUTBOX, MF_BYCOMMAND | (running_ ? MF_GRAYED : MF_ENABLED));
}

bool CInstallDlg::onSetCursor(HWND, UINT hitTest, UINT)
{
    // The pages and their controls ask their parent first, so this covers them all.
    if (!running_ || hitTest != HTCLIENT)
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
}

void CInstallDlg::onGetMinMaxInfo(MINMAXINFO* info)
{
    // A maximised frame keeps its normal size and place.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(hwnd(), &placement))
        return;
    const RECT& normal = placement.rcNormalPosition;
    info->ptMaxSize = {width(normal), height(normal)};
    info->ptMaxPosition = {normal.left, normal.top};
}

void CInstallDlg::loadPicture()
{
    const int scale = ar::wizard::nearestArtScale(fw::dpiOf(hwnd()));
    const int id = scale == 125   ? IDB_WIZARD_125
                   : scale == 150 ? IDB_WIZARD_150
                   : scale == 200 ? IDB_WIZARD_200
                                  : IDB_WIZARD;
    picture_.reset(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    BITMAP bitmap{};
    if (picture_ && GetObjectW(picture_.get(), sizeof(bitmap), &bitmap))
        pictureSize_ = {bitmap.bmWidth, bitmap.bmHeight};
}

void CInstallDlg::drawPicture(HDC dc)
{
    if (!picture_)
        return;
    // Inside the etched frame, with the template's margins.
    RECT area = item(IDC_PICTURE_FRAME).rectInParent();
    RECT margins{6, 3, 3, 4};
    MapDialogRect(hwnd(), &margins);
    area = {area.left + margins.left, area.top + margins.top, area.right - margins.right,
            area.bottom - margins.bottom};
    const RECT shown = ar::wizard::placePicture(pictureSize_, area);
    ar::unique_hdc source(CreateCompatibleDC(dc));
    if (!source)
        return;
    HGDIOBJ old = SelectObject(source.get(), picture_.get());
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, shown.left, shown.top, shown.right - shown.left, shown.bottom - shown.top, source.get(), 0,
               0, pictureSize_.cx, pictureSize_.cy, SRCCOPY);
    RestoreDC(dc, saved);
    SelectObject(source.get(), old);
}

bool CInstallDlg::onPaint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    if (!IsIconic(hwnd())) {
        drawPicture(dc);
        EndPaint(hwnd(), &paint);
        return true;
    }
    window().send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    RECT client = window().clientRect();
    int cx = GetSystemMetrics(SM_CXICON);
    int cy = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (width(client) - cx + 1) / 2, (height(client) - cy + 1) / 2, icon_);
    EndPaint(hwnd(), &paint);
    return true;
}

HICON CInstallDlg::onQueryDragIcon()
{
    return icon_;
}
