#include <future>
#include "engine/installation.h"
#include "product/self_registration.h"

#include <gtest/gtest.h>

#include "payload/archive.h"

namespace {

TEST(ProgressPercent, RoundsButShowsHundredOnlyAtTheEnd)
{
    EXPECT_EQ(ar::progressPercent(0, 1000), 0);
    EXPECT_EQ(ar::progressPercent(5, 1000), 1); // 0.5 rounds up
    EXPECT_EQ(ar::progressPercent(4, 1000), 0);
    EXPECT_EQ(ar::progressPercent(994, 1000), 99);
    EXPECT_EQ(ar::progressPercent(996, 1000), 99); // would round to 100
    EXPECT_EQ(ar::progressPercent(999999, 1000000), 99);
    EXPECT_EQ(ar::progressPercent(1000, 1000), 100);
    EXPECT_EQ(ar::progressPercent(11372, 20368188), 0);
}

TEST(ErrorCodeText, ByCategory)
{
    EXPECT_EQ(ar::errorCodeText(std::error_code(32, std::system_category())), L"1:00000020");
    EXPECT_EQ(ar::errorCodeText(std::error_code(static_cast<int>(0x80070005), std::system_category())),
              L"1:80070005");
    EXPECT_EQ(ar::errorCodeText(std::error_code(ENOSPC, std::generic_category())), L"2:0000001C");
    EXPECT_EQ(ar::errorCodeText(ar::make_error_code(ar::compress_errc::invalid_checksum)), L"3");
    EXPECT_EQ(ar::errorCodeText(ar::make_error_code(ar::compress_errc::verification_failed)), L"4");
    EXPECT_EQ(ar::errorCodeText(std::make_error_code(std::future_errc::no_state)), L"7");
}

TEST(RegistrationCommand, QuotesPathsWithBlanksOnly)
{
    EXPECT_EQ(ar::registrationCommand(L"C:\\Program Files\\Ardenvale\\Pelorium 7\\Pelorium.exe",
                                      ar::Registration::Register),
              L"\"C:\\Program Files\\Ardenvale\\Pelorium 7\\Pelorium.exe\" /Register /Background");
    EXPECT_EQ(ar::registrationCommand(L"C:\\Apps\\Pelorium.exe", ar::Registration::Unregister),
              L"C:\\Apps\\Pelorium.exe /Unregister /Background");
}

} // namespace
