// Recording and rolling back real files, folders and shortcuts.
#include "log/run_recorder.h"

#include "support/handles.h"
#include "tests/log/log_test_support.h"

#include <gtest/gtest.h>

#include <system_error>
#include <vector>

namespace ar::test {
namespace {

using Kind = RecordKind;

class UninstallLogRollback : public JournalTest {};

TEST_F(UninstallLogRollback, CreatedFoldersAreRecordedOutermostFirstAndRemovedNewestFirst)
{
    RunRecorder log;
    log.ensureFolders(dir / L"A\\B\\C");
    ASSERT_EQ(log.records().size(), 3u);
    EXPECT_EQ(log.records().front().path, dir / L"A");
    EXPECT_EQ(log.records().back().path, dir / L"A\\B\\C");
    EXPECT_EQ(log.records().back().recordKind, Kind::CreatedFolder);
    EXPECT_TRUE(log.records().back().succeeded);
    EXPECT_EQ(log.records().back().fileKind, -1);

    log.ensureFolders(dir / L"A\\B\\");
    EXPECT_EQ(log.records().size(), 3u); // nothing new for folders that exist

    log.rollback();
    EXPECT_TRUE(log.records().empty());
    EXPECT_FALSE(exists(dir / L"A"));
}

TEST_F(UninstallLogRollback, ReplacedFilesComeBackWithTheirAttributes)
{
    std::wstring program = dir / L"App\\P.exe";
    std::wstring data = dir / L"App\\lib.pm-lib";
    writeFile(program, "old program");
    writeFile(data, "user data");
    SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY);

    RunRecorder log;
    log.recordFile(program, 1, false);
    EXPECT_FALSE(exists(program)); // moved away for the new file
    writeFile(program, "new program");
    log.commit(true);
    log.recordFile(data, 3, true);
    EXPECT_EQ(readFile(data), "user data"); // kept in place
    log.commit(true);
    log.recordFile(dir / L"App\\Sub\\new.dll", 0, false);
    writeFile(dir / L"App\\Sub\\new.dll", "new");
    log.commit(false);
    EXPECT_EQ(tempFiles().size(), 1u); // a kept file needs no backup

    log.rollback();
    EXPECT_EQ(readFile(program), "old program");
    EXPECT_EQ(GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(readFile(data), "user data");
    EXPECT_FALSE(exists(dir / L"App\\Sub"));
    EXPECT_TRUE(tempFiles().empty());
}

TEST_F(UninstallLogRollback, ExistingFileThatCannotBeBackedUpIsNeverLost)
{
    std::wstring program = dir / L"P.exe";
    std::wstring data = dir / L"lib.pm-lib";
    writeFile(program, "old program");
    writeFile(data, "user data");
    RunRecorder log;
    {
        // No backup can be made while the temporary folder is too long.
        TempFolderOverride longTemp(L"C:\\" + std::wstring(250, L't') + L"\\");
        EXPECT_THROW(log.recordFile(program, 0, false), std::system_error);
        log.commit(false);
        log.recordFile(data, 3, true); // a kept file is not touched, so it needs no backup
        log.commit(true);
    }
    EXPECT_EQ(readFile(program), "old program");
    log.rollback();
    EXPECT_EQ(readFile(program), "old program");
    EXPECT_EQ(readFile(data), "user data");
}

TEST_F(UninstallLogRollback, FolderWhereAFileMustGoIsNeverMovedAway)
{
    std::wstring path = dir / L"P.exe";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    writeFile(path + L"\\inside.txt", "user");
    RunRecorder log;
    try {
        log.recordFile(path, 0, false);
        FAIL() << "a folder in the way must fail the file";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ERROR_ALREADY_EXISTS);
    }
    log.commit(false);
    EXPECT_TRUE(tempFiles().empty());
    log.rollback();
    EXPECT_EQ(readFile(path + L"\\inside.txt"), "user");
}

TEST_F(UninstallLogRollback, EarlierShortcutComesBackWhereItWas)
{
    std::wstring earlierLink = dir / L"Old Menu\\Pelorium 7.06.lnk";
    writeFile(earlierLink, "earlier link");
    const EarlierLog earlier(L"", L"", L"", {makeRecord(Kind::MenuShortcut, earlierLink)});
    RunRecorder log(earlier);

    const std::wstring newLink = dir / L"Menu\\Pelorium 7.06.lnk";
    // The new link could not be created: the record has no path.
    log.recordShortcut(0, dir / L"Menu", newLink);
    EXPECT_FALSE(exists(earlierLink));
    log.commit(false);
    log.rollback();
    EXPECT_EQ(readFile(earlierLink), "earlier link");
    EXPECT_FALSE(exists(dir / L"Menu"));

    // The new link went to another folder: it is removed, the earlier one restored.
    log.recordShortcut(0, dir / L"Menu", newLink);
    writeFile(newLink, "new link");
    log.commit(true, newLink);
    log.rollback();
    EXPECT_EQ(readFile(earlierLink), "earlier link");
    EXPECT_FALSE(exists(dir / L"Menu"));
    EXPECT_TRUE(tempFiles().empty());
}

TEST_F(UninstallLogRollback, LinkThatWasThereBeforeComesBackAndAnEarlierDocumentIsNeverMoved)
{
    const std::wstring link = dir / L"Menu\\Pelorium 7.06.lnk";
    const std::wstring document = dir / L"Letters\\letter.doc";
    writeFile(link, "a link made by hand");
    writeFile(document, "a letter");
    // An earlier log whose shortcut record names a document.
    const EarlierLog earlier(L"", L"", L"", {makeRecord(Kind::UninstallShortcut, document)});
    RunRecorder log(earlier);

    log.recordShortcut(0, dir / L"Menu", link);
    writeFile(link, "new link");
    log.commit(true, link);
    log.recordShortcut(1, dir / L"Menu", dir / L"Menu\\Uninstall Pelorium.lnk");
    EXPECT_EQ(readFile(document), "a letter");
    log.commit(false);

    log.rollback();
    EXPECT_EQ(readFile(link), "a link made by hand");
    EXPECT_EQ(readFile(document), "a letter");
    EXPECT_TRUE(tempFiles().empty());
}

// A new file that cannot be deleted (held open by a scanner, say) does not cost the
// earlier one: it stays in its backup, and rollback says where.
TEST_F(UninstallLogRollback, HeldNewFileLeavesTheEarlierOneInItsBackup)
{
    const std::wstring program = dir / L"P.exe";
    writeFile(program, "old program");
    RunRecorder log;
    log.recordFile(program, 1, false);
    const std::wstring backup = log.records().back().backupPath;
    writeFile(program, "new program");
    log.commit(true);
    std::vector<RollbackFailure> failures;
    {
        unique_hfile held(CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        failures = log.rollback();
    }
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, program);
    EXPECT_EQ(failures[0].keptAs, backup);
    EXPECT_EQ(readFile(backup), "old program");
    EXPECT_EQ(readFile(program), "new program");
}

TEST_F(UninstallLogRollback, SuccessfulRunDiscardsEveryBackup)
{
    std::wstring program = dir / L"P.exe";
    writeFile(program, "old");
    RunRecorder log;
    log.recordFile(program, 1, false);
    writeFile(program, "new");
    log.commit(true);
    ASSERT_EQ(tempFiles().size(), 1u);
    // Even when the log itself cannot be written.
    EXPECT_FALSE(log.writeLog(dir / L"missing\\Uninstall.ulog", dir.path(), dir.path()));
    EXPECT_TRUE(tempFiles().empty());
    EXPECT_TRUE(log.records().front().backupPath.empty());
}

} // namespace
} // namespace ar::test
