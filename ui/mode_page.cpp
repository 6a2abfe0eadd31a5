#include "ui/mode_page.h"

#include "product/language.h"
#include "resources/resource.h"

CDlgMode::CDlgMode(ar::InstallContext& context) : CWizardPage(IDD_MODE, context)
{
}

void CDlgMode::DoDataExchange(fw::DataExchange& dx)
{
    ar::InstallContext& context = installContext();
    if (dx.loading())
        choice_ = context.advancedMode ? 1 : 0;
    dx.radio(IDC_MODE_QUICK, choice_);
    if (dx.saving())
        context.advancedMode = choice_ == 1;
}

void CDlgMode::refreshTexts()
{
    setItemText(IDC_MODE_GROUP, ar::loadString(IDS_INSTALLATION_METHOD));
    setItemText(IDC_MODE_QUICK, ar::loadCaption(IDS_QUICK_INSTALLATION));
    setItemText(IDC_MODE_ADVANCED, ar::loadCaption(IDS_ADVANCED_INSTALLATION));
    setItemText(IDC_STATUS, ar::formatString(IDS_CLICK_CONTINUE, {ar::loadString(IDS_NEXT)}));
}

void CDlgMode::layout(int dx, int dy)
{
    for (int id : {IDC_MODE_GROUP, IDC_MODE_QUICK, IDC_MODE_ADVANCED})
        item(id).reshape(0, 0, dx, 0);
    item(IDC_STATUS).reshape(0, dy, dx, 0);
}
