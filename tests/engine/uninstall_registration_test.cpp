#include "engine/uninstall_registration.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include "app/product.h"
#include "log/uninstall_log.h"
#include "support/handles.h"
#include "tests/support/test_support.h"

namespace {

struct Value {
    DWORD type = 0;
    std::vector<BYTE> bytes;
};

Value readValue(const wchar_t* name)
{
    Value value;
    value.bytes.resize(1024);
    DWORD size = static_cast<DWORD>(value.bytes.size());
    if (RegGetValueW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), name, RRF_RT_ANY | RRF_NOEXPAND,
                     &value.type, value.bytes.data(), &size) != ERROR_SUCCESS)
        return {};
    value.bytes.resize(size);
    return value;
}

std::wstring text(const Value& value)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(value.bytes.data()), value.bytes.size() / 2 - 1);
}

class UninstallRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str()); }
    void TearDown() override
    {
        for (auto& record : log.records)
            if (!record.backupPath.empty())
                DeleteFileW(record.backupPath.c_str());
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str());
    }
    ar::UninstallLog log;
};

TEST_F(UninstallRegistrationTest, WritesTheTwelveValuesWithTypesAndSizes)
{
    ar::UninstallRegistration registration{L"C:\\Program Files\\Ardenvale\\Pelorium 7\\Pelorium.exe",
                                           L"C:\\Program Files\\Ardenvale\\Pelorium 7\\Uninstall.exe", 1};
    ASSERT_TRUE(ar::writeUninstallRegistration(registration, log));

    Value name = readValue(L"DisplayName");
    EXPECT_EQ(name.type, DWORD(REG_SZ));
    EXPECT_EQ(name.bytes.size(), (13u + 1u) * 2u);
    EXPECT_EQ(text(name), L"Pelorium 7.06");
    EXPECT_EQ(text(readValue(L"UninstallString")), registration.uninstallerPath);
    EXPECT_EQ(text(readValue(L"DisplayIcon")), L"C:\\Program Files\\Ardenvale\\Pelorium 7\\Pelorium.exe,0");
    EXPECT_EQ(text(readValue(L"DisplayVersion")), L"7.6.0.4");
    EXPECT_EQ(text(readValue(L"Publisher")), L"Ardenvale");
    EXPECT_EQ(text(readValue(L"URLInfoAbout")), ar::publisherWebAddress);
    EXPECT_EQ(text(readValue(L"HelpLink")), ar::publisherWebAddress);
    EXPECT_EQ(text(readValue(L"URLUpdateInfo")), ar::publisherWebAddress);
    EXPECT_EQ(text(readValue(L"HelpTelephone")), ar::supportTelephone);
    for (const wchar_t* dword : {L"NoModify", L"NoRepair"}) {
        Value value = readValue(dword);
        EXPECT_EQ(value.type, DWORD(REG_DWORD));
        ASSERT_EQ(value.bytes.size(), 4u);
        EXPECT_EQ(value.bytes[0], 1);
    }
    Value language = readValue(L"ArLanguage");
    EXPECT_EQ(language.type, DWORD(REG_DWORD));
    ASSERT_EQ(language.bytes.size(), 4u);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(language.bytes.data()), 1u);

    // A new key is recorded without a backup and committed.
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records.back().recordKind, ar::RecordKind::UninstallKey);
    EXPECT_TRUE(log.records.back().succeeded);
    EXPECT_TRUE(log.records.back().backupPath.empty());
    EXPECT_FALSE(log.pending);
}

TEST_F(UninstallRegistrationTest, ExistingKeyIsSavedAndKeepsForeignValues)
{
    {
        ar::unique_hkey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const wchar_t old[] = L"old";
        RegSetValueExW(key.get(), L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(old), sizeof(old));
        RegSetValueExW(key.get(), L"Comments", 0, REG_SZ, reinterpret_cast<const BYTE*>(old), sizeof(old));
    }
    ar::UninstallRegistration registration{L"C:\\Apps\\Pelorium.exe", L"C:\\Apps\\Uninstall.exe", 2};
    ASSERT_TRUE(ar::writeUninstallRegistration(registration, log));
    EXPECT_EQ(text(readValue(L"DisplayName")), L"Pelorium 7.06");
    EXPECT_EQ(text(readValue(L"Comments")), L"old");
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_FALSE(log.records.back().backupPath.empty());
    EXPECT_TRUE(ar::test::exists(log.records.back().backupPath));
}

} // namespace
