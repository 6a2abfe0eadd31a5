// The Path page: the installation folder, typed or picked. An update or a
// reinstallation goes into the installed folder, which is then shown read-only.
#pragma once

#include <string>

#include "resources/resource.h"
#include "ui/wizard_page.h"

class CDlgPath : public CWizardPage {
public:
    CDlgPath();

    void refreshTexts() override;
    void layout(int dx, int dy) override;

private:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void onBrowse();

    FW_BEGIN_MESSAGE_MAP(CWizardPage)
    FW_ON_COMMAND(IDC_BROWSE, BN_CLICKED, onBrowse)
    FW_END_MESSAGE_MAP()

    std::wstring folder_;
};
