// The uninstall key saved before the run writes it, and restored or removed on rollback.
#include "log/registry_backup.h"

#include "product/product.h"
#include "log/run_recorder.h"
#include "support/handles.h"
#include "tests/log/log_test_support.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <map>

namespace ar::test {
namespace {

// A key beside the product's own uninstall key, used by these tests only.
const std::wstring testKeyName = product::productKey() + L" (journal test)";

std::wstring keyPath(const std::wstring& name)
{
    return std::wstring(product::uninstallParentKey) + L"\\" + name;
}

unique_hkey createKey(const std::wstring& name, DWORD* disposition = nullptr)
{
    unique_hkey key;
    DWORD ignored;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), disposition ? disposition : &ignored),
              ERROR_SUCCESS);
    return key;
}

bool keyExists(const std::wstring& name)
{
    unique_hkey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath(name).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void setText(HKEY key, const wchar_t* name, const std::wstring& value)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Every value of a key (sub-keys as "Sub\name"), as text.
std::map<std::wstring, std::wstring> contents(const std::wstring& path, const std::wstring& prefix = L"")
{
    std::map<std::wstring, std::wstring> result;
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return result;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0;
        BYTE data[512] = {};
        DWORD size = sizeof data - 2;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        result[prefix + name] = reinterpret_cast<const wchar_t*>(data);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        result[prefix + name + L"\\"] = L"";
        for (auto& entry : contents(path + L"\\" + name, prefix + name + L"\\"))
            result.insert(entry);
    }
    return result;
}

bool privilegeEnabled(const wchar_t* name)
{
    unique_handle token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
    LUID luid;
    LookupPrivilegeValueW(nullptr, name, &luid);
    BYTE buffer[4096];
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenPrivileges, buffer, sizeof buffer, &size))
        return false;
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer);
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart)
            return entry.Attributes & SE_PRIVILEGE_ENABLED;
    }
    return false;
}

class RegistryBackup : public JournalTest {
protected:
    void SetUp() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath(testKeyName).c_str()); }
    void TearDown() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath(testKeyName).c_str()); }
};

TEST_F(RegistryBackup, FirstInstallationRolledBackRemovesTheKey)
{
    DWORD disposition = 0;
    unique_hkey key = createKey(testKeyName, &disposition);
    ASSERT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RunRecorder log;
    log.recordUninstallKey(nullptr);
    setText(key.get(), L"DisplayName", L"Pelorium 7.06");
    createKey(testKeyName + L"\\Sub");
    log.commit(true);
    key.reset();

    restoreUninstallKey(log.records().back(), testKeyName);
    EXPECT_FALSE(keyExists(testKeyName));
}

TEST_F(RegistryBackup, UpdateRolledBackRestoresExactlyTheEarlierValues)
{
    unique_hkey key = createKey(testKeyName);
    setText(key.get(), L"DisplayName", L"Pelorium 7.05");
    setText(key.get(), L"Untouched", L"kept by the earlier version");
    unique_hkey sub = createKey(testKeyName + L"\\Earlier");
    setText(sub.get(), L"Inner", L"value");
    sub.reset();
    auto before = contents(keyPath(testKeyName));

    RunRecorder log;
    log.recordUninstallKey(key.get());
    ASSERT_FALSE(log.records().back().backupPath.empty());
    EXPECT_EQ(tempFiles().size(), 1u);
    EXPECT_FALSE(privilegeEnabled(L"SeBackupPrivilege"));
    setText(key.get(), L"DisplayName", L"Pelorium 7.06");
    setText(key.get(), L"Added", L"by the run");
    log.commit(true);
    key.reset();

    restoreUninstallKey(log.records().back(), testKeyName);
    EXPECT_EQ(contents(keyPath(testKeyName)), before);
    EXPECT_TRUE(tempFiles().empty());
    EXPECT_FALSE(privilegeEnabled(L"SeBackupPrivilege"));
    EXPECT_FALSE(privilegeEnabled(L"SeRestorePrivilege"));
}

