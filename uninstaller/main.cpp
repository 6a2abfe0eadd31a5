// Uninstall.exe: removes what the product's uninstall log says was installed.
// Static initialisation restricts where DLLs come from, has the system follow no
// junction that a non-administrator made and checks the system, as the installer
// does; the uninstaller registers with the running-product counter only when it
// checks whether the product runs, and its copy in the protected set-up folder never does.
#include <windows.h>

#include "product/system_checks.h"
#include "support/switches.h"
#include "support/system_library.h"
#include "engine/log_file.h"
#include "support/module_state.h"
#include "uninstaller/self_removal.h"
#include "uninstaller/uninstallation.h"
#include "product/language.h"

namespace {

struct BeforeTheUninstaller {
    BeforeTheUninstaller()
    {
        ar::restrictDllSearch();
        ar::enforceRedirectionTrust();
        ar::checkSystemVersion();
        ar::checkRuntimeLocale();
    }
};

BeforeTheUninstaller beforeTheUninstaller __attribute__((init_priority(101)));

std::wstring modulePath()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    // The log names files by their long names.
    wchar_t longPath[MAX_PATH] = {};
    length = GetLongPathNameW(path, longPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? longPath : path;
}

// No folder of the installation may be this process's current folder: it could
// not be removed while it is.
void leaveInstallationFolders()
{
    wchar_t temporary[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
    if (length > 0 && length <= MAX_PATH)
        SetCurrentDirectoryW(temporary);
}

int uninstallerMain()
{
    leaveInstallationFolders();
    ar::UninstallOptions options = ar::parseUninstallArguments(ar::processArgumentList());
    if (options.cleanup && options.error.empty()) {
        ar::LogFile log;
        if (options.logFile)
            log.open(*options.logFile);
        ar::setLanguage(ar::uninstallerLanguage());
        ar::finishSelfRemoval(*options.cleanup, log);
        return static_cast<int>(ar::UninstallExit::Removed);
    }
    return static_cast<int>(ar::Uninstallation(std::move(options), modulePath()).run());
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // The uninstallation has a barrier of its own that reports; whatever escapes
    // before or after it (the command line, the clean-up of the copy) is a refusal.
    try {
        return uninstallerMain();
    } catch (...) {
        return static_cast<int>(ar::UninstallExit::Refused);
    }
}
