// Merging an earlier installation's records into the new log.
#include "log/record_merge.h"
#include "log/run_recorder.h"
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

    static LogRecords merge(LogRecords earlier, LogRecords run)
    {
        return mergeRecords(std::move(earlier), std::move(run), fileOnDisk);
    }

    static std::vector<std::wstring> paths(const LogRecords& records)
    {
        std::vector<std::wstring> result;
        for (const auto& r : records)
            result.push_back(r.path);
        return result;
    }
};

TEST_F(UninstallLogMerge, KeptDataFileSurvivesUnchanged)
{
    LogRecords merged = merge({makeRecord(Kind::InstalledFile, L"C:\\Data\\lib.pm-lib", 3),
                               makeRecord(Kind::InstalledFile, L"C:\\Apps\\P.exe", 1)},
                              {makeRecord(Kind::InstalledFile, L"C:\\Apps\\P.exe", 1)});
    EXPECT_EQ(paths(merged), (std::vector<std::wstring>{L"C:\\Data\\lib.pm-lib", L"C:\\Apps\\P.exe"}));
    ASSERT_TRUE(writeUninstallLog(logPath, {L"", L"C:\\Apps", L"C:\\Menu"}, merged));

    std::string text = readFile(logPath);
    std::string expected =
        utf16File({L"0000:0103:1 -- C:\\Data\\lib.pm-lib", L"0001:0101:1 -- C:\\Apps\\P.exe"}, false);
    EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
}

TEST_F(UninstallLogMerge, ShortcutsAndKeysAreSupersededWhateverTheirPaths)
{
    const LogRecords merged =
        merge({makeRecord(Kind::MenuShortcut, L"C:\\Old\\P.lnk"), makeRecord(Kind::UninstallKey, L""),
               makeRecord(Kind::DirectXSetup, L"DirectX"), makeRecord(Kind::DesktopShortcut, L"D.lnk")},
              {makeRecord(Kind::MenuShortcut, L"C:\\New\\P.lnk"), makeRecord(Kind::UninstallKey, L"")});
    std::vector<Kind> kinds;
    for (const auto& r : merged)
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

    EXPECT_EQ(paths(merge({makeRecord(Kind::CreatedFolder, apps), makeRecord(Kind::CreatedFolder, dir / L"Other")},
                          {makeRecord(Kind::CreatedFolder, lower)})),
              (std::vector<std::wstring>{dir / L"Other", lower}));

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

    const LogRecords merged = merge(
        {
            makeRecord(Kind::InstalledFile, upper),                      // the same file on disk
            makeRecord(Kind::InstalledFile, L"C:\\Gone\\Old.dat"),       // missing, spelled otherwise
            makeRecord(Kind::CreatedFolder, program),                    // another kind: kept
            makeRecord(Kind::InstalledFile, L"C:\\Kept\\lib.pm-lib", 3), // twice in the earlier log:
            makeRecord(Kind::InstalledFile, L"C:\\Kept\\lib.pm-lib", 3), // kept once
        },
        {makeRecord(Kind::InstalledFile, program), makeRecord(Kind::InstalledFile, L"c:\\gone\\OLD.DAT")});
    EXPECT_EQ(paths(merged),
              (std::vector<std::wstring>{program, L"C:\\Kept\\lib.pm-lib", program, L"c:\\gone\\OLD.DAT"}));
    EXPECT_EQ(merged.front().recordKind, Kind::CreatedFolder);
}

TEST_F(UninstallLogMerge, UpdateHistoryNeverGrowsBeyondOneStep)
{
    const EarlierLog first(L"Pelorium 7.05", dir.path(), dir.path(), {});
    ASSERT_TRUE(RunRecorder(first).writeLog(logPath, dir.path(), dir.path()));

    const EarlierLog second = EarlierLog::read(logPath);
    EXPECT_EQ(second.product(), L"Pelorium 7.06");
    ASSERT_TRUE(RunRecorder(second).writeLog(logPath, dir.path(), dir.path()));

    std::string text = readFile(logPath);
    std::string line3 = utf16File({L"// Install Pelorium 7.06 -- Update (Pelorium 7.06)"}, false);
    EXPECT_NE(text.find(line3), std::string::npos);
    EXPECT_EQ(EarlierLog::read(logPath).product(), L"Pelorium 7.06");
}

} // namespace
} // namespace ar::test
