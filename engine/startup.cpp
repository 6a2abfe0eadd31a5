#include "engine/startup.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "log/log_digest.h"
#include "product/language.h"
#include "product/product.h"
#include "product/product_record.h"
#include "log/earlier_log.h"
#include "support/handles.h"
#include "resources/resource.h"
#include "support/path_rules.h"
#include "support/shell_folders.h"
#include "support/switches.h"

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
    if (!PathRemoveFileSpecW(buffer) || !PathAppendW(buffer, uninstallLogFileName))
        return std::nullopt;
    if (!PathFileExistsW(buffer))
        return std::nullopt;
    return std::wstring(buffer);
}

bool pathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::wstring registeredInstallFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (SHGetValueW(HKEY_LOCAL_MACHINE, product::uninstallKeyPath().c_str(), L"InstallLocation", &type,
                    buffer, &bytes) == ERROR_SUCCESS &&
        type == REG_SZ && buffer[0])
        return buffer;
    const std::wstring program = readProductRecord().mainProgram;
    lstrcpynW(buffer, program.c_str(), MAX_PATH);
    if (program.empty() || !PathRemoveFileSpecW(buffer))
        return {};
    return buffer;
}

ProductFolders registeredProductFolders(const std::wstring& installFolder, const std::string& logBytes)
{
    ProductFolders folders;
    const InstallationLogRecord recorded = readInstallationLog();
    folders.logVerified = !recorded.digest.empty() && logDigest(logBytes) == recorded.digest;
    // The folders come from the registration, never from the log.
    const std::wstring registered = registeredInstallFolder();
    if (!registered.empty() && samePlainPath(registered, installFolder))
        folders.installFolder = installFolder;
    folders.shortcutFolder = recorded.menuRecorded ? recorded.menuFolder : defaultShortcutFolder();
    folders.dataFolders = companyDataFolders();
    for (int csidl : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY}) {
        std::wstring desktop = shellFolder(csidl);
        if (!desktop.empty())
            folders.desktopFolders.push_back(desktop);
    }
    return folders;
}

EarlierLog readEarlierLog(const std::wstring& file, const std::wstring& installFolder)
{
    // Held without write sharing while it is read: what is read is what was checked.
    unique_hfile held(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!held || !readWholeFile(file, bytes))
        return {};
    const EarlierLog log = EarlierLog::read(file);
    if (log.installPath().empty() || installFolder.empty() || !samePlainPath(log.installPath(), installFolder))
        return {}; // another installation's log
    const ProductFolders folders = registeredProductFolders(installFolder, bytes);
    const std::size_t readable = recordsFromWholeLines(logShape(bytes), log.records().size());
    const std::size_t trusted = trustedRecordCount(log.records(), readable, folders, pathExists);
    const InstallationLogRecord recorded = readInstallationLog();
    if (recorded.menuRecorded && !recorded.menuFolder.empty())
        return log.trusted(trusted, recorded.menuFolder);
    return log.trusted(trusted, folders.logVerified ? log.shortcutPath() : std::wstring());
}

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
    // The value is quoted, or unquoted as earlier versions wrote it.
    const std::wstring uninstaller = uninstallString ? programOfCommand(*uninstallString) : std::wstring();
    if (!uninstaller.empty())
        if (auto log = logBeside(uninstaller))
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
