#include "app/command_line.h"

#include <windows.h>

#include <cwctype>

#include "app/language.h"

namespace ar {
namespace {

bool startsWithSwitch(const std::wstring& token, const wchar_t* name)
{
    size_t n = wcslen(name);
    return token.size() >= n && _wcsnicmp(token.c_str(), name, n) == 0;
}

std::wstring trim(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return {};
    size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

// One token: up to the next blank outside double quotes; the quotes are removed.
std::wstring nextToken(const std::wstring& line, size_t& pos)
{
    std::wstring token;
    bool quoted = false;
    for (; pos < line.size(); ++pos) {
        wchar_t c = line[pos];
        if (c == L'"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == L' ' || c == L'\t'))
            break;
        token += c;
    }
    return token;
}

std::wstring unquote(std::wstring text)
{
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        text = text.substr(1, text.size() - 2);
    return text;
}

} // namespace

std::wstring installFolderProblem(const std::wstring& folder)
{
    if (folder.empty())
        return L"a folder is needed.";
    // No folder name starts with a blank and a slash: that is the next switch, and
    // /D= takes everything after it.
    if (folder.find(L" /") != std::wstring::npos)
        return L"it must be last on the line: everything after it is the folder.";
    auto isSeparator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    bool drive = folder.size() >= 3 &&
                 ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z')) &&
                 folder[1] == L':' && isSeparator(folder[2]);
    bool unc =
        folder.size() >= 3 && isSeparator(folder[0]) && isSeparator(folder[1]) && !isSeparator(folder[2]);
    if (!drive && !unc)
        return L"the folder must be a full path, such as C:\\Apps\\Pelorium 7.";
    for (size_t i = 0; i < folder.size(); ++i) {
        wchar_t c = folder[i];
        if (c < 32 || wcschr(L"<>\"|?*", c) || (c == L':' && !(drive && i == 1)))
            return L"the folder holds a character that Windows does not allow in names.";
    }
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return L"a file of that name is in the way.";
    return {};
}

CommandLine parseCommandLine(const std::wstring& arguments)
{
    CommandLine result;
    auto fail = [&](const std::wstring& why) {
        result.error = why;
        return result;
    };
    size_t pos = 0;
    while (pos < arguments.size()) {
        while (pos < arguments.size() && (arguments[pos] == L' ' || arguments[pos] == L'\t'))
            ++pos;
        if (pos >= arguments.size())
            break;
        // "/D=" takes the rest of the line as it stands.
        if (startsWithSwitch(arguments.substr(pos), L"/D=")) {
            std::wstring folder = unquote(trim(arguments.substr(pos + 3)));
            if (folder.size() > MAX_PATH)
                return fail(L"The folder of /D= is longer than 260 characters.");
            std::wstring problem = installFolderProblem(folder);
            if (!problem.empty())
                return fail(L"/D=: " + problem);
            result.installFolder = folder;
            break;
        }
        std::wstring token = nextToken(arguments, pos);
        auto value = [&](const wchar_t* name) { return token.substr(wcslen(name)); };
        if (_wcsicmp(token.c_str(), L"/S") == 0) {
            result.silent = true;
        } else if (token == L"/?" || _wcsicmp(token.c_str(), L"/HELP") == 0) {
            result.help = true;
        } else if (_wcsicmp(token.c_str(), L"/NOMENU") == 0) {
            result.noMenu = true;
        } else if (_wcsicmp(token.c_str(), L"/NODESKTOP") == 0) {
            result.noDesktop = true;
        } else if (startsWithSwitch(token, L"/LANG=")) {
            std::wstring text = value(L"/LANG=");
            bool digits = !text.empty() && text.size() <= 2;
            // ASCII digits only: iswdigit also takes other scripts' digits, which
            // std::stoi would then refuse with an exception.
            for (wchar_t c : text)
                digits = digits && c >= L'0' && c <= L'9';
            int index = digits ? std::stoi(text) : -1;
            if (!isOfferedLanguage(index))
                return fail(L"/LANG= takes one of the offered language indexes: 0, 1, 2, 3, 4, 5, 7, 14.");
            result.language = index;
        } else if (startsWithSwitch(token, L"/MENU=")) {
            std::wstring folder = value(L"/MENU=");
            if (folder.empty())
                return fail(L"/MENU= needs a folder.");
            if (folder.size() > MAX_PATH)
                return fail(L"The folder of /MENU= is longer than 260 characters.");
            result.menuFolder = folder;
        } else if (startsWithSwitch(token, L"/LOG=")) {
            std::wstring file = value(L"/LOG=");
            if (file.empty())
                return fail(L"/LOG= needs a file name.");
            result.logFile = file;
        } else {
            return fail(L"Unknown switch: " + token);
        }
    }
    if (result.noMenu && result.menuFolder)
        return fail(L"/NOMENU and /MENU= contradict each other.");
    return result;
}

std::wstring processArguments()
{
    const wchar_t* line = GetCommandLineW();
    // Skip the program name, quoted or not.
    bool quoted = false;
    while (*line && (quoted || (*line != L' ' && *line != L'\t'))) {
        if (*line == L'"')
            quoted = !quoted;
        ++line;
    }
    return line;
}

std::wstring usageText()
{
    return L"InstallPelorium7.06.exe [/S] [/LANG=<index>] [/NOMENU | /MENU=<folder>] [/NODESKTOP]\r\n"
           L"                        [/LOG=<file>] [/D=<folder>]\r\n"
           L"\r\n"
           L"  /S              Silent installation: no window, no question.\r\n"
           L"  /LANG=<index>   Interface language: 0 French, 1 English, 2 German, 3 Spanish,\r\n"
           L"                  4 Portuguese, 5 Dutch, 7 Turkish, 14 Greek.\r\n"
           L"  /NOMENU         No shortcuts in the Start menu.\r\n"
           L"  /MENU=<folder>  Start-menu folder of the shortcuts (relative to the Start menu, or full).\r\n"
           L"  /NODESKTOP      No shortcut on the desktop.\r\n"
           L"  /LOG=<file>     Write a log of the installation (UTF-8).\r\n"
           L"  /D=<folder>     Installation folder; last on the line, may contain blanks.\r\n"
           L"  /?              This text.\r\n"
           L"\r\n"
           L"Exit codes: 0 installed, 1 cancelled, 2 refused (nothing written),\r\n"
           L"            3 failed and rolled back, 4 bad command line.\r\n";
}

} // namespace ar
