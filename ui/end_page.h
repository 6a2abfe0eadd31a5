// The End page: the result of a successful installation and how to leave.
#pragma once

#include "ui/wizard_page.h"

class CDlgEnd : public CWizardPage {
public:
    explicit CDlgEnd(ar::InstallContext& context);

    void refreshTexts() override;
    void layout(int dx, int dy) override;

private:
    void DoDataExchange(fw::DataExchange& dx) override;
};
