// Merging an earlier installation's records into the new log.
#include "log/uninstall_log.h"
#include "support/path_rules.h"

#include "tests/log/log_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

namespace ar::test {
namespace {

using Kind = RecordKind;

class UninstallLogMerge : public JournalTest {
protected:
    std::wstring logPath = dir / L"Uninstall.ulog";

    static std::vector<std::wstring> paths(const std::list<UninstallLogRecord>& records)
    {
        std::vector<std::wstring> result;
        for (const auto& r : records)
            result.push_back(r.path);
        return result;
    }
};

TEST_F(UninstallLogMerge, KeptDataFileSurvivesUnchanged)
{
    UninstallLog log;
    log.previousRecords = {makeRecord(Kind::InstalledFile, L"C:\\Data\\lib.pm-lib", 3),
                           makeRecord(Kind::InstalledFile, L"C:\\Apps\\P.exe", 1)};
    log.records = {makeRecord(Kind::InstalledFile, L"C:\\Apps\\P.exe", 1)};
    ASSERT_TRUE(log.writeLog(logPath, L"C:\\Apps", L"C:\\Menu"));
    EXPECT_TRUE(log.previousRecords.empty());
    EXPECT_EQ(paths(log.records), (std::vector<std::wstring>{L"C:\\Data\\lib.pm-lib", L"C:\\Apps\\P.exe"}));

    std::string text = readFile(logPath);
    std::string expected =
        utf16File({L"0000:0103:1 -- C:\\Data\\lib.pm-lib", L"0001:0101:1 -- C:\\Apps\\P.exe"}, false);
    EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
}

TEST_F(UninstallLogMerge, ShortcutsAndKeysAreSupersededWhateverTheirPaths)
{
    UninstallLog log;
    log.previousRecords = {makeRecord(Kind::MenuShortcut, L"C:\\Old\\P.lnk"),
                           makeRecord(Kind::UninstallKey, L""), makeRecord(Kind::DirectXSetup, L"DirectX"),
                           makeRecord(Kind::DesktopShortcut, L"D.lnk")};
    log.records = {makeRecord(Kind::MenuShortcut, L"C:\\New\\P.lnk"), makeRecord(Kind::UninstallKey, L"")};
    ASSERT_TRUE(log.writeLog(logPath, L"C:\\Apps", L"C:\\New"));
    std::vector<Kind> kinds;
    for (const auto& r : log.records)
        kinds.push_back(r.recordKind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::DirectXSetup, Kind::DesktopShortcut, Kind::MenuShortcut,
                                        Kind::UninstallKey}));
}

TEST_F(UninstallLogMerge, FolderSpelledInOtherCaseIsTheSameFolder)
{
    std::wstring apps = dir / L"Apps";
    ASSERT_TRUE(CreateDirectoryW(apps.c_str(), nullptr));
    std::wstring lower = apps;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
    ASSERT_NE(lower, apps);

    UninstallLog log;
    log.previousRecords = {makeRecord(Kind::CreatedFolder, apps),
                           makeRecord(Kind::CreatedFolder, dir / L"Other")};
    log.records = {makeRecord(Kind::CreatedFolder, lower)};
    ASSERT_TRUE(log.writeLog(logPath, apps, apps));
    EXPECT_EQ(paths(log.records), (std::vector<std::wstring>{dir / L"Other", lower}));

    // Paths that do not exist are compared ignoring case as well.
    EXPECT_TRUE(samePlainPath(L"C:\\No Such\\Folder", L"c:\\no such\\FOLDER"));
    EXPECT_FALSE(samePlainPath(L"C:\\No Such\\Folder", L"C:\\No Such\\Folder2"));
}

TEST_F(UninstallLogMerge, SameFilesAreFoundByKindByDiskAndByMissingPathsIgnoringCase)
{
    std::wstring program = dir / L"P.exe";
    writeFile(program, "p");
    std::wstring upper = program;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return std::towupper(c); });

    UninstallLog log;
    log.previousRecords = {
        makeRecord(Kind::InstalledFile, upper),                      // the same file on disk
        makeRecord(Kind::InstalledFile, L"C:\\Gone\\Old.dat"),       // missing, spelled otherwise
        makeRecord(Kind::CreatedFolder, program),                    // another kind: kept
        makeRecord(Kind::InstalledFile, L"C:\\Kept\\lib.pm-lib", 3), // twice in the earlier log:
        makeRecord(Kind::InstalledFile, L"C:\\Kept\\lib.pm-lib", 3), // kept once
    };
    log.records = {makeRecord(Kind::InstalledFile, program),
                   makeRecord(Kind::InstalledFile, L"c:\\gone\\OLD.DAT")};
    ASSERT_TRUE(log.writeLog(logPath, dir.path(), dir.path()));
    EXPECT_EQ(paths(log.records),
              (std::vector<std::wstring>{program, L"C:\\Kept\\lib.pm-lib", program, L"c:\\gone\\OLD.DAT"}));
    EXPECT_EQ(log.records.front().recordKind, Kind::CreatedFolder);
}

TEST_F(UninstallLogMerge, UpdateHistoryNeverGrowsBeyondOneStep)
{
    UninstallLog first;
    first.previousProduct = L"Pelorium 7.05";
    ASSERT_TRUE(first.writeLog(logPath, dir.path(), dir.path()));

    UninstallLog second;
    second.readLog(logPath);
    EXPECT_EQ(second.previousProduct, L"Pelorium 7.06");
    ASSERT_TRUE(second.writeLog(logPath, dir.path(), dir.path()));

    std::string text = readFile(logPath);
    std::string line3 = utf16File({L"// Install Pelorium 7.06 -- Update (Pelorium 7.06)"}, false);
    EXPECT_NE(text.find(line3), std::string::npos);
    UninstallLog third;
    third.readLog(logPath);
    EXPECT_EQ(third.previousProduct, L"Pelorium 7.06");
}

} // namespace
} // namespace ar::test
