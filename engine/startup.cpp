#include "engine/startup.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "product/language.h"
#include "product/product.h"
#include "log/uninstall_log.h"
#include "resources/resource.h"
#include "support/shell_folders.h"

namespace ar {
namespace {

std::wstring appendPath(std::wstring base, const std::wstring& element)
{
    wchar_t buffer[MAX_PATH] = {};
    lstrcpynW(buffer, base.c_str(), MAX_PATH);
    if (!PathAppendW(buffer, element.c_str()))
        return base;
    return buffer;
}

std::wstring withCompanyAndProduct(const std::wstring& base)
{
    return appendPath(appendPath(base, product::companyName), product::productKey());
}

std::optional<std::wstring> logBeside(const std::wstring& file)
{
    wchar_t buffer[MAX_PATH] = {};
    lstrcpynW(buffer, file.c_str(), MAX_PATH);
    if (!PathRemoveFileSpecW(buffer) || !PathAppendW(buffer, UninstallLog::fileName))
        return std::nullopt;
    if (!PathFileExistsW(buffer))
        return std::nullopt;
    return std::wstring(buffer);
}

} // namespace

std::optional<int> storedLanguage()
{
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    if (SHGetValueW(HKEY_LOCAL_MACHINE, product::uninstallKeyPath().c_str(), L"ArLanguage", nullptr, &value,
                    &bytes) != ERROR_SUCCESS ||
        bytes != sizeof(value))
        return std::nullopt;
    return static_cast<int>(value);
}

int chooseStartingLanguage(int fromUser, std::optional<int> stored)
{
    int language = fromUser;
    if (stored && isOfferedLanguage(*stored))
        language = *stored;
    if (!hasInstallerTexts(language))
        language = english;
    return language;
}

std::optional<std::wstring> registeredUninstaller()
{
    wchar_t buffer[MAX_PATH] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (SHGetValueW(HKEY_LOCAL_MACHINE, product::uninstallKeyPath().c_str(), L"UninstallString", &type,
                    buffer, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return std::wstring(buffer);
}

std::optional<std::wstring> findEarlierLog(const std::optional<std::wstring>& uninstallString,
                                           const std::wstring& mainProgram)
{
    if (uninstallString)
        if (auto log = logBeside(*uninstallString))
            return log;
    if (!mainProgram.empty())
        return logBeside(mainProgram);
    return std::nullopt;
}

std::wstring defaultInstallFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, buffer)) ||
        !buffer[0]) {
        DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
        buffer[0] = 0;
        if (SHGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion",
                        L"ProgramFilesDir", nullptr, buffer, &bytes) != ERROR_SUCCESS ||
            !buffer[0]) {
            if (!GetSystemWindowsDirectoryW(buffer, MAX_PATH))
                GetWindowsDirectoryW(buffer, MAX_PATH);
            PathStripToRootW(buffer);
            PathAppendW(buffer, L"Program Files");
        }
    }
    return withCompanyAndProduct(buffer);
}

// The Programs folder of all users' Start menu, else the user's own.
std::wstring programsFolder()
{
    return allUsersElseOwnFolder(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS);
}

std::wstring defaultShortcutFolder()
{
    return withCompanyAndProduct(programsFolder());
}

std::wstring startMenuRoot()
{
    return allUsersElseOwnFolder(CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU);
}

std::wstring resolveMenuFolder(const std::wstring& folder)
{
    if (!PathIsRelativeW(folder.c_str()))
        return folder;
    wchar_t buffer[MAX_PATH] = {};
    if (!PathCombineW(buffer, programsFolder().c_str(), folder.c_str()))
        return folder;
    return buffer;
}

std::wstring applicationTitle()
{
    return loadString(IDS_INSTALLER) + L" \u2013 " + product::displayName();
}

} // namespace ar
