// The switches of the programs' command lines, "/NAME" and "/NAME=value", told
// apart without regard to case (the installer's and the uninstaller's alike), and
// the program that a registered command line starts.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ar {

// Whether `argument` is the switch `name` ("/S").
bool isSwitch(const std::wstring& argument, const wchar_t* name);

// The value of "/NAME=value" when `argument` is that switch (`prefix` is "/NAME=").
std::optional<std::wstring> switchValue(const std::wstring& argument, const wchar_t* prefix);

// This process's arguments after the program's name, as Windows splits them.
std::vector<std::wstring> processArgumentList();

// The program that a command line starts, as Windows reads it: the quoted first
// element, else the first part up to a blank, or the whole line, that ends in ".exe";
// empty when there is none. Reads the quoted "UninstallString" and the unquoted one
// of earlier versions alike.
std::wstring programOfCommand(const std::wstring& command);

} // namespace ar
