#include "support/format.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(FormatMessage, FillsNumberedInserts)
{
    EXPECT_EQ(ar::formatMessage(L"Update from '%1' to '%2'.", {L"Pelorium 7.5", L"Pelorium 7.06"}),
              L"Update from 'Pelorium 7.5' to 'Pelorium 7.06'.");
    EXPECT_EQ(ar::formatMessage(L"%2 before %1", {L"a", L"b"}), L"b before a");
    EXPECT_EQ(ar::formatMessage(L"No inserts."), L"No inserts.");
    EXPECT_EQ(ar::formatMessage(L"Line\r\n\r\nNext"), L"Line\r\n\r\nNext");
}

TEST(FormatMessage, EmptyFormatThrows)
{
    EXPECT_THROW(ar::formatMessage(L"", {L"x"}), std::invalid_argument);
}

TEST(FormatPrintf, FormatsLongTexts)
{
    EXPECT_EQ(ar::formatPrintf(L"%08x (%ls)", 5u, L"GetTempPath"), L"00000005 (GetTempPath)");
    std::wstring longText(1000, L'x');
    EXPECT_EQ(ar::formatPrintf(L"%ls!", longText.c_str()), longText + L"!");
}

TEST(AccessKey, MarkedLetterReadsWithoutItsMark)
{
    EXPECT_EQ(ar::withoutAccessKey(L"B&rowse..."), L"Browse...");
    EXPECT_EQ(ar::accessKey(L"B&rowse..."), L'R');
    EXPECT_EQ(ar::withoutAccessKey(L"Fish && &Chips"), L"Fish & Chips");
    EXPECT_EQ(ar::accessKey(L"Fish && &Chips"), L'C');
    EXPECT_EQ(ar::accessKey(L"&\u00c7\u0131k\u0131\u015f"), L'\u00c7');
    EXPECT_EQ(ar::accessKey(L"Plain && simple&"), 0);
    EXPECT_EQ(ar::withoutAccessKey(L"Plain && simple&"), L"Plain & simple");
}
