// One uninstallation from start to end: the checks (no installer running,
// administrator rights, the product closed), the uninstall log and what may be
// trusted of it, the confirmation, the removal, the report and the uninstaller's
// own removal.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "product/system_checks.h"
#include "engine/log_file.h"
#include "uninstaller/removal.h"
#include "uninstaller/uninstall_options.h"
#include "uninstaller/uninstall_plan.h"

namespace ar {

// The language the uninstaller speaks: the one stored by the installation, else
// the user's among the offered ones.
int uninstallerLanguage();

class Uninstallation {
public:
    // `uninstaller`: the full path of the running uninstaller; its log lies beside it.
    Uninstallation(UninstallOptions options, std::wstring uninstaller);

    // The whole uninstallation, and its one barrier: an error that nothing expected
    // is shown and logged, and ends it refused, or incomplete once removal began.
    UninstallExit run();

private:
    // The uninstall log as read, and the plan made of what may be trusted of it.
    struct UninstallLogRead {
        std::wstring path;
        UninstallPlan plan;
        bool whole = false; // every record was read and trusted
    };

    UninstallExit uninstall();
    // The command line, no installer at work, the rights, no interrupted installation,
    // the product closed: the refusal when one fails.
    std::optional<UninstallExit> check();
    // The refusal when the log cannot be read or is not this installation's.
    std::optional<UninstallExit> readUninstallLog(UninstallLogRead& read);
    // Shows and logs what was removed and what was left; true when nothing was left.
    bool report(const UninstallLogRead& read);
    // Shows (unless silent) and logs why nothing is removed; returns `exit`.
    UninstallExit refuse(const std::wstring& text, UninstallExit exit = UninstallExit::Refused);
    // Shows (unless silent) and logs a message; returns the button chosen.
    int tell(const std::wstring& text, UINT type);
    // Waits, with a Retry/Cancel question, until the product is no longer running.
    bool productClosed(UninstallExit& exit);
    // The product's folders as the registration knows them, and whether the log is
    // the one that the installer wrote (`logBytes` gives the recorded digest).
    ProductFolders productFolders(const std::string& logBytes) const;
    // Carries out the plan's steps; false when the removal had to stop.
    bool removeAll(const UninstallPlan& plan);
    void note(const std::wstring& path, const StepResult& result);
    void removeRegistration(const UninstallPlan& plan);

    UninstallOptions options_;
    std::wstring uninstaller_;
    std::wstring installFolder_;
    LogFile log_;
    InstanceLock lock_;
    std::vector<std::wstring> leftovers_; // what could not be removed, as shown to the user
    bool dataKept_ = false;
    bool removing_ = false; // the removal has begun
};

} // namespace ar
