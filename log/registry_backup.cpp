#include "log/registry_backup.h"

#include "product/product.h"
#include "log/file_placement.h"
#include "log/security_functions.h"
#include "support/handles.h"

#include <shlwapi.h>

#include <vector>

namespace ar {

namespace {

constexpr wchar_t backupPrivilege[] = L"SeBackupPrivilege";
constexpr wchar_t restorePrivilege[] = L"SeRestorePrivilege";

SecurityFunction<decltype(&::OpenProcessToken)> openProcessToken("OpenProcessToken");
SecurityFunction<decltype(&::LookupPrivilegeValueW)> lookupPrivilegeValue("LookupPrivilegeValueW");
SecurityFunction<decltype(&::AdjustTokenPrivileges)> adjustTokenPrivileges("AdjustTokenPrivileges");

// Privileges switched on for as long as the object lives.
class PrivilegeScope {
public:
    explicit PrivilegeScope(std::initializer_list<const wchar_t*> names) : names_(names.begin(), names.end())
    {
        for (const wchar_t* name : names_)
            setPrivilege(name, true);
    }
    ~PrivilegeScope()
    {
        for (const wchar_t* name : names_)
            setPrivilege(name, false);
    }
    PrivilegeScope(const PrivilegeScope&) = delete;
    PrivilegeScope& operator=(const PrivilegeScope&) = delete;

private:
    std::vector<const wchar_t*> names_;
};

// Replaces the content of `target` by the tree saved in `hiveFile`. The hive is
// loaded under a temporary key of HKEY_LOCAL_MACHINE and copied over, because
// restoring a hive in place is not available everywhere. The key is changed only
// once the hive has loaded. False when the saved tree may not be in place.
bool restoreFromHive(HKEY target, const std::wstring& hiveFile)
{
    std::wstring loadName =
        L"ArRestore" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount64());
    if (RegLoadKeyW(HKEY_LOCAL_MACHINE, loadName.c_str(), hiveFile.c_str()) != ERROR_SUCCESS)
        return false;
    bool restored = false;
    {
        unique_hkey loaded;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, loadName.c_str(), 0, KEY_READ, loaded.put()) == ERROR_SUCCESS) {
            LONG emptied = RegDeleteTreeW(target, nullptr);
            restored = (emptied == ERROR_SUCCESS || emptied == ERROR_FILE_NOT_FOUND) &&
                       RegCopyTreeW(loaded.get(), nullptr, target) == ERROR_SUCCESS;
        }
    }
    RegUnLoadKeyW(HKEY_LOCAL_MACHINE, loadName.c_str());
    return restored;
}
} // namespace

bool setPrivilege(const wchar_t* name, bool enable)
{
    unique_handle token;
    if (FAILED(openProcessToken.call(GetCurrentProcess(), DWORD(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY),
                                     token.put())))
        return false;
    LUID luid;
    if (FAILED(lookupPrivilegeValue.call(static_cast<LPCWSTR>(nullptr), name, &luid)))
        return false;

    TOKEN_PRIVILEGES query{};
    query.PrivilegeCount = 1;
    query.Privileges[0].Luid = luid;
    query.Privileges[0].Attributes = 0;
    TOKEN_PRIVILEGES previous{};
    DWORD previousSize = sizeof previous;
    if (FAILED(adjustTokenPrivileges.call(token.get(), FALSE, &query, DWORD(sizeof previous), &previous,
                                          &previousSize)))
        return false;

    previous.PrivilegeCount = 1;
    previous.Privileges[0].Luid = luid;
    if (enable)
        previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    else
        previous.Privileges[0].Attributes &= ~DWORD(SE_PRIVILEGE_ENABLED);
    return SUCCEEDED(adjustTokenPrivileges.call(token.get(), FALSE, &previous, DWORD(0),
                                                static_cast<PTOKEN_PRIVILEGES>(nullptr),
                                                static_cast<PDWORD>(nullptr)));
}

bool saveKeyToHive(HKEY key, const std::wstring& hiveFile)
{
    PrivilegeScope privileges{backupPrivilege};
    if (RegSaveKeyW(key, hiveFile.c_str(), nullptr) == ERROR_SUCCESS)
        return true;
    deleteFile(hiveFile);
    return false;
}

bool restoreUninstallKey(const UninstallLogRecord& record, const std::wstring& keyName)
{
    // A key that existed but could not be saved is the earlier installation's
    // registration: leave it rather than delete it.
    if (record.backupPath.empty() && record.existedBefore)
        return true;

    PrivilegeScope privileges{backupPrivilege, restorePrivilege};
    unique_hkey parent;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, product::uninstallParentKey, 0, KEY_ALL_ACCESS, parent.put()) !=
        ERROR_SUCCESS)
        return false;
    if (record.backupPath.empty()) {
        LONG error = SHDeleteKeyW(parent.get(), keyName.c_str());
        return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
    }
    bool restored = false;
    {
        // The run may have removed the key meanwhile: it is made again for the copy.
        unique_hkey key;
        if (RegCreateKeyExW(parent.get(), keyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, key.put(), nullptr) == ERROR_SUCCESS)
            restored = restoreFromHive(key.get(), record.backupPath);
    }
    // A hive that could not be put back is the only copy of the earlier key: it stays.
    if (!restored)
        return false;
    deleteFile(record.backupPath);
    // Loading a hive may leave transaction logs beside it.
    for (const wchar_t* suffix : {L".LOG", L".LOG1", L".LOG2"})
        deleteFile(record.backupPath + suffix);
    return true;
}

bool restoreKeyFromHive(const std::wstring& path, const std::wstring& hiveFile)
{
    PrivilegeScope privileges{backupPrivilege, restorePrivilege};
    unique_hkey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    return restoreFromHive(key.get(), hiveFile);
}

} // namespace ar
