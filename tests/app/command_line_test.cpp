#include "app/command_line.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

TEST(CommandLine, SilentWithFolderContainingBlanks)
{
    auto line = ar::parseCommandLine(L"/S /LANG=2 /NODESKTOP /D=C:\\Program Files\\My Apps\\Pelorium 7");
    EXPECT_TRUE(line.error.empty()) << ar::parseCommandLine(L"").error.size();
    EXPECT_TRUE(line.silent);
    EXPECT_EQ(line.language, 2);
    EXPECT_TRUE(line.noDesktop);
    EXPECT_FALSE(line.noMenu);
    EXPECT_EQ(line.installFolder, L"C:\\Program Files\\My Apps\\Pelorium 7");
}

TEST(CommandLine, QuotedValuesAndCaseInsensitiveSwitches)
{
    auto line =
        ar::parseCommandLine(L"/s \"/LOG=C:\\logs\\install log.txt\" /menu=\"Ardenvale\\Pelorium 7\"");
    ASSERT_TRUE(line.error.empty()) << std::string(line.error.begin(), line.error.end());
    EXPECT_TRUE(line.silent);
    EXPECT_EQ(line.logFile, L"C:\\logs\\install log.txt");
    EXPECT_EQ(line.menuFolder, L"Ardenvale\\Pelorium 7");
    EXPECT_TRUE(ar::parseCommandLine(L"").error.empty());
    EXPECT_TRUE(ar::parseCommandLine(L"/?").help);
    auto passive = ar::parseCommandLine(L"/passive /NOMENU");
    EXPECT_TRUE(passive.passive && !passive.silent && passive.noMenu);
}

TEST(CommandLine, MalformedLinesAreRefusedWithAReason)
{
    for (const wchar_t* bad : {L"/X", L"/LANG=11", L"/LANG=x", L"/LANG=", L"/LANG=999", L"/D=", L"/LOG=",
                               L"/MENU=", L"/NOMENU /MENU=A", L"/S /PASSIVE", L"/PASSIVES", L"S", L"/S /D=",
                               L"/LANG=\x0663", L"/LANG=\xFF11"}) {
        EXPECT_FALSE(ar::parseCommandLine(bad).error.empty()) << std::string(bad, bad + wcslen(bad)).c_str();
    }
    // An installation folder must be a full path that Windows can create, last on the line.
    for (const wchar_t* bad : {L"/D=C:\\Apps /S", L"/D=Apps", L"/D=\\Apps", L"/D=C:Apps", L"/D=C:\\A<b",
                               L"/D=C:\\a:b", L"/D=C:\\a?"}) {
        EXPECT_FALSE(ar::parseCommandLine(bad).error.empty()) << std::string(bad, bad + wcslen(bad)).c_str();
    }
    EXPECT_TRUE(ar::parseCommandLine(L"/D=\\\\server\\share\\Pelorium 7").error.empty());
    ar::test::TempDir dir(L"cmd");
    ar::test::writeFile(dir / L"taken", "a file");
    EXPECT_FALSE(ar::parseCommandLine(L"/D=" + (dir / L"taken")).error.empty());
    EXPECT_TRUE(ar::parseCommandLine(L"/D=" + (dir / L"new folder")).error.empty());
    // A Start-menu folder stays below the common Programs folder unless it is a full path.
    for (const wchar_t* bad : {L"/MENU=..\\Desktop", L"/MENU=A\\..\\..\\B", L"/MENU=.\\A", L"/MENU=\\A",
                               L"/MENU=A|B", L"/MENU=C:A"}) {
        EXPECT_FALSE(ar::parseCommandLine(bad).error.empty()) << std::string(bad, bad + wcslen(bad)).c_str();
    }
    EXPECT_TRUE(ar::parseCommandLine(L"/MENU=D:\\Menu\\..\\Other").error.empty());
    std::wstring longFolder = L"/D=C:\\" + std::wstring(300, L'x');
    EXPECT_FALSE(ar::parseCommandLine(longFolder).error.empty());
}

} // namespace
