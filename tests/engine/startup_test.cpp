#include "engine/startup.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "product/language.h"
#include "product/product.h"
#include "support/handles.h"
#include "tests/support/test_support.h"

namespace {

TEST(StartingLanguageChoice, StoredIndexOnlyWhenOffered)
{
    EXPECT_EQ(ar::chooseStartingLanguage(2, std::nullopt), 2);
    EXPECT_EQ(ar::chooseStartingLanguage(2, 11), 2); // Italian is not offered
    EXPECT_EQ(ar::chooseStartingLanguage(2, 5), 1);  // Dutch has no texts: English
    EXPECT_EQ(ar::chooseStartingLanguage(2, 3), 3);
    EXPECT_EQ(ar::chooseStartingLanguage(14, std::nullopt), 1);
    EXPECT_EQ(ar::chooseStartingLanguage(1, -4), 1);
    EXPECT_EQ(ar::chooseStartingLanguage(1, 40), 1);
}

class StoredLanguageTest : public ::testing::Test {
protected:
    void SetUp() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str()); }
    void TearDown() override { SHDeleteKeyW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str()); }
    void store(DWORD type, const void* data, DWORD size)
    {
        ar::unique_hkey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key.get(), L"ArLanguage", 0, type, static_cast<const BYTE*>(data), size);
    }
};

TEST_F(StoredLanguageTest, ReadsAnyFourByteValue)
{
    EXPECT_FALSE(ar::storedLanguage());
    DWORD german = 2;
    store(REG_DWORD, &german, 4);
    EXPECT_EQ(ar::storedLanguage(), 2);
    // The type is not checked, the size is.
    store(REG_BINARY, &german, 4);
    EXPECT_EQ(ar::storedLanguage(), 2);
    store(REG_BINARY, &german, 2);
    EXPECT_FALSE(ar::storedLanguage());
}

TEST(EarlierLog, BesideUninstallerThenBesideProgram)
{
    ar::test::TempDir dir;
    CreateDirectoryW((dir / L"A").c_str(), nullptr);
    CreateDirectoryW((dir / L"B").c_str(), nullptr);
    CreateDirectoryW((dir / L"My Apps").c_str(), nullptr);
    ar::test::writeFile(dir / L"B\\Uninstall.ulog", "x");
    ar::test::writeFile(dir / L"My Apps\\Uninstall.ulog", "x");

    EXPECT_EQ(ar::findEarlierLog(dir / L"A\\Uninstall.exe", dir / L"B\\Pelorium.exe"),
              dir / L"B\\Uninstall.ulog");
    EXPECT_EQ(ar::findEarlierLog(dir / L"B\\Uninstall.exe", L""), dir / L"B\\Uninstall.ulog");
    // The value is quoted, or unquoted as earlier versions wrote it; a folder with a blank either way.
    const std::wstring blank = dir / L"My Apps\\Uninstall.exe";
    for (const std::wstring& registered : {L'"' + blank + L'"', L'"' + blank + L"\" /S", blank})
        EXPECT_EQ(ar::findEarlierLog(registered, L""), dir / L"My Apps\\Uninstall.ulog")
            << ar::test::narrow(registered);
    EXPECT_FALSE(ar::findEarlierLog(dir / L"A\\Uninstall.exe", L""));
    EXPECT_FALSE(ar::findEarlierLog(std::nullopt, dir / L"A\\Pelorium.exe"));
}

TEST(DefaultFolders, ProgramFilesAndCommonPrograms)
{
    EXPECT_EQ(ar::defaultInstallFolder(), ar::test::programFiles + L"\\Ardenvale\\Pelorium 7");
    wchar_t programs[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs)));
    EXPECT_EQ(ar::defaultShortcutFolder(), std::wstring(programs) + L"\\Ardenvale\\Pelorium 7");
}

TEST(MenuFolder, RelativeToTheCommonProgramsOrFull)
{
    wchar_t programs[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs)));
    EXPECT_EQ(ar::resolveMenuFolder(L"Ardenvale\\Tools"), std::wstring(programs) + L"\\Ardenvale\\Tools");
    EXPECT_EQ(ar::resolveMenuFolder(L"D:\\Menu"), L"D:\\Menu");
}

TEST(ApplicationTitle, FollowsTheLanguage)
{
    ar::setLanguage(ar::english);
    EXPECT_EQ(ar::applicationTitle(), L"Installer \u2013 Pelorium 7.06");
    ar::setLanguage(2);
    EXPECT_EQ(ar::applicationTitle(), ar::loadString(1000) + L" \u2013 Pelorium 7.06");
    EXPECT_NE(ar::loadString(1000), L"Installer");
    ar::setLanguage(ar::english);
}

} // namespace
