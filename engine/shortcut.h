// Shell shortcuts (.lnk) to the installed programs.
#pragma once

#include <string>

namespace ar {

// Makes "<folder>\<name>.lnk" starting `target` in the target's own folder. Without
// a name, the target's file name without its last extension is used. On success
// returns true and, when asked, the link's path.
bool create_shortcut(const std::wstring& target, const std::wstring& folder,
                     const std::wstring* name = nullptr, std::wstring* linkPath = nullptr);

// "<folder>\<name>.lnk", the link that create_shortcut makes; empty when it does not fit.
std::wstring shortcutLinkPath(const std::wstring& folder, const std::wstring& name);

} // namespace ar
