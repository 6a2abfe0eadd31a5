// The installer's application object: it owns the installation context that the
// wizard pages and the installation run share.
#pragma once

#include <stdexcept>
#include <string>

#include "app/install_context.h"
#include "framework/app.h"

class CInstallApp : public fw::App {
public:
    CInstallApp() = default;

    bool InitInstance() override;

    // Sets the application name (the caption of message boxes and the wizard's
    // title) from the current language: string 1000, " – ", "Pelorium 7.06".
    void refreshName();

    ar::InstallContext context;

protected:
    // Shows the wizard modally as the application's main window.
    void runWizard();
};

namespace ar {

// The application's name in the current language ("Installer – Pelorium 7.06").
std::wstring applicationTitle();

// The context of the running installer application.
inline InstallContext& installContext()
{
    auto* app = static_cast<CInstallApp*>(fw::App::current());
    if (!app)
        throw std::logic_error("the installer application object does not exist");
    return app->context;
}

} // namespace ar
