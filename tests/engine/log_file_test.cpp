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

// The administrator's /LOG= file is appended to; the default log is a new file under
// a name nobody foresaw, and a name that stands (a planted file or link) is refused,
// never written through.
TEST(LogFile, AppendsToTheNamedFileAndCreatesTheDefaultOneFresh)
{
    ar::test::TempDir dir;
    ar::test::writeFile(dir / L"admin.log", "earlier run\r\n");
    {
        ar::LogFile named;
        ASSERT_TRUE(named.open(dir / L"admin.log"));
        named.line(L"this run");
    }
    std::vector<std::string> lines = linesOf(ar::test::readFile(dir / L"admin.log"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier run");

    ar::LogFile planted;
    EXPECT_FALSE(planted.create(dir / L"admin.log"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(linesOf(ar::test::readFile(dir / L"admin.log")).size(), 2u);

    ar::LogFile first, second;
    ASSERT_TRUE(first.createIn(dir.path(), L"PeloriumInstall-20261208-190721"));
    ASSERT_TRUE(second.createIn(dir.path() + L"\\", L"PeloriumInstall-20261208-190721"));
    EXPECT_NE(first.path(), second.path());
    const std::wregex name(
        LR"(PeloriumInstall-20261208-190721-\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}\.log)");
    for (const std::wstring& path : {first.path(), second.path()}) {
        ASSERT_EQ(path.rfind(dir.path() + L"\\", 0), 0u) << ar::test::narrow(path);
        EXPECT_TRUE(std::regex_match(path.substr(dir.path().size() + 1), name)) << ar::test::narrow(path);
    }
    first.line(L"written");
    EXPECT_EQ(linesOf(ar::test::readFile(first.path())).size(), 1u);
}

} // namespace
