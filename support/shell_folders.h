// The shell's folders as the installer uses them: all users' where there is one.
#pragma once

#include <string>

namespace ar {

// The shell's folder `csidl` (CSIDL_COMMON_APPDATA ...); empty when it knows none.
std::wstring shellFolder(int csidl);

// The folder `commonCsidl` (all users' Programs, Start menu, desktop ...), else the
// current user's `userCsidl`; empty when the shell knows neither.
std::wstring allUsersElseOwnFolder(int commonCsidl, int userCsidl);

} // namespace ar
