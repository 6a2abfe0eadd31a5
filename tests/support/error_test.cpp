#include "support/error.h"

#include <gtest/gtest.h>

#include "support/module_state.h"
#include "tests/support/test_support.h"

namespace {

TEST(SystemErrorText, HasNoTrailingLineBreak)
{
    std::wstring text = ar::systemErrorText(ERROR_BUSY, 0);
    EXPECT_EQ(text, L"Resource in use.");
}

TEST(SystemErrorText, UnknownCodeFallsBackToEFail)
{
    std::wstring efail = ar::systemErrorText(E_FAIL, 0);
    ASSERT_FALSE(efail.empty());
    EXPECT_NE(efail, L"Error");
    EXPECT_EQ(ar::systemErrorText(0x7FFF1234, 0), efail);
    // A language the system has no messages in still gives a text.
    EXPECT_FALSE(ar::systemErrorText(ERROR_BUSY, MAKELANGID(LANG_ZULU, SUBLANG_DEFAULT)).empty());
}

TEST(ErrorText, CompanyCodesUseStringResourcesOrEFail)
{
    const LONG withString = static_cast<LONG>(0x80000000u | ar::customerBit | ar::stringMessageBit | 5);
    const LONG withoutString = static_cast<LONG>(0x80000000u | ar::customerBit | 5);
    const std::wstring efail = ar::systemErrorText(E_FAIL, 0);

    // The test program has no string 5, so the company code falls back to E_FAIL.
    EXPECT_EQ(ar::errorText(withString), efail);
    EXPECT_EQ(ar::errorText(withoutString), efail);
    EXPECT_EQ(ar::errorText(ERROR_BUSY), L"Resource in use.");
}

TEST(ErrorText, CompanyCodeReadsStringResource)
{
    // String 2000 is the English "Installer" of the installer's string tables.
    const LONG code = static_cast<LONG>(0x80000000u | ar::customerBit | ar::stringMessageBit | 2000);
    EXPECT_EQ(ar::errorText(code), L"Installer");
}

TEST(MessageBoxType, IconFollowsButtonSet)
{
    EXPECT_EQ(ar::withDefaultIcon(MB_OK), UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(ar::withDefaultIcon(MB_OKCANCEL), UINT(MB_OKCANCEL | MB_ICONEXCLAMATION));
    EXPECT_EQ(ar::withDefaultIcon(MB_YESNO), UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(ar::withDefaultIcon(MB_YESNOCANCEL), UINT(MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(ar::withDefaultIcon(MB_RETRYCANCEL), UINT(MB_RETRYCANCEL));
    EXPECT_EQ(ar::withDefaultIcon(MB_YESNO | MB_ICONINFORMATION), UINT(MB_YESNO | MB_ICONINFORMATION));
}

TEST(MessageBoxIcons, ShowsQuestionIconForYesNoAndNoneForRetryCancel)
{
    ar::test::BoxAnswerer answerer(IDNO);
    ar::setApplicationName(L"Installer \u2013 Pelorium 7.06");
    EXPECT_EQ(ar::messageBox(L"Continue?", {}, MB_YESNO), IDNO);
    answerer.setAnswer(IDCANCEL);
    EXPECT_EQ(ar::messageBox(L"Again?", {}, MB_RETRYCANCEL), IDCANCEL);

    ASSERT_EQ(answerer.boxes().size(), 2u);
    EXPECT_EQ(answerer.boxes()[0].text, L"Continue?");
    EXPECT_EQ(answerer.boxes()[0].caption, L"Installer \u2013 Pelorium 7.06");
    EXPECT_EQ(answerer.boxes()[0].icon, LoadIconW(nullptr, IDI_QUESTION));
    EXPECT_EQ(answerer.boxes()[1].icon, nullptr);
    ar::setApplicationName({});
}

TEST(ShowErrorCode, ShowsSystemTextWithExclamation)
{
    ar::test::BoxAnswerer answerer(IDOK);
    ar::showErrorCode(ERROR_BUSY);
    ASSERT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(answerer.boxes()[0].text, L"Resource in use.");
    EXPECT_EQ(answerer.boxes()[0].icon, LoadIconW(nullptr, IDI_EXCLAMATION));
    EXPECT_FALSE(ar::showSystemError(nullptr, ERROR_INVALID_NAME));
    ASSERT_EQ(answerer.boxes().size(), 2u);
    EXPECT_EQ(answerer.boxes()[1].text, ar::systemErrorText(ERROR_INVALID_NAME, 0));
}

TEST(MessageBoxHandler, ReplacesEveryBoxWhileItLivesAndThenGivesTheEarlierOneBack)
{
    ar::test::BoxAnswerer answerer(IDOK);
    std::vector<std::wstring> seen, seenBefore;
    {
        ar::ScopedMessageBoxHandler outer([&](const std::wstring& text, const std::wstring&, UINT) {
            seenBefore.push_back(text);
            return IDOK;
        });
        {
            ar::ScopedMessageBoxHandler inner([&](const std::wstring& text, const std::wstring&, UINT type) {
                seen.push_back(text);
                return (type & MB_TYPEMASK) == MB_RETRYCANCEL ? IDCANCEL : IDOK;
            });
            EXPECT_EQ(ar::messageBox(L"Close it", {}, MB_RETRYCANCEL), IDCANCEL);
            ar::showErrorCode(ERROR_BUSY);
            EXPECT_FALSE(ar::showSystemError(nullptr, ERROR_BUSY));
        }
        ar::messageBox(L"After the inner one");
    }
    EXPECT_TRUE(answerer.boxes().empty());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], L"Close it");
    EXPECT_EQ(seen[1], L"Resource in use.");
    EXPECT_EQ(seenBefore, std::vector<std::wstring>{L"After the inner one"});
    ar::messageBox(L"A box again");
    EXPECT_EQ(answerer.boxes().size(), 1u);
}

} // namespace

