#include "ui/install_page.h"

#include "framework/accessibility.h"
#include "product/language.h"
#include "product/product.h"
#include "resources/resource.h"

namespace ar {

std::wstring quotedPath(const std::wstring& path)
{
    if (path.find(L' ') == std::wstring::npos)
        return path;
    return L'"' + path + L'"';
}

std::wstring ruleLine(const std::wstring& text, int available, int textWidth, int dashWidth)
{
    if (dashWidth <= 0)
        return text;
    if (!text.empty())
        available -= textWidth;
    int n = available / dashWidth;
    if (n < 0)
        n = 0;
    if (text.empty())
        return std::wstring(static_cast<size_t>(n), L'-');
    return std::wstring(static_cast<size_t>(n / 2), L'-') + text +
           std::wstring(static_cast<size_t>((n + 1) / 2), L'-');
}

} // namespace ar

CDlgInstall::CDlgInstall(ar::InstallContext& context, ar::InstallationRun& run)
    : CWizardPage(IDD_PROGRESS, context), run_(run)
{
}

bool CDlgInstall::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    progressBar.setRange(0, 100);
    progressBar.show(false);
    // The log is read with the keyboard, which must be able to leave it again.
    fw::leaveDialogKeysToDialog(logEdit.hwnd());
    // The bar reads its hidden label's name and how far the run is.
    HWND bar = progressBar.hwnd();
    fw::annotateAccessible(bar, {[bar] { return fw::labelOf(bar); },
                                 [this] { return std::to_wstring(progressBar.position()) + L"%"; }});
    return true;
}

void CDlgInstall::DoDataExchange(fw::DataExchange& dx)
{
    dx.control(IDC_LOG, logEdit);
    dx.control(IDC_PROGRESS, progressBar);
    if (dx.loading() && !installContext().installSucceeded)
        writeSummary();
}

void CDlgInstall::writeSummary()
{
    const ar::InstallContext& context = installContext();
    logEdit.setText(L"");
    appendLogLine(ar::formatString(IDS_PRODUCT_INSTALLATION, {ar::product::displayName()}) + L"\r\n");
    appendLogLine(ar::loadString(IDS_INSTALLATION_OPTIONS), true);
    appendLogLine(ar::formatString(IDS_OPTION_FOLDER, {ar::quotedPath(context.installFolder)}) + L"\r\n");
    if (context.createMenuShortcut)
        appendLogLine(ar::formatString(IDS_OPTION_MENU_SHORTCUT, {ar::quotedPath(context.shortcutFolder)}) +
                      L"\r\n");
    if (context.createDesktopShortcut)
        appendLogLine(ar::loadString(IDS_OPTION_DESKTOP_SHORTCUT) + L"\r\n");
    // Back to the first line; bounded in case the control stops scrolling.
    for (int lines = logEdit.lineCount(); logEdit.firstVisibleLine() != 0 && lines > 0; --lines)
        logEdit.scrollLines(-1);
}

void CDlgInstall::appendLogLine(const std::wstring& text, bool ruled)
{
    std::wstring line = text;
    if (text.empty() || ruled) {
        RECT client = logEdit.clientRect();
        auto [left, right] = logEdit.margins();
        int available = (client.right - client.left) - 2 - left - right;
        std::wstring padded = text.empty() ? std::wstring() : L" " + text + L" ";
        const fw::TextMeasure measure(logEdit.hwnd(), window().font());
        line = ar::ruleLine(padded, available, measure.width(padded), measure.width(L"-")) + L"\r\n";
    }
    logEdit.send(EM_SETSEL, 0x7FFFFFFF, -1);
    logEdit.replaceSelection(line);
    logEdit.scrollLines(1);
}

void CDlgInstall::refreshTexts()
{
    setItemText(IDC_LOG_LABEL, ar::loadString(IDS_LOG_NAME));
    setItemText(IDC_PROGRESS_LABEL, ar::loadString(IDS_PROGRESS_NAME));
    setItemText(IDC_STATUS, ar::formatString(IDS_CLICK_START, {ar::loadString(IDS_INSTALL)}));
}

void CDlgInstall::layout(int dx, int dy)
{
    logEdit.reshape(0, 0, dx, dy);
    progressBar.reshape(0, dy, dx, 0);
    item(IDC_STATUS).reshape(0, dy, dx, 0);
}
