#include "uninstaller/confirm_dialog.h"

#include "product/language.h"
#include "product/product.h"
#include "resources/resource.h"
#include "support/module_state.h"

CConfirmUninstallDlg::CConfirmUninstallDlg(bool purge)
    : fw::Dialog(IDD_UNINSTALL), purge_(purge ? BST_CHECKED : BST_UNCHECKED)
{
}

bool CConfirmUninstallDlg::OnInitDialog()
{
    window().setText(ar::applicationName());
    item(IDC_UNINSTALL_QUESTION)
        .setText(ar::formatString(IDS_UNINSTALL_QUESTION, {ar::product::displayName()}));
    item(IDC_UNINSTALL_PURGE).setText(ar::loadString(IDS_UNINSTALL_PURGE));
    item(IDOK).setText(ar::loadString(IDS_UNINSTALL_BUTTON));
    item(IDCANCEL).setText(ar::loadString(IDS_UNINSTALL_CANCEL));
    SetForegroundWindow(hwnd());
    return fw::Dialog::OnInitDialog();
}

void CConfirmUninstallDlg::DoDataExchange(fw::DataExchange& dx)
{
    dx.check(IDC_UNINSTALL_PURGE, purge_);
}
