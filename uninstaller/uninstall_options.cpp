#include "uninstaller/uninstall_options.h"

#include <windows.h>
#include <shellapi.h>

#include <cwctype>

#include "support/switches.h"

namespace ar {
namespace {

std::optional<unsigned long long> decimal(const std::wstring& text)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    unsigned long long value = 0;
    for (wchar_t c : text) {
        if (!iswdigit(c))
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    return value;
}

} // namespace

UninstallOptions parseUninstallArguments(const std::vector<std::wstring>& arguments)
{
    UninstallOptions options;
    CleanupRequest cleanup;
    bool cleanupGiven = false, levelsGiven = false, originalGiven = false, imageGiven = false;
    for (const std::wstring& argument : arguments) {
        if (isSwitch(argument, L"/S")) {
            options.silent = true;
        } else if (isSwitch(argument, L"/PURGE")) {
            options.purge = true;
        } else if (isSwitch(argument, L"/?") || isSwitch(argument, L"/HELP")) {
            options.help = true;
        } else if (auto file = switchValue(argument, L"/LOG=")) {
            if (file->empty()) {
                options.error = argument;
                return options;
            }
            options.logFile = *file;
        } else if (auto handle = switchValue(argument, L"/CLEANUP=")) {
            auto value = decimal(*handle);
            if (!value || *value == 0) {
                options.error = argument;
                return options;
            }
            cleanup.process = static_cast<std::uintptr_t>(*value);
            cleanupGiven = true;
        } else if (auto levels = switchValue(argument, L"/LEVELS=")) {
            auto value = decimal(*levels);
            if (!value || *value > 64) {
                options.error = argument;
                return options;
            }
            cleanup.folderLevels = static_cast<int>(*value);
            levelsGiven = true;
        } else if (auto image = switchValue(argument, L"/SELF=")) {
            auto value = decimal(*image);
            if (!value || *value == 0) {
                options.error = argument;
                return options;
            }
            cleanup.image = static_cast<std::uintptr_t>(*value);
            imageGiven = true;
        } else if (auto original = switchValue(argument, L"/ORIGINAL=")) {
            cleanup.uninstaller = *original;
            originalGiven = !original->empty();
        } else {
            options.error = argument;
            return options;
        }
    }
    if (cleanupGiven || levelsGiven || originalGiven || imageGiven) {
        if (!(cleanupGiven && levelsGiven && originalGiven)) {
            options.error = L"/CLEANUP=";
            return options;
        }
        options.cleanup = cleanup;
    }
    return options;
}

std::wstring uninstallUsageText()
{
    return L"Uninstall.exe [/S] [/PURGE] [/LOG=<file>]\r\n\r\n"
           L"/S\tsilent: no window and no message box\r\n"
           L"/PURGE\talso remove the data files (libraries and image)\r\n"
           L"/LOG=<file>\twrite what is done to <file> (UTF-8)\r\n\r\n"
           L"Exit codes: 0 removed, 1 cancelled, "
           L"3 finished with items that could not be removed (listed in the log), 4 bad command line;\r\n"
           L"refused, nothing removed: 6 the product is running, 8 unsupported system, "
           L"9 not an administrator, 1618 an installation is running (try again later), "
           L"2 any other reason (see the log).";
}

} // namespace ar