TEST_F(RegistryBackup, KeyThatCouldNotBeSavedIsNotDeleted)
{
    unique_hkey key = createKey(testKeyName);
    setText(key.get(), L"DisplayName", L"Pelorium 7.05");
    RunRecorder log;
    {
        TempFolderOverride longTemp(L"C:\\" + std::wstring(250, L't') + L"\\");
        log.recordUninstallKey(key.get());
    }
    EXPECT_TRUE(log.records().back().backupPath.empty());
    log.commit(true);
    key.reset();
    restoreUninstallKey(log.records().back(), testKeyName);
    EXPECT_EQ(contents(keyPath(testKeyName)).at(L"DisplayName"), L"Pelorium 7.05");
}

TEST_F(RegistryBackup, FailedSaveLeavesNoFileAndSwitchesThePrivilegeOff)
{
    unique_hkey key = createKey(testKeyName);
    EXPECT_FALSE(saveKeyToHive(key.get(), dir / L"no such folder\\hive"));
    EXPECT_FALSE(privilegeEnabled(L"SeBackupPrivilege"));
    EXPECT_FALSE(exists(dir / L"no such folder\\hive"));
    EXPECT_TRUE(saveKeyToHive(key.get(), dir / L"hive"));
    EXPECT_TRUE(exists(dir / L"hive"));
    EXPECT_FALSE(privilegeEnabled(L"SeBackupPrivilege"));
    EXPECT_FALSE(setPrivilege(L"SeNoSuchPrivilege", true));
}

TEST_F(RegistryBackup, SuccessfulRunLeavesNoHiveFile)
{
    unique_hkey key = createKey(testKeyName);
    setText(key.get(), L"DisplayName", L"Pelorium 7.05");
    RunRecorder log;
    log.recordUninstallKey(key.get());
    log.commit(true);
    ASSERT_EQ(tempFiles().size(), 1u);
    EXPECT_TRUE(log.writeLog(dir / L"Uninstall.ulog", dir.path(), dir.path()));
    EXPECT_TRUE(tempFiles().empty());
    EXPECT_EQ(log.records().back().path, L"HKEY_LOCAL_MACHINE\\" + product::uninstallKeyPath());
}

TEST_F(RegistryBackup, HiveThatCannotBePutBackStaysAndTheKeyIsUntouched)
{
    unique_hkey key = createKey(testKeyName);
    setText(key.get(), L"DisplayName", L"Pelorium 7.05");
    RunRecorder log;
    log.recordUninstallKey(key.get());
    const std::wstring hive = log.records().back().backupPath;
    ASSERT_FALSE(hive.empty());
    setText(key.get(), L"DisplayName", L"Pelorium 7.06");
    log.commit(true);
    key.reset();
    // A damaged saved key does not load: nothing may be emptied for it.
    writeFile(hive, "not a hive");

    EXPECT_FALSE(restoreUninstallKey(log.records().back(), testKeyName));
    EXPECT_EQ(readFile(hive), "not a hive");
    EXPECT_EQ(contents(keyPath(testKeyName))[L"DisplayName"], L"Pelorium 7.06");
}

// Through rollback, on the product's own key: whatever the key held before the
// test, it holds again afterwards.
TEST_F(RegistryBackup, RollbackRestoresTheProductKey)
{
    DWORD disposition = 0;
    unique_hkey key = createKey(product::productKey(), &disposition);
    bool created = disposition == REG_CREATED_NEW_KEY;
    setText(key.get(), L"ArJournalTest", L"before");
    auto before = contents(product::uninstallKeyPath());

    RunRecorder log;
    log.recordUninstallKey(key.get());
    setText(key.get(), L"ArJournalTest", L"during");
    setText(key.get(), L"ArJournalTestAdded", L"during");
    log.commit(true);
    key.reset();
    log.rollback();
    EXPECT_EQ(contents(product::uninstallKeyPath()), before);

    if (created) {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, product::uninstallKeyPath().c_str());
    } else {
        unique_hkey again = createKey(product::productKey());
        RegDeleteValueW(again.get(), L"ArJournalTest");
    }
}

} // namespace
} // namespace ar::test
