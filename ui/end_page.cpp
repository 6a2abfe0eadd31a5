#include "ui/end_page.h"

#include "product/language.h"
#include "resources/resource.h"

CDlgEnd::CDlgEnd(ar::InstallContext& context) : CWizardPage(IDD_END, context)
{
}

void CDlgEnd::DoDataExchange(fw::DataExchange& dx)
{
    if (dx.loading() && installContext().installSucceeded)
        setItemText(IDC_INFO, ar::loadString(IDS_INSTALLATION_COMPLETE));
}

void CDlgEnd::refreshTexts()
{
    setItemText(IDC_INFO, L"");
    setItemText(IDC_STATUS, ar::formatString(IDS_CLICK_EXIT, {ar::loadString(IDS_EXIT)}));
}

void CDlgEnd::layout(int dx, int dy)
{
    item(IDC_INFO).reshape(0, 0, dx, dy);
    item(IDC_STATUS).reshape(0, dy, dx, 0);
}
