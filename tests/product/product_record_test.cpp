#include "product/product_record.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include "support/handles.h"

namespace {

class ProductRecordTest : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }
    static void clean()
    {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Ardenvale");
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, ar::appPathsKeyPath(L"Pelorium.exe").c_str());
    }
};

TEST_F(ProductRecordTest, RecordsReadsAndRemoves)
{
    EXPECT_FALSE(ar::readProductRecord().installed);
    ASSERT_EQ(ar::recordProduct(L"C:\\Apps\\Pelorium 7\\Pelorium.exe"), ERROR_SUCCESS);
    ar::InstalledProduct product = ar::readProductRecord();
    EXPECT_TRUE(product.installed);
    EXPECT_EQ(product.mainProgram, L"C:\\Apps\\Pelorium 7\\Pelorium.exe");

    wchar_t path[MAX_PATH] = {};
    DWORD bytes = sizeof(path);
    ASSERT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, ar::appPathsKeyPath(L"Pelorium.exe").c_str(), L"Path", nullptr,
                          path, &bytes),
              ERROR_SUCCESS);
    EXPECT_STREQ(path, L"C:\\Apps\\Pelorium 7");

    ar::removeProductRecord();
    EXPECT_FALSE(ar::readProductRecord().installed);
    ar::unique_hkey key;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, ar::appPathsKeyPath(L"Pelorium.exe").c_str(), 0, KEY_READ,
                            key.put()),
              ERROR_SUCCESS);
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ardenvale", 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
}

TEST_F(ProductRecordTest, KeyWithoutProgramIsInstalledWithEmptyPath)
{
    ar::unique_hkey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ar::productRecordKeyPath().c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ar::InstalledProduct product = ar::readProductRecord();
    EXPECT_TRUE(product.installed);
    EXPECT_TRUE(product.mainProgram.empty());
}

TEST_F(ProductRecordTest, FailureReportsTheErrorAndLeavesNoRecord)
{
    // A volatile company key cannot hold the product's non-volatile key.
    ar::unique_hkey company;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ardenvale", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, company.put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(ar::recordProduct(L"C:\\Apps\\Pelorium.exe"), ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_FALSE(ar::readProductRecord().installed);
}

TEST_F(ProductRecordTest, FailureAfterTheRecordTakesBackTheRecordAndTheCompanyKey)
{
    // A key name longer than the registry allows: the App Paths entry fails after
    // the product's record was written.
    const std::wstring program = L"C:\\Apps\\" + std::wstring(300, L'p') + L".exe";
    EXPECT_NE(ar::recordProduct(program), ERROR_SUCCESS);
    ar::unique_hkey key;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ardenvale", 0, KEY_READ, key.put()),
              ERROR_SUCCESS);

    // An earlier record comes back as it was.
    ASSERT_EQ(ar::recordProduct(L"C:\\Apps\\Pelorium.exe"), ERROR_SUCCESS);
    EXPECT_NE(ar::recordProduct(program), ERROR_SUCCESS);
    EXPECT_EQ(ar::readProductRecord().mainProgram, L"C:\\Apps\\Pelorium.exe");
}

} // namespace
