#include "product/language.h"

#include <gtest/gtest.h>


namespace {

class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override { ar::setLanguage(ar::english); }
};

TEST_F(LanguageTest, GermanFallsBackThroughEnglishToFrench)
{
    ar::setLanguage(2);
    EXPECT_EQ(ar::resolveString(1006), 3006u);
    // 3131 and 2131 are both "#": the French title is shown.
    EXPECT_EQ(ar::resolveString(1131), 1131u);
    EXPECT_EQ(ar::loadString(1131), L"Mise \u00e0 jour de DirectX...");
}

TEST_F(LanguageTest, EnglishUsesItsBlockAndFrenchForMissingTexts)
{
    ar::setLanguage(ar::english);
    EXPECT_EQ(ar::resolveString(1006), 2006u);
    EXPECT_EQ(ar::loadString(1006), L"Next");
    EXPECT_EQ(ar::resolveString(1131), 1131u);
    EXPECT_EQ(ar::loadString(1110), L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
    EXPECT_EQ(ar::loadString(1115), L"Copying File  %1...");
    EXPECT_EQ(ar::loadString(1014), L"Select Installation Langage");
    // Numbers that exist in no language load as empty texts.
    EXPECT_EQ(ar::loadString(1116), L"");
    EXPECT_EQ(ar::loadString(1130), L"");
}

TEST_F(LanguageTest, LanguagesWithoutTextsResolveThroughEnglish)
{
    ar::setLanguage(5);  // Dutch
    EXPECT_EQ(ar::currentLanguage(), 5);
    EXPECT_EQ(ar::resolveString(1006), 2006u);
    ar::setLanguage(14);  // Greek
    EXPECT_EQ(ar::resolveString(1100), 2100u);
    ar::setLanguage(ar::french);
    EXPECT_EQ(ar::resolveString(1006), 1006u);
}

TEST_F(LanguageTest, FormatsNumberedTexts)
{
    ar::setLanguage(ar::english);
    EXPECT_EQ(ar::formatString(1101, {L"Pelorium 7.5", L"Pelorium 7.06"}),
              L"Update from 'Pelorium 7.5' to 'Pelorium 7.06'.");
    EXPECT_EQ(ar::formatString(1127, {L"Pelorium"}), L"You should close 'Pelorium' before continuing Installation.");
}

TEST_F(LanguageTest, CodePageFollowsLanguage)
{
    ar::setLanguage(14);
    EXPECT_EQ(ar::currentCodePage(), 1253u);
    ar::setLanguage(ar::english);
    EXPECT_EQ(ar::currentCodePage(), 1252u);
}

TEST(LanguageTable, IdsOffsetsAndFlags)
{
    EXPECT_EQ(ar::languageId(0), 1036);
    EXPECT_EQ(ar::languageId(3), 3082);
    EXPECT_EQ(ar::languageId(4), 2070);
    EXPECT_EQ(ar::languageId(10), 2052);
    EXPECT_EQ(ar::languageId(13), 1044);
    EXPECT_EQ(ar::languageOffset(5), 6000u);
    EXPECT_EQ(ar::languageOffset(10), 9000u);
    EXPECT_EQ(ar::languageOffset(11), 5000u);
    EXPECT_EQ(ar::flagIcon(1), 145);
    EXPECT_EQ(ar::flagIcon(17), 158);
    for (int i : {0, 1, 2, 3, 4, 7, 9, 11})
        EXPECT_TRUE(ar::hasInstallerTexts(i)) << i;
    for (int i : {5, 6, 8, 10, 12, 13, 14, 15, 16, 17})
        EXPECT_FALSE(ar::hasInstallerTexts(i)) << i;
    EXPECT_TRUE(ar::isOfferedLanguage(14));
    EXPECT_FALSE(ar::isOfferedLanguage(11));
    EXPECT_FALSE(ar::isOfferedLanguage(18));
    EXPECT_FALSE(ar::isOfferedLanguage(-1));
}

TEST(StartingLanguage, MapsUserLanguageAmongOfferedOnes)
{
    const unsigned offered = ar::offeredLanguages;
    EXPECT_EQ(ar::startingLanguageFor(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), offered), 2);
    EXPECT_EQ(ar::startingLanguageFor(MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), offered), 14);
    // Chinese (Taiwan) is traditional Chinese: not in the table, so English.
    EXPECT_EQ(ar::startingLanguageFor(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), offered), 1);
    // Italian has texts but is not offered.
    EXPECT_EQ(ar::startingLanguageFor(MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), offered), 1);
    EXPECT_EQ(ar::startingLanguageFor(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), offered), 1);
    // Without English on offer, French is the last resort.
    EXPECT_EQ(ar::startingLanguageFor(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), 1), 0);
}

TEST(NativeLanguageName, IsCapitalised)
{
    EXPECT_EQ(ar::nativeLanguageName(0), L"Fran\u00e7ais");
    EXPECT_EQ(ar::nativeLanguageName(2), L"Deutsch");
}

TEST(RightToLeft, HebrewOnly)
{
    EXPECT_TRUE(ar::isRightToLeft(16));
    EXPECT_FALSE(ar::isRightToLeft(1));
    EXPECT_FALSE(ar::isRightToLeft(2));
}

} // namespace
