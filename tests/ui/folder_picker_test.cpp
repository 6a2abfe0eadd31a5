// The folder picker's path rules.
#include <gtest/gtest.h>

#include "ui/folder_picker.h"

#include "support/error.h"
#include "tests/support/test_support.h"

namespace {

TEST(FolderPickerTail, AppendsOnlyWhatThePathLacks)
{
    EXPECT_EQ(ar::applyTail(L"C:\\Apps", L"Pelorium 7"), L"C:\\Apps\\Pelorium 7");
    EXPECT_EQ(ar::applyTail(L"C:\\Apps\\Pelorium 7", L"Pelorium 7"), L"C:\\Apps\\Pelorium 7");
    EXPECT_EQ(ar::applyTail(L"C:\\Data\\PELORIUM 7", L"Pelorium 7"), L"C:\\Data\\PELORIUM 7");
    EXPECT_EQ(ar::applyTail(L"C:\\", L"Pelorium 7"), L"C:\\Pelorium 7");
    // A path ending with the first part of the tail gets only the rest.
    EXPECT_EQ(ar::applyTail(L"C:\\Apps\\Ardenvale", L"Ardenvale\\Pelorium 7"),
              L"C:\\Apps\\Ardenvale\\Pelorium 7");
    EXPECT_EQ(ar::applyTail(L"C:\\Ardenvale\\Pelorium 7", L"Ardenvale\\Pelorium 7"),
              L"C:\\Ardenvale\\Pelorium 7");
    EXPECT_EQ(ar::applyTail(L"C:\\Apps", L""), L"C:\\Apps");
    // Nothing is appended beyond 260 characters.
    std::wstring longPath = L"C:\\" + std::wstring(250, L'a');
    EXPECT_EQ(ar::applyTail(longPath, L"Pelorium 7"), longPath);
}

TEST(FolderPickerTail, ValidPathCharacters)
{
    EXPECT_TRUE(ar::isValidPathText(L"Pelorium 7"));
    EXPECT_TRUE(ar::isValidPathText(L"C:\\Apps\\Pelorium 7"));
    EXPECT_FALSE(ar::isValidPathText(L"Pel*rium"));
    EXPECT_FALSE(ar::isValidPathText(L"a?b"));
    EXPECT_FALSE(ar::isValidPathText(L"a|b"));
    EXPECT_FALSE(ar::isValidPathText(L"C:\\a:b"));
}

TEST(FolderPickerQualify, TypedNamesBecomeAbsoluteOrAreRefused)
{
    const std::wstring cwd = L"C:\\Work";
    EXPECT_EQ(ar::qualifyTypedFolder(L"  D:\\Apps\\Pelorium 7\\ ", L"", cwd).path, L"D:\\Apps\\Pelorium 7");
    EXPECT_EQ(ar::qualifyTypedFolder(L"D:", L"", cwd).path, L"D:\\");
    EXPECT_EQ(ar::qualifyTypedFolder(L"", L"", cwd).path, cwd);
    EXPECT_EQ(ar::qualifyTypedFolder(L"Sub\\Dir", L"", cwd).path, L"C:\\Work\\Sub\\Dir");
    EXPECT_EQ(ar::qualifyTypedFolder(L"D:\\Apps\\..\\Other", L"", cwd).path, L"D:\\Other");

    EXPECT_EQ(ar::qualifyTypedFolder(L"D:\\Pel*", L"", cwd).error, 161);
    EXPECT_EQ(ar::qualifyTypedFolder((L"D:\\" + std::wstring(258, L'x')).c_str(), L"", cwd).error,
              static_cast<LONG>(0x800700CE));
    EXPECT_EQ(ar::qualifyTypedFolder(nullptr, L"", cwd).error, static_cast<LONG>(0xE8B0F109));
}

TEST(FolderPickerQualify, StaysInsideTheRoot)
{
    const std::wstring startMenu = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
    ar::QualifiedFolder relative =
        ar::qualifyTypedFolder(L"Programs\\Ardenvale\\Pelorium 7", startMenu, L"C:\\");
    EXPECT_EQ(relative.error, 0);
    EXPECT_EQ(relative.path, startMenu + L"\\Programs\\Ardenvale\\Pelorium 7");
    EXPECT_EQ(ar::qualifyTypedFolder((startMenu + L"\\Programs\\X").c_str(), startMenu, L"C:\\").error, 0);
    EXPECT_EQ(ar::qualifyTypedFolder(L"..\\..\\Other", startMenu, L"C:\\").error, 161);
    EXPECT_EQ(ar::qualifyTypedFolder(L"D:\\Elsewhere", startMenu, L"C:\\").error, 161);
    // A sibling that only shares the leading characters is outside as well.
    EXPECT_EQ(ar::qualifyTypedFolder((startMenu + L" Old\\X").c_str(), startMenu, L"C:\\").error, 161);
}

TEST(FolderPickerPaths, RelativeAndCombinedFolders)
{
    const std::wstring startMenu = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
    EXPECT_EQ(ar::relativeFolder(startMenu, startMenu + L"\\Programs\\Ardenvale\\Pelorium 7"),
              L"Programs\\Ardenvale\\Pelorium 7");
    EXPECT_EQ(ar::relativeFolder(startMenu, startMenu), L"");
    EXPECT_EQ(ar::relativeFolder(startMenu, L"D:\\Menu"), L"D:\\Menu");
    EXPECT_EQ(ar::combineFolder(startMenu, L"Programs\\Ardenvale"), startMenu + L"\\Programs\\Ardenvale");
    EXPECT_EQ(ar::combineFolder(startMenu, L""), startMenu);
    EXPECT_EQ(ar::combineFolder(startMenu, L"D:\\Menu"), L"D:\\Menu");
    EXPECT_EQ(ar::combineFolder(startMenu, std::wstring(230, L'x')), L"");
}

} // namespace

namespace {

// Reads the edit box of the platform's folder dialog and presses Cancel. (Wine's
// folder dialog ignores typed names, so their validation is tested as functions.)
std::wstring shownAtStart;

void CALLBACK readAndCancel(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND active = GetActiveWindow();
    HWND edit = active ? FindWindowExW(active, nullptr, L"Edit", nullptr) : nullptr;
    if (!edit)
        return;
    KillTimer(nullptr, timer);
    wchar_t text[MAX_PATH] = {};
    GetWindowTextW(edit, text, MAX_PATH);
    shownAtStart = text;
    PostMessageW(active, WM_COMMAND, IDCANCEL, 0);
}

TEST(FolderPickerDialog, StartsFromTheCurrentFolderWithTheTailAndCancelReturnsNothing)
{
    ar::test::BoxAnswerer answerer(IDOK);
    SetTimer(nullptr, 0, 30, &readAndCancel);
    EXPECT_EQ(ar::pickFolder(L"C:\\Apps", L"Pelorium 7", L"Select"), L"");
    // C:\Apps does not exist: C:\ is selected in the tree, but the folder being
    // chosen stays the current one with the product's folder name.
    EXPECT_EQ(shownAtStart, L"C:\\Apps\\Pelorium 7");
    EXPECT_TRUE(answerer.boxes().empty());
}

} // namespace
