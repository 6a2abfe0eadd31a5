#include "ui/shortcut_page.h"

#include <shlobj.h>

#include "product/language.h"
#include "product/product.h"
#include "engine/startup.h"
#include "framework/window.h"
#include "ui/folder_picker.h"

CDlgShortcut::CDlgShortcut(ar::InstallContext& context) : CWizardPage(IDD_SHORTCUT, context)
{
}

bool CDlgShortcut::OnInitDialog()
{
    startMenu_ = ar::startMenuRoot();
    CWizardPage::OnInitDialog();
    updateEnabling();
    return true;
}

void CDlgShortcut::DoDataExchange(fw::DataExchange& dx)
{
    ar::InstallContext& context = installContext();
    if (dx.loading()) {
        desktop_ = context.createDesktopShortcut ? BST_CHECKED : BST_UNCHECKED;
        menu_ = context.createMenuShortcut ? BST_CHECKED : BST_UNCHECKED;
        relative_ = ar::relativeFolder(startMenu_, context.shortcutFolder);
    }
    dx.check(IDC_DESKTOP_SHORTCUT, desktop_);
    dx.check(IDC_MENU_SHORTCUT, menu_);
    dx.text(IDC_FOLDER, relative_);
    dx.maxChars(IDC_FOLDER, relative_, ar::maxPathChars);
    if (!dx.saving() || dx.failed())
        return;
    std::wstring folder = ar::combineFolder(startMenu_, relative_);
    // A combination that does not fit is refused like a text that does not.
    if (folder.empty() && !relative_.empty()) {
        dx.fail(IDC_FOLDER, fw::maxCharsMessage(ar::maxPathChars));
        return;
    }
    context.createDesktopShortcut = desktop_ == BST_CHECKED;
    context.createMenuShortcut = menu_ == BST_CHECKED;
    context.shortcutFolder = folder;
}

void CDlgShortcut::updateEnabling()
{
    bool menu = fw::Button(item(IDC_MENU_SHORTCUT).hwnd()).checkState() == BST_CHECKED;
    item(IDC_FOLDER).enable(menu);
    item(IDC_BROWSE).enable(menu);
}

void CDlgShortcut::refreshTexts()
{
    setItemText(IDC_MENU_GROUP, ar::loadString(IDS_START_MENU));
    setItemText(IDC_MENU_SHORTCUT, ar::loadCaption(IDS_MENU_SHORTCUT));
    setItemText(IDC_FOLDER_LABEL, ar::loadString(IDS_START_MENU));
    setItemText(IDC_BROWSE, ar::loadCaption(IDS_BROWSE));
    setItemText(IDC_DESKTOP_SHORTCUT, ar::loadCaption(IDS_DESKTOP_SHORTCUT));
    setItemText(IDC_STATUS, ar::formatString(IDS_CLICK_CONTINUE, {ar::loadString(IDS_NEXT)}));
}

void CDlgShortcut::onBrowse()
{
    updateData(true);
    ar::InstallContext& context = installContext();
    ar::StartMenuPick picked = ar::pickStartMenuFolder(context.shortcutFolder, ar::product::productKey(),
                                                       ar::loadString(IDS_MENU_SHORTCUT));
    if (!picked.path.empty()) {
        relative_ = picked.relative;
        context.shortcutFolder = picked.path;
        updateData(false);
    }
}

void CDlgShortcut::layout(int dx, int dy)
{
    for (int id : {IDC_MENU_GROUP, IDC_MENU_SHORTCUT, IDC_FOLDER, IDC_DESKTOP_SHORTCUT})
        item(id).reshape(0, 0, dx, 0);
    item(IDC_BROWSE).reshape(dx, 0, 0, 0);
    item(IDC_STATUS).reshape(0, dy, dx, 0);
}
