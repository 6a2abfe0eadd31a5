#include "app/install_app.h"

#include "app/language.h"
#include "app/product.h"
#include "resources/resource.h"
#include "ui/install_dlg.h"

namespace ar {

std::wstring applicationTitle()
{
    return loadString(IDS_INSTALLER) + L" \u2013 " + product::displayName();
}

} // namespace ar

void CInstallApp::refreshName()
{
    setName(ar::applicationTitle());
}

bool CInstallApp::InitInstance()
{
    fw::App::InitInstance();
    refreshName();
    runWizard();
    // The wizard was the whole application: no message loop follows.
    return false;
}

void CInstallApp::runWizard()
{
    CInstallDlg wizard;
    setMainDialog(&wizard);
    wizard.doModal();
    setMainDialog(nullptr);
}
