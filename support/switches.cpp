#include "support/switches.h"

#include <cwchar>
#include <cstring>

#include <windows.h>
#include <shellapi.h>

#include "support/handles.h"

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

std::wstring programOfCommand(const std::wstring& command)
{
    std::size_t begin = command.find_first_not_of(L' ');
    if (begin == std::wstring::npos)
        return {};
    if (command[begin] == L'"') {
        std::size_t end = command.find(L'"', begin + 1);
        return end == std::wstring::npos ? std::wstring() : command.substr(begin + 1, end - begin - 1);
    }
    auto isProgram = [](const std::wstring& part) {
        return part.size() > 4 && _wcsicmp(part.c_str() + part.size() - 4, L".exe") == 0;
    };
    for (std::size_t blank = command.find(L' ', begin); blank != std::wstring::npos;
         blank = command.find(L' ', blank + 1)) {
        std::wstring part = command.substr(begin, blank - begin);
        if (isProgram(part))
            return part;
    }
    std::wstring whole = command.substr(begin, command.find_last_not_of(L' ') + 1 - begin);
    return isProgram(whole) ? whole : std::wstring();
}

std::vector<std::wstring> processArgumentList()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    const unique_hlocal list(CommandLineToArgvW(GetCommandLineW(), &count));
    const auto* elements = static_cast<wchar_t* const*>(list.get());
    for (int i = 1; elements && i < count; ++i)
        arguments.emplace_back(elements[i]);
    return arguments;
}

} // namespace ar
