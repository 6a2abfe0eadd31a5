#include "engine/log_file.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/support/test_support.h"

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST(LogFileView, CompletesPhaseLinesAndWritesEachStatusOnce)
{
    ar::test::TempDir dir;
    ar::LogFile log;
    ASSERT_TRUE(log.open(dir / L"install.log"));
    {
        ar::LogFileView view(log);
        view.appendLogLine(L"Installation Options", true);
        view.setStatus(L"Preparing Installation...");
        view.setStatus(L"Preparing Installation...");
        view.appendLogLine(L"Preparing Installation...");
        view.appendLogLine(L"OK\r\n");
        view.setStatusPath(L"Copying File  C:\\Apps\\\u4e0a.dll...");
        view.appendLogLine(L"Copying File  C:\\Apps\\\u4e0a.dll...");
        view.appendLogLine(L"Failed\r\n");
        view.setStatus(L"Installation failed (Error Code 3).");
    }
    std::vector<std::string> lines = linesOf(ar::test::readFile(dir / L"install.log"));
    ASSERT_EQ(lines.size(), 4u);
    const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*)$)");
    std::vector<std::string> texts;
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, stamp)) << line;
        texts.push_back(match[1]);
    }
    EXPECT_EQ(texts[0], "---- Installation Options ----");
    EXPECT_EQ(texts[1], "Preparing Installation...OK");
    EXPECT_EQ(texts[2], "Copying File  C:\\Apps\\\xe4\xb8\x8a.dll...Failed");
    EXPECT_EQ(texts[3], "Installation failed (Error Code 3).");
}

} // namespace
