// The switches of the programs' command lines, "/NAME" and "/NAME=value", told
// apart without regard to case (the installer's and the uninstaller's alike).
#pragma once

#include <optional>
#include <string>

namespace ar {

// Whether `argument` is the switch `name` ("/S").
bool isSwitch(const std::wstring& argument, const wchar_t* name);

// The value of "/NAME=value" when `argument` is that switch (`prefix` is "/NAME=").
std::optional<std::wstring> switchValue(const std::wstring& argument, const wchar_t* prefix);

} // namespace ar
