// The one record the whole installer shares: start-up fills it, the wizard pages
// show and edit it, the installation run reads it.
#pragma once

#include <string>
#include <vector>

#include "product/system_checks.h"
#include "product/version_info.h"
#include "log/earlier_log.h"
#include "payload/archive.h"

namespace ar {

struct InstallContext {
    InstallState installState = InstallState::None;
    std::wstring installedVersionText;  // only for Update and NewerInstalled
    InstanceLock instanceLock;          // created with the context, not yet owned
    std::wstring installFolder;         // at most 260 characters
    std::wstring shortcutFolder;        // full path of the Start-menu folder
    bool createMenuShortcut = false;
    bool createDesktopShortcut = false;
    bool advancedMode = false;
    EarlierLog earlierLog;              // the uninstall log of the installation being updated
    bool installAttempted = false;      // the run was started (and then succeeded or rolled back)
    bool installSucceeded = false;
    std::vector<PayloadEntry> payloadEntries; // the payload's files (destinations as stored)
};

} // namespace ar
