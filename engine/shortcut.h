// Shell shortcuts (.lnk) to the installed programs.
#pragma once

#include <string>

namespace ar {

// "<folder>\<name>.lnk", or empty when it does not fit in MAX_PATH.
std::wstring shortcutLinkPath(const std::wstring& folder, const std::wstring& name);

// Makes "<folder>\<name>.lnk" starting `target` in the target's own folder. Without
// a name, the target's file name without its last extension is used. On success
// returns true and, when asked, the link's path.
bool create_shortcut(const std::wstring& target, const std::wstring& folder,
                     const std::wstring* name = nullptr, std::wstring* linkPath = nullptr);

} // namespace ar
