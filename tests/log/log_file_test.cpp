// The log file: written byte for byte as the uninstaller expects, and read back.
#include "log/earlier_log.h"
#include "log/run_recorder.h"

#include "log/log_format.h"
#include "tests/log/log_test_support.h"

#include <gtest/gtest.h>

namespace ar::test {
namespace {

using Kind = RecordKind;

class UninstallLogFile : public JournalTest {
protected:
    std::wstring logPath = dir / L"Uninstall.ulog";

    EarlierLog readBack(const std::string& bytes)
    {
        writeFile(logPath, bytes);
        return EarlierLog::read(logPath);
    }

    // A valid header naming two existing folders.
    std::vector<std::wstring> header()
    {
        return {L"// Uninstall Log File v1",
                L"// ############ WARNING: Do not delete or modify this file. ############",
                L"// Install Pelorium 7.05",
                L"// Install Path : " + dir.path(),
                L"// Shortcut Path : " + temp.path(),
                L"// ----"};
    }
};

TEST_F(UninstallLogFile, ExampleInstallationIsWrittenByteForByte)
{
    LogRecords records = {makeRecord(Kind::CreatedFolder, L"C:\\Apps"),
                   makeRecord(Kind::CreatedFolder, L"C:\\Apps\\Pelorium"),
                   makeRecord(Kind::InstalledFile, L"C:\\Apps\\Pelorium\\Pelorium.exe", 1),
                   makeRecord(Kind::InstalledFile, L"C:\\Apps\\Pelorium\\Uninstall.exe", 2),
                   makeRecord(Kind::CreatedFolder, L"C:\\Menu\\Pelorium"),
                   makeRecord(Kind::MenuShortcut, L"C:\\Menu\\Pelorium\\Pelorium 7.06.lnk"),
                   makeRecord(Kind::UninstallShortcut, L"C:\\Menu\\Pelorium\\Uninstall Pelorium.lnk"),
                   makeRecord(Kind::UninstallKey, L""),
                   makeRecord(Kind::SelfRegistration, L"")};
    // An earlier log that is read-only is replaced all the same.
    writeFile(logPath, "old");
    SetFileAttributesW(logPath.c_str(), FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(writeUninstallLog(logPath, {L"", L"C:\\Apps\\Pelorium", L"C:\\Menu\\Pelorium"}, records));
    EXPECT_EQ(readFile(logPath), readFile(binaryPath(L"example.ulog")));
    DWORD attributes = GetFileAttributesW(logPath.c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_ARCHIVE);
    // Wine's file system does not keep the not-content-indexed attribute.
    std::wstring probe = dir / L"probe";
    writeFile(probe, "");
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (GetFileAttributesW(probe.c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    else
        std::printf("note: this file system does not keep the not-content-indexed attribute\n");
}

TEST_F(UninstallLogFile, HeaderRuleMatchesShortcutFolderLength)
{
    auto lines = formatLogHeader(L"Pelorium 7.06", L"", L"C:\\A", L"");
    EXPECT_EQ(lines[5], L"// " + std::wstring(16, L'-') + L"\r\n");
    lines = formatLogHeader(L"Pelorium 7.06", L"Pelorium 7.05", L"C:\\A", L"C:\\Menu\\Pelorium");
    EXPECT_EQ(lines[2], L"// Install Pelorium 7.06 -- Update (Pelorium 7.05)\r\n");
    EXPECT_EQ(lines[5], L"// " + std::wstring(32, L'-') + L"\r\n");
}

TEST_F(UninstallLogFile, PathsOutsideLatin1RoundTrip)
{
    std::wstring folder = dir / L"Dossier \u4E0A";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    LogRecords records = {makeRecord(Kind::CreatedFolder, folder),
                          makeRecord(Kind::InstalledFile, folder + L"\\a.pm-lib", 3)};
    ASSERT_TRUE(writeUninstallLog(logPath, {L"", folder, folder}, records));

    const EarlierLog back = EarlierLog::read(logPath);
    EXPECT_EQ(back.installPath(), folder);
    EXPECT_EQ(back.shortcutPath(), folder);
    EXPECT_EQ(back.product(), L"Pelorium 7.06");
    ASSERT_EQ(back.records().size(), 2u);
    EXPECT_EQ(back.records().back().path, folder + L"\\a.pm-lib");
    EXPECT_EQ(back.records().back().fileKind, 3);
}

TEST_F(UninstallLogFile, ReadsHeaderAndRecords)
{
    auto lines = header();
    lines.push_back(L"0042:0103:1 -- C:\\Data\\lib.pm-lib");
    lines.push_back(L"0043:05ff:0 -- HKEY_LOCAL_MACHINE\\Software");
    lines.push_back(L"0044:07ff:1 --");
    EarlierLog log = readBack(utf16File(lines));
    EXPECT_EQ(log.installPath(), dir.path());
    EXPECT_EQ(log.shortcutPath(), temp.path());
    EXPECT_EQ(log.product(), L"Pelorium 7.05");
    ASSERT_EQ(log.records().size(), 3u);
    auto it = log.records().begin();
    EXPECT_EQ(it->recordKind, Kind::InstalledFile);
    EXPECT_EQ(it->fileKind, 3);
    EXPECT_TRUE(it->succeeded);
    EXPECT_EQ(it->path, L"C:\\Data\\lib.pm-lib");
    ++it;
    EXPECT_EQ(it->recordKind, Kind::UninstallKey);
    EXPECT_EQ(it->fileKind, -1);
    EXPECT_FALSE(it->succeeded);
    EXPECT_EQ(it->path, L""); // registry texts are not kept
    ++it;
    EXPECT_EQ(it->recordKind, Kind::DirectXSetup);
    EXPECT_EQ(it->path, L"");
}

TEST_F(UninstallLogFile, EightBitFileIsRead)
{
    std::string text = "// Uninstall Log File v1\r\n// x\r\n// Install Pelorium 7.04\r\n// Install Path : " +
                       narrow(dir.path()) + "\r\n// Shortcut Path : C:\\nowhere\\at all\r\n// -\r\n" +
                       "0000:0100:1 -- C:\\Apps\\Pelorium\\P.exe\r\n";
    EarlierLog log = readBack(text);
    EXPECT_EQ(log.product(), L"Pelorium 7.04");
    EXPECT_EQ(log.installPath(), dir.path());
    EXPECT_EQ(log.shortcutPath(), L""); // the folder no longer exists
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records().front().path, L"C:\\Apps\\Pelorium\\P.exe");
    EXPECT_EQ(log.records().front().fileKind, 0);
}

TEST_F(UninstallLogFile, OtherVersionYieldsNothing)
{
    auto lines = header();
    lines[0] = L"// Uninstall Log File v2";
    lines.push_back(L"0000:00ff:1 -- C:\\Apps");
    EarlierLog log = readBack(utf16File(lines));
    EXPECT_EQ(log.installPath(), L"");
    EXPECT_EQ(log.shortcutPath(), L"");
    EXPECT_TRUE(log.records().empty());
}

TEST_F(UninstallLogFile, MalformedLineStopsReadingAndKeepsWhatWasRead)
{
    for (std::wstring bad : {L"0001:08ff:1 -- C:\\kind 8", L"0001:00ff:1 C:\\no dashes", L"",
                             L"-001:00ff:1 -- C:\\x", L"0001:00ff:2 -- C:\\flag"}) {
        auto lines = header();
        lines.push_back(L"0000:00ff:1 -- C:\\Before");
        lines.push_back(bad);
        lines.push_back(L"0002:00ff:1 -- C:\\After");
        EarlierLog log = readBack(utf16File(lines));
        ASSERT_EQ(log.records().size(), 1u) << narrow(bad);
        EXPECT_EQ(log.records().front().path, L"C:\\Before");
        EXPECT_EQ(log.installPath(), dir.path());
    }
}

TEST_F(UninstallLogFile, OverlongLineStopsReading)
{
    // 511 units with the line end fit the buffer; one more does not.
    std::wstring fits = L"0001:0100:1 -- C:\\" + std::wstring(511 - 18 - 2, L'a');
    std::wstring tooLong = L"0002:0100:1 -- C:\\" + std::wstring(511 - 18 - 1, L'b');
    auto lines = header();
    lines.push_back(L"0000:00ff:1 -- C:\\Before");
    lines.push_back(fits);
    lines.push_back(tooLong);
    lines.push_back(L"0003:00ff:1 -- C:\\After");
    EarlierLog log = readBack(utf16File(lines));
    ASSERT_EQ(log.records().size(), 2u);
    EXPECT_EQ(log.records().back().path.size(), 511u - 18 - 2 + 3);

    // In 8-bit text the limit is 1023 bytes.
    std::string eightBit = "// Uninstall Log File v1\r\n0000:00ff:1 -- C:\\" +
                           std::string(1023 - 18 - 2, 'c') + "\r\n0001:00ff:1 -- C:\\" +
                           std::string(1023 - 18 - 1, 'd') + "\r\n";
    log = readBack(eightBit);
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records().front().path[3], L'c');
}

TEST_F(UninstallLogFile, MissingFileReadsAsNoLog)
{
    const EarlierLog log = EarlierLog::read(dir / L"none.ulog");
    EXPECT_EQ(log.installPath(), L"");
    EXPECT_EQ(log.shortcutPath(), L"");
    EXPECT_TRUE(log.records().empty());
}

} // namespace
} // namespace ar::test
