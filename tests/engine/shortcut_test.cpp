#include "engine/shortcut.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include "tests/support/test_support.h"

namespace {

TEST(CreateShortcut, DerivesNameAndWorkingFolder)
{
    ar::test::TempDir dir;
    std::wstring link;
    ASSERT_TRUE(ar::create_shortcut(L"C:\\Programs\\Pelorium\\Pelorium.exe", dir.path(), nullptr, &link));
    EXPECT_EQ(link, dir / L"Pelorium.lnk");
    ar::test::ShortcutContents contents = ar::test::readShortcut(link);
    EXPECT_EQ(contents.target, L"C:\\Programs\\Pelorium\\Pelorium.exe");
    EXPECT_EQ(contents.workingFolder, L"C:\\Programs\\Pelorium");

    // Only the last extension is removed from a derived name.
    ASSERT_TRUE(ar::create_shortcut(L"C:\\Programs\\a.b.exe", dir.path(), nullptr, &link));
    EXPECT_EQ(link, dir / L"a.b.lnk");
}

TEST(CreateShortcut, NamedLinkKeepsItsDotAndIsOverwritten)
{
    ar::test::TempDir dir;
    const std::wstring name = L"Pelorium 7.06";
    std::wstring link;
    ASSERT_TRUE(ar::create_shortcut(L"C:\\Apps\\Pelorium.exe", dir.path(), &name, &link));
    EXPECT_EQ(link, dir / L"Pelorium 7.06.lnk");
    ASSERT_TRUE(ar::create_shortcut(L"C:\\Apps\\Other.exe", dir.path(), &name, &link));
    EXPECT_EQ(ar::test::readShortcut(link).target, L"C:\\Apps\\Other.exe");
}

TEST(CreateShortcut, RefusesWhatCannotBeMade)
{
    ar::test::TempDir dir;
    std::wstring link = L"untouched";
    // A target without a folder part.
    EXPECT_FALSE(ar::create_shortcut(L"Pelorium.exe", dir.path(), nullptr, &link));
    EXPECT_EQ(link, L"untouched");
    // A link path beyond the path limit.
    std::wstring deep = dir.path() + L"\\" + std::wstring(250, L'x');
    EXPECT_FALSE(ar::create_shortcut(L"C:\\Apps\\Pelorium.exe", deep, nullptr, &link));
}

TEST(CreateShortcut, ThreadInAnotherApartmentGetsNoShortcut)
{
    ar::test::TempDir dir;
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    std::wstring link;
    EXPECT_FALSE(ar::create_shortcut(L"C:\\Apps\\Pelorium.exe", dir.path(), nullptr, &link));
    CoUninitialize();
    EXPECT_FALSE(ar::test::exists(dir / L"Pelorium.lnk"));
}

} // namespace
