// The Shortcut page: the Start-menu shortcut with its folder (shown relative to
// the Start menu) and the desktop shortcut.
#pragma once

#include <string>

#include "resources/resource.h"
#include "ui/wizard_page.h"

class CDlgShortcut : public CWizardPage {
public:
    explicit CDlgShortcut(ar::InstallContext& context);

    void refreshTexts() override;
    void layout(int dx, int dy) override;

private:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void onBrowse();
    void updateEnabling();

    FW_BEGIN_MESSAGE_MAP(CWizardPage)
    FW_ON_COMMAND(IDC_BROWSE, BN_CLICKED, onBrowse)
    FW_ON_COMMAND(IDC_MENU_SHORTCUT, BN_CLICKED, updateEnabling)
    FW_END_MESSAGE_MAP()

    int desktop_ = BST_UNCHECKED;
    int menu_ = BST_UNCHECKED;
    std::wstring relative_;
    std::wstring startMenu_;
};
