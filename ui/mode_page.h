// The Mode page: quick installation (skips the folder and shortcut pages) or
// advanced installation.
#pragma once

#include "ui/wizard_page.h"

class CDlgMode : public CWizardPage {
public:
    explicit CDlgMode(ar::InstallContext& context);

    void refreshTexts() override;
    void layout(int dx, int dy) override;

private:
    void DoDataExchange(fw::DataExchange& dx) override;

    int choice_ = -1; // 0 quick, 1 advanced, -1 none
};
