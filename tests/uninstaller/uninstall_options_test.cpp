#include "uninstaller/uninstall_options.h"

#include <gtest/gtest.h>

namespace {

TEST(UninstallOptions, SwitchesOfAdministrators)
{
    auto options = ar::parseUninstallArguments({L"/s", L"/PURGE", L"/LOG=C:\\my logs\\uninstall.log"});
    EXPECT_TRUE(options.error.empty());
    EXPECT_TRUE(options.silent);
    EXPECT_TRUE(options.purge);
    EXPECT_EQ(options.logFile, std::wstring(L"C:\\my logs\\uninstall.log"));
    EXPECT_FALSE(options.cleanup);

    EXPECT_EQ(ar::parseUninstallArguments({L"/S", L"/X"}).error, L"/X");
    EXPECT_EQ(ar::parseUninstallArguments({L"/LOG="}).error, L"/LOG=");
    EXPECT_EQ(ar::parseUninstallArguments({L"/D=C:\\Apps"}).error, L"/D=C:\\Apps");
    EXPECT_TRUE(ar::parseUninstallArguments({L"/?"}).help);
}

TEST(UninstallOptions, TheCopysSwitchesComeTogether)
{
    auto options = ar::parseUninstallArguments(
        {L"/S", L"/CLEANUP=1234", L"/LEVELS=2", L"/ORIGINAL=C:\\Program Files\\Pelorium 7\\Uninstall.exe"});
    ASSERT_TRUE(options.cleanup);
    EXPECT_EQ(options.cleanup->process, 1234u);
    EXPECT_EQ(options.cleanup->folderLevels, 2);
    EXPECT_EQ(options.cleanup->uninstaller, L"C:\\Program Files\\Pelorium 7\\Uninstall.exe");

    EXPECT_FALSE(ar::parseUninstallArguments({L"/CLEANUP=1234", L"/LEVELS=2"}).error.empty());
    EXPECT_FALSE(
        ar::parseUninstallArguments({L"/CLEANUP=0", L"/LEVELS=1", L"/ORIGINAL=C:\\a.exe"}).error.empty());
    EXPECT_FALSE(
        ar::parseUninstallArguments({L"/CLEANUP=12x", L"/LEVELS=1", L"/ORIGINAL=C:\\a.exe"}).error.empty());
    EXPECT_FALSE(
        ar::parseUninstallArguments({L"/CLEANUP=1", L"/LEVELS=-1", L"/ORIGINAL=C:\\a.exe"}).error.empty());
}

} // namespace
