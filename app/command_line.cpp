#include "app/command_line.h"

#include <windows.h>

#include <cwctype>

#include "product/language.h"
#include "product/product.h"
#include "support/folder_rules.h"
#include "support/switches.h"

namespace ar {
namespace {

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
    // No folder name starts with a blank and a slash: that is the next switch, and
    // /D= takes everything after it.
    if (!folder.empty() && folder.find(L" /") != std::wstring::npos)
        return L"it must be last on the line: everything after it is the folder.";
    switch (folderProblem(folder)) {
    case FolderProblem::None:
        return {};
    case FolderProblem::Empty:
        return L"a folder is needed.";
    case FolderProblem::NotFullPath:
        return L"the folder must be a full path, such as C:\\Apps\\Pelorium 7.";
    case FolderProblem::ForbiddenCharacter:
        return L"the folder holds a character that Windows does not allow in names.";
    case FolderProblem::FileInTheWay:
        return L"a file of that name is in the way.";
    }
    return {};
}

std::wstring menuFolderProblem(const std::wstring& folder)
{
    if (folder.empty())
        return L"a folder is needed.";
    if (hasForbiddenCharacter(folder))
        return L"the folder holds a character that Windows does not allow in names.";
    if (isFullPath(folder))
        return {};
    // Relative to the common Programs folder, and never above it.
    if (folder[0] == L'\\' || folder[0] == L'/')
        return L"the folder must be relative to the Start menu's Programs folder, or a full path.";
    size_t begin = 0;
    while (begin <= folder.size()) {
        size_t end = folder.find_first_of(L"\\/", begin);
        if (end == std::wstring::npos)
            end = folder.size();
        std::wstring element = folder.substr(begin, end - begin);
        if (element == L".." || element == L".")
            return L"the folder cannot leave the Start menu's Programs folder.";
        begin = end + 1;
    }
    return {};
}

namespace {

// Takes one switch (every one but /D=) into `result`; what is wrong with it, or nothing.
std::wstring applySwitch(const std::wstring& token, CommandLine& result)
{
    if (isSwitch(token, L"/S")) {
        result.silent = true;
    } else if (isSwitch(token, L"/PASSIVE")) {
        result.passive = true;
    } else if (isSwitch(token, L"/?") || isSwitch(token, L"/HELP")) {
        result.help = true;
    } else if (isSwitch(token, L"/NOMENU")) {
        result.noMenu = true;
    } else if (isSwitch(token, L"/NODESKTOP")) {
        result.noDesktop = true;
    } else if (auto language = switchValue(token, L"/LANG=")) {
        const std::wstring& text = *language;
        bool digits = !text.empty() && text.size() <= 2;
        // ASCII digits only: iswdigit also takes other scripts' digits, which
        // std::stoi would then refuse with an exception.
        for (wchar_t c : text)
            digits = digits && c >= L'0' && c <= L'9';
        int index = digits ? std::stoi(text) : -1;
        if (!isOfferedLanguage(index))
            return L"/LANG= takes one of the offered language indexes: 0, 1, 2, 3, 4, 5, 7, 14.";
        result.language = index;
    } else if (auto menu = switchValue(token, L"/MENU=")) {
        const std::wstring& folder = *menu;
        if (folder.size() > MAX_PATH)
            return L"The folder of /MENU= is longer than 260 characters.";
        std::wstring problem = menuFolderProblem(folder);
        if (!problem.empty())
            return L"/MENU=: " + problem;
        result.menuFolder = folder;
    } else if (auto log = switchValue(token, L"/LOG=")) {
        if (log->empty())
            return L"/LOG= needs a file name.";
        result.logFile = *log;
    } else {
        return L"Unknown switch: " + token;
    }
    return {};
}

} // namespace

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
        if (auto rest = switchValue(arguments.substr(pos), L"/D=")) {
            std::wstring folder = unquote(trim(*rest));
            if (folder.size() > MAX_PATH)
                return fail(L"The folder of /D= is longer than 260 characters.");
            std::wstring problem = installFolderProblem(folder);
            if (!problem.empty())
                return fail(L"/D=: " + problem);
            result.installFolder = folder;
            break;
        }
        std::wstring problem = applySwitch(nextToken(arguments, pos), result);
        if (!problem.empty())
            return fail(problem);
    }
    if (result.noMenu && result.menuFolder)
        return fail(L"/NOMENU and /MENU= contradict each other.");
    if (result.silent && result.passive)
        return fail(L"/S and /PASSIVE contradict each other.");
    return result;
}

ExitCode runExitCode(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Installed:
        return ExitCode::Installed;
    case RunOutcome::InstalledWithFailures:
        return ExitCode::InstalledWithFailures;
    case RunOutcome::RefusedForSpace:
        return ExitCode::NotEnoughSpace;
    case RunOutcome::RefusedForFilesInUse:
        return ExitCode::FilesInUse;
    case RunOutcome::Failed:
        break;
    }
    return ExitCode::Failed;
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
    // "InstallPelorium7.06.exe", and the second line's switches under the first's.
    const std::wstring program = L"Install" + product::productName(false) + product::versionLabel + L".exe";
    return program + L" [/S | /PASSIVE] [/LANG=<index>] [/NOMENU | /MENU=<folder>] [/NODESKTOP]\r\n" +
           std::wstring(program.size() + 1, L' ') +
           L"[/LOG=<file>] [/D=<folder>]\r\n"
           L"\r\n"
           L"  /S              Silent installation: no window, no question.\r\n"
           L"  /PASSIVE        Only the progress, no question; closes by itself.\r\n"
           L"  /LANG=<index>   Interface language: 0 French, 1 English, 2 German, 3 Spanish,\r\n"
           L"                  4 Portuguese, 5 Dutch, 7 Turkish, 14 Greek.\r\n"
           L"  /NOMENU         No shortcuts in the Start menu.\r\n"
           L"  /MENU=<folder>  Start-menu folder of the shortcuts (relative to the\r\n"
           L"                  Start menu's Programs folder, or a full path).\r\n"
           L"  /NODESKTOP      No shortcut on the desktop.\r\n"
           L"  /LOG=<file>     Write a log of the installation (UTF-8).\r\n"
           L"  /D=<folder>     Installation folder; last on the line, may contain blanks.\r\n"
           L"  /?              This text.\r\n"
           L"\r\n"
           L"Exit codes: 0 installed, 1 cancelled, 3 failed and rolled back, 4 bad command line,\r\n"
           L"            5 installed, with steps that failed (see the log);\r\n"
           L"            refused, nothing written: 6 the product is running, 7 a newer version\r\n"
           L"            is installed, 8 unsupported system, 9 not an administrator,\r\n"
           L"            10 not enough disk space, 11 files in use, 1618 another installation\r\n"
           L"            is running (try again later), 2 any other reason (see the log).\r\n";
}

} // namespace ar
