#include "engine/uninstall_registration.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>

#include "product/product.h"
#include "log/run_recorder.h"
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
    if (RegGetValueW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), name,
                     RRF_RT_ANY | RRF_NOEXPAND, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS)
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
        for (auto& record : log.records())
            if (!record.backupPath.empty())
                DeleteFileW(record.backupPath.c_str());
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str());
    }
    ar::RunRecorder log;
};

TEST_F(UninstallRegistrationTest, WritesTheTwelveValuesWithTypesAndSizes)
{
    ar::UninstallRegistration registration{L"C:\\Program Files\\Ardenvale\\Pelorium 7\\Pelorium.exe",
                                           L"C:\\Program Files\\Ardenvale\\Pelorium 7\\Uninstall.exe", 1,
                                           L"C:\\Program Files\\Ardenvale\\Pelorium 7", 0};
    ASSERT_TRUE(ar::writeUninstallRegistration(registration, log));

    Value name = readValue(L"DisplayName");
    EXPECT_EQ(name.type, DWORD(REG_SZ));
    EXPECT_EQ(name.bytes.size(), (13u + 1u) * 2u);
    EXPECT_EQ(text(name), L"Pelorium 7.06");
    // Quoted: unquoted, the system would start "C:\Program.exe" if there were one.
    EXPECT_EQ(text(readValue(L"UninstallString")),
              L"\"C:\\Program Files\\Ardenvale\\Pelorium 7\\Uninstall.exe\"");
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
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records().back().recordKind, ar::RecordKind::UninstallKey);
    EXPECT_TRUE(log.records().back().succeeded);
    EXPECT_TRUE(log.records().back().backupPath.empty());
    EXPECT_FALSE(log.pending());
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
    ar::UninstallRegistration registration{L"C:\\Apps\\Pelorium.exe", L"C:\\Apps\\Uninstall.exe", 2,
                                           L"C:\\Apps", 0};
    ASSERT_TRUE(ar::writeUninstallRegistration(registration, log));
    EXPECT_EQ(text(readValue(L"DisplayName")), L"Pelorium 7.06");
    EXPECT_EQ(text(readValue(L"Comments")), L"old");
    // Quoted without blanks too.
    EXPECT_EQ(text(readValue(L"UninstallString")), L"\"C:\\Apps\\Uninstall.exe\"");
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_FALSE(log.records().back().backupPath.empty());
    EXPECT_TRUE(ar::test::exists(log.records().back().backupPath));
}

TEST_F(UninstallRegistrationTest, AddsTheValuesForAdministratorsAfterTheTwelve)
{
    ar::test::TempDir folder(L"reg");
    ar::test::writeFile(folder / L"Pelorium.exe", std::string(3000, 'p'));
    ar::test::writeFile(folder / L"Uninstall.exe", std::string(1000, 'u'));
    ar::UninstallLogRecord file;
    file.recordKind = ar::RecordKind::InstalledFile;
    file.path = folder / L"Pelorium.exe";
    file.succeeded = true;
    const ar::LogRecords run{file};
    // The earlier installation's record of the same file counts once, whatever its case.
    ar::LogRecords earlier;
    file.path = folder / L"PELORIUM.EXE";
    earlier.push_back(file);
    file.path = folder / L"Uninstall.exe";
    earlier.push_back(file);
    EXPECT_EQ(ar::installedSize(earlier, run), 4000u);

    SYSTEMTIME before{}, after{};
    GetLocalTime(&before);
    ar::UninstallRegistration registration{folder / L"Pelorium.exe",
                                           L"C:\\Program Files\\Ardenvale\\Uninstall.exe", 1, folder.path(),
                                           ar::installedSize(earlier, run)};
    ASSERT_TRUE(ar::writeUninstallRegistration(registration, log));
    GetLocalTime(&after);

    // The twelve and the four, nothing else (Wine enumerates values by name, so the
    // order of writing cannot be read back here).
    std::vector<std::wstring> names;
    {
        ar::unique_hkey key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), 0, KEY_READ,
                                key.put()),
                  ERROR_SUCCESS);
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.push_back(name);
        }
    }
    std::vector<std::wstring> expected{
        L"DisplayName",  L"UninstallString", L"DisplayIcon",          L"DisplayVersion",  L"Publisher",
        L"URLInfoAbout", L"HelpLink",        L"URLUpdateInfo",        L"HelpTelephone",   L"NoModify",
        L"NoRepair",     L"ArLanguage",      L"QuietUninstallString", L"InstallLocation", L"EstimatedSize",
        L"InstallDate"};
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);

    // Quoted as "UninstallString" is, with or without blanks.
    Value quiet = readValue(L"QuietUninstallString");
    EXPECT_EQ(quiet.type, DWORD(REG_SZ));
    EXPECT_EQ(text(quiet), L"\"C:\\Program Files\\Ardenvale\\Uninstall.exe\" /S");
    EXPECT_EQ(text(readValue(L"InstallLocation")), folder.path());
    Value size = readValue(L"EstimatedSize");
    EXPECT_EQ(size.type, DWORD(REG_DWORD));
    ASSERT_EQ(size.bytes.size(), 4u);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(size.bytes.data()), 4u); // 4000 bytes, rounded up
    std::wstring date = text(readValue(L"InstallDate"));
    EXPECT_TRUE(date == ar::installDateText(before) || date == ar::installDateText(after))
        << ar::test::narrow(date);
    EXPECT_EQ(ar::quietUninstallCommand(L"C:\\Apps\\Uninstall.exe"), L"\"C:\\Apps\\Uninstall.exe\" /S");
}

TEST(UninstallRegistrationValues, SizeInKilobytesAndDate)
{
    EXPECT_EQ(ar::estimatedSizeKilobytes(0), 0u);
    EXPECT_EQ(ar::estimatedSizeKilobytes(1), 1u);
    EXPECT_EQ(ar::estimatedSizeKilobytes(2048), 2u);
    EXPECT_EQ(ar::estimatedSizeKilobytes(std::uint64_t(1) << 50), 0xFFFFFFFFu);
    SYSTEMTIME date{};
    date.wYear = 2026;
    date.wMonth = 3;
    date.wDay = 7;
    EXPECT_EQ(ar::installDateText(date), L"20260307");
}

} // namespace
