// The Path page: the installation folder, typed or picked, with the space it takes
// and the space free on its volume. An update or a reinstallation goes into the
// installed folder, which is then shown read-only.
#pragma once

#include <string>

#include "resources/resource.h"
#include "ui/wizard_page.h"

class CDlgPath : public CWizardPage {
public:
    explicit CDlgPath(ar::InstallContext& context);

    void refreshTexts() override;
    void layout(int dx, int dy) override;

private:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void onBrowse();
    void onFolderChanged();

    FW_BEGIN_MESSAGE_MAP(CWizardPage)
    FW_ON_COMMAND(IDC_BROWSE, BN_CLICKED, onBrowse)
    FW_ON_COMMAND(IDC_FOLDER, EN_CHANGE, onFolderChanged)
    FW_END_MESSAGE_MAP()

    std::wstring folder_;
};
