#include "support/switches.h"

#include <cwchar>
#include <cstring>

#include <windows.h>

namespace ar {

bool isSwitch(const std::wstring& argument, const wchar_t* name)
{
    return _wcsicmp(argument.c_str(), name) == 0;
}

std::optional<std::wstring> switchValue(const std::wstring& argument, const wchar_t* prefix)
{
    std::size_t n = wcslen(prefix);
    if (argument.size() < n || _wcsnicmp(argument.c_str(), prefix, n) != 0)
        return std::nullopt;
    return argument.substr(n);
}

} // namespace ar
