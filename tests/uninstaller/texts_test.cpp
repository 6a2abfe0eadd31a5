// The uninstaller's texts in its eight languages, beside the installer's.
#include <gtest/gtest.h>

#include <set>

#include "product/language.h"
#include "resources/resource.h"
#include "support/module_state.h"
#include "tests/support/test_support.h"

namespace {

std::set<std::wstring> placeholders(const std::wstring& text)
{
    std::set<std::wstring> found;
    for (std::size_t at = text.find(L'%'); at != std::wstring::npos && at + 1 < text.size();
         at = text.find(L'%', at + 1))
        found.insert(text.substr(at, 2));
    return found;
}

TEST(UninstallerTexts, EveryLanguageWithTextsHasAllOfThemWithTheSamePlaceholders)
{
    for (int language : {0, 1, 2, 3, 4, 7, 9, 11}) {
        ASSERT_TRUE(ar::hasInstallerTexts(language));
        for (UINT n = IDS_UNINSTALLER; n <= IDS_UNINSTALL_BAD_COMMAND_LINE; ++n) {
            UINT number = n + ar::languageOffset(language);
            std::wstring text = ar::loadResourceString(nullptr, number);
            std::wstring english = ar::loadResourceString(nullptr, n + ar::languageOffset(ar::english));
            EXPECT_FALSE(text.empty() || text == L"#") << "language " << language << " string " << number;
            EXPECT_EQ(placeholders(text), placeholders(english))
                << "language " << language << " string " << number;
        }
    }
}

TEST(UninstallerTexts, ResolveLikeTheInstallersTexts)
{
    ar::setLanguage(2);
    EXPECT_EQ(ar::resolveString(IDS_UNINSTALL_BUTTON), 3203u);
    EXPECT_EQ(ar::loadString(IDS_UNINSTALL_BUTTON), L"Deinstallieren");
    // Dutch has no texts of its own: English.
    ar::setLanguage(5);
    EXPECT_EQ(ar::loadString(IDS_UNINSTALL_BUTTON), L"Uninstall");
    ar::setLanguage(9);
    EXPECT_EQ(ar::resolveString(IDS_UNINSTALL_BUTTON), 12203u);
    ar::setLanguage(ar::english);
}

} // namespace
