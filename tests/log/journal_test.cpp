// The durable journal: its file format (a torn or damaged record is recognised and
// ignored) and the recovery of an interrupted run (rolled back as an ordinary
// rollback would, and again without harm when the recovery itself was interrupted).
#include "log/journal_file.h"
#include "log/run_journal.h"
#include "payload/archive.h"
#include "support/path_rules.h"
#include "support/processes.h"
#include "tests/log/log_test_support.h"

#include <shlwapi.h>

#include <cstdio>

namespace {

using ar::RecordKind;
using ar::UninstallLogRecord;
using ar::test::makeRecord;

UninstallLogRecord fullRecord()
{
    UninstallLogRecord record =
        makeRecord(RecordKind::InstalledFile, L"C:\\Apps\\\u4E0A\\Pelorium.exe", 1, false);
    record.backupPath = L"C:\\ProgramData\\Ardenvale Setup\\3.bak";
    record.backupSource = L"C:\\Apps\\\u4E0A\\Pelorium.exe";
    record.existedBefore = true;
    record.keptInPlace = true;
    return record;
}

void expectSame(const UninstallLogRecord& a, const UninstallLogRecord& b)
{
    EXPECT_EQ(a.recordKind, b.recordKind);
    EXPECT_EQ(a.path, b.path);
    EXPECT_EQ(a.backupPath, b.backupPath);
    EXPECT_EQ(a.backupSource, b.backupSource);
    EXPECT_EQ(a.succeeded, b.succeeded);
    EXPECT_EQ(a.fileKind, b.fileKind);
    EXPECT_EQ(a.existedBefore, b.existedBefore);
    EXPECT_EQ(a.keptInPlace, b.keptInPlace);
}

TEST(JournalFile, RecordsComeBackWithTheirLastState)
{
    UninstallLogRecord first = makeRecord(RecordKind::CreatedFolder, L"C:\\Apps");
    UninstallLogRecord second = fullRecord();
    UninstallLogRecord settled = second;
    settled.succeeded = true;
    std::string bytes = ar::formatJournalHeader() + ar::formatJournalFolder(L"C:\\Temp\\ardenvale_{1}") +
                        ar::formatJournalProcess({4242, 0x01DD6E0A12345678ull}) +
                        ar::formatJournalRecord(0, first) + ar::formatJournalRecord(1, second) +
                        ar::formatJournalRecord(1, settled);
    ar::JournalContents contents = ar::parseJournal(bytes);
    EXPECT_TRUE(contents.understood);
    EXPECT_FALSE(contents.ended);
    EXPECT_EQ(contents.privateFolder, L"C:\\Temp\\ardenvale_{1}");
    ASSERT_EQ(contents.processes.size(), 1u);
    EXPECT_EQ(contents.processes[0].id, 4242u);
    EXPECT_EQ(contents.processes[0].created, 0x01DD6E0A12345678ull);
    ASSERT_EQ(contents.records.size(), 2u);
    expectSame(contents.records[0], first);
    expectSame(contents.records[1], settled);
    EXPECT_TRUE(ar::parseJournal(bytes + ar::formatJournalEnd()).ended);
}

TEST(JournalFile, ATornOrDamagedRecordEndsTheReading)
{
    const std::string intact = ar::formatJournalHeader() + ar::formatJournalRecord(0, fullRecord());
    const std::string last = ar::formatJournalRecord(1, makeRecord(RecordKind::CreatedFolder, L"C:\\Apps"));
    // Cut anywhere in the last record: what came before stands, the torn record is ignored.
    for (std::size_t length = 0; length < last.size(); ++length) {
        ar::JournalContents contents = ar::parseJournal(intact + last.substr(0, length));
        ASSERT_EQ(contents.records.size(), 1u) << length;
        EXPECT_EQ(contents.lines, 2u);
        EXPECT_EQ(contents.length, intact.size());
    }
    // A changed byte fails its check; the lines after it are not taken either.
    std::string damaged = last;
    damaged[4] ^= 1;
    ar::JournalContents contents = ar::parseJournal(intact + damaged + ar::formatJournalEnd());
    EXPECT_EQ(contents.records.size(), 1u);
    EXPECT_FALSE(contents.ended);
}

TEST(JournalFile, OnlyTheVersionsThisProgramKnowsAreTaken)
{
    std::string header = ar::formatJournalHeader();
    EXPECT_TRUE(ar::parseJournal(header).understood);
    // Headers of the first version and of the next one, with checks that fit them.
    auto headerOf = [](int version) {
        std::string body = "ArJournal\t" + std::to_string(version) + "\t";
        char check[9];
        std::snprintf(check, sizeof check, "%08x",
                      static_cast<unsigned>(ar::crc32(0, body.data(), body.size())));
        return body + check + "\n" + ar::formatJournalRecord(0, fullRecord());
    };
    ar::JournalContents first = ar::parseJournal(headerOf(1));
    EXPECT_TRUE(first.understood);
    EXPECT_EQ(first.records.size(), 1u);
    ar::JournalContents other = ar::parseJournal(headerOf(ar::journalVersion + 1));
    EXPECT_TRUE(other.foreign);
    EXPECT_FALSE(other.understood);
    EXPECT_TRUE(other.records.empty());
    // A header torn before its line end is no journal at all (nothing was recorded).
    ar::JournalContents torn = ar::parseJournal(header.substr(0, header.size() - 1));
    EXPECT_FALSE(torn.foreign);
    EXPECT_FALSE(torn.understood);
}

// A run that recorded its changes in the real journal folder, then ended without a word.
class InterruptedRunTest : public ar::test::JournalTest {
protected:
    const ar::EarlierLog none;

    static ar::RecordingRules journaled(ar::RunJournal& journal)
    {
        ar::RecordingRules rules;
        rules.journal = &journal;
        return rules;
    }

    void SetUp() override { removeJournalFolder(); }
    void TearDown() override { removeJournalFolder(); }

    // Also one that a test made a host link, dangling or not: the host removes the
    // link itself.
    static void removeJournalFolder()
    {
        ar::test::hostShell("rm -rf " + ar::test::hostPath(ar::journalFolder()));
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Ardenvale Setup");
    }

    std::wstring replaced = dir / L"Pelorium.exe";
    std::wstring created = dir / L"Sub\\Minerals.pm-lib";

    // Replaces one file and creates another, as an installation run would, and is
    // ended in the middle of writing the second.
    void interruptedRun()
    {
        ar::test::writeFile(replaced, "the earlier program");
        ar::RunJournal journal;
        ASSERT_TRUE(journal.start(L"", {dir.path(), L""}));
        ar::RunRecorder log(none, journaled(journal));
        log.recordFile(replaced, 1, false);
        ar::test::writeFile(replaced, "the new program");
        log.commit(true);
        log.recordFile(created, 3, false);
        ar::test::writeFile(created, "half a libr");
        journal.leave();
    }

    void expectUndone()
    {
        EXPECT_EQ(ar::test::readFile(replaced), "the earlier program");
        EXPECT_FALSE(ar::test::exists(created));
        EXPECT_FALSE(ar::test::exists(dir / L"Sub"));
        EXPECT_FALSE(ar::test::exists(ar::journalFolder()));
        EXPECT_FALSE(ar::interruptedRunPending());
    }
};

TEST_F(InterruptedRunTest, IsRolledBackAtTheNextStart)
{
    interruptedRun();
    EXPECT_TRUE(ar::interruptedRunPending());
    // A record torn by the end of the process is ignored.
    ar::test::writeFile(
        ar::journalPath(),
        ar::test::readFile(ar::journalPath()) +
            ar::formatJournalRecord(9, makeRecord(RecordKind::InstalledFile, replaced)).substr(0, 20));
    ar::RecoveryReport report = ar::recoverInterruptedRun();
    EXPECT_TRUE(report.interrupted);
    EXPECT_FALSE(report.incomplete);
    EXPECT_EQ(report.records, 3u); // the replaced file, the created folder and file
    EXPECT_TRUE(report.left.empty());
    expectUndone();
    // Nothing is left to do.
    EXPECT_FALSE(ar::recoverInterruptedRun().interrupted);
}

TEST_F(InterruptedRunTest, RecoveryEndedBeforeItsEndIsDoneAgainWithoutHarm)
{
    interruptedRun();
    const std::string journal = ar::test::readFile(ar::journalPath());
    ar::recoverInterruptedRun();
    // The recovery had put everything back but was ended before it could say so: the
    // journal is still there, its backup already back in place.
    CreateDirectoryW(ar::journalFolder().c_str(), nullptr);
    ar::test::writeFile(ar::journalPath(), journal);
    EXPECT_TRUE(ar::interruptedRunPending());
    ar::RecoveryReport again = ar::recoverInterruptedRun();
    EXPECT_TRUE(again.interrupted);
    expectUndone();
}

TEST_F(InterruptedRunTest, AJournalIsEvidenceOnlyInTheProtectedFolderAndWithinItsRunsScope)
{
    ar::test::TempDir outside{L"outside"};
    const std::wstring victim = outside.path() + L"\\victim.dll";
    auto journalNaming = [](const std::wstring& file) {
        return ar::formatJournalHeader() + ar::formatJournalFolder(L"") +
               ar::formatJournalRecord(0, makeRecord(RecordKind::InstalledFile, file, 0));
    };
    ar::test::writeFile(victim, "not the product's");
    ar::test::writeFile(replaced, "the earlier program");

    // A trusted folder, but a record outside the scope of its run.
    ar::RunJournal run;
    ASSERT_TRUE(run.start(L"", {dir.path(), L""}));
    run.leave();
    ar::test::writeFile(ar::journalPath(), journalNaming(victim));
    ar::RecoveryReport report = ar::recoverInterruptedRun();
    EXPECT_EQ(report.outsideScope, std::vector<std::wstring>{victim});
    EXPECT_EQ(ar::test::readFile(victim), "not the product's");
    EXPECT_FALSE(ar::test::exists(ar::journalFolder()));

    // A folder that others may change (the host's mode 777: Everyone full control)
    // is set aside unread; one that is a link is left unread. Neither blocks the
    // uninstaller.
    for (bool linked : {false, true}) {
        if (linked) {
            // The link leads to a folder holding the journal.
            ar::test::writeFile(outside.path() + L"\\Pelorium7.journal", journalNaming(replaced));
            ASSERT_TRUE(ar::test::hostShell("ln -s " + ar::test::hostPath(outside.path()) + " " +
                                            ar::test::hostPath(ar::journalFolder())));
        } else {
            CreateDirectoryW(ar::journalFolder().c_str(), nullptr);
            ASSERT_TRUE(ar::test::hostShell("chmod 777 " + ar::test::hostPath(ar::journalFolder())));
            ar::test::writeFile(ar::journalPath(), journalNaming(replaced));
        }
        EXPECT_FALSE(ar::interruptedRunPending());
        report = ar::recoverInterruptedRun();
        EXPECT_FALSE(report.interrupted);
        EXPECT_EQ(ar::test::readFile(replaced), "the earlier program");
        if (linked) {
            // No handle to set it aside through: left, and a refusal.
            EXPECT_TRUE(report.unreadable);
            EXPECT_TRUE(report.setAside.empty());
            EXPECT_TRUE(ar::test::exists(outside.path() + L"\\Pelorium7.journal"));
            removeJournalFolder();
        } else {
            EXPECT_FALSE(report.unreadable);
            EXPECT_FALSE(ar::test::exists(ar::journalFolder()));
            ASSERT_TRUE(ar::test::exists(report.setAside));
            EXPECT_TRUE(ar::test::exists(report.setAside + L"\\Pelorium7.journal"));
            ar::test::removeTree(report.setAside);
        }
        // A new one is made as the run's own.
        ASSERT_TRUE(run.start(L"", {dir.path(), L""}));
        EXPECT_TRUE(run.finish().empty());
    }
    EXPECT_EQ(ar::test::readFile(victim), "not the product's");
}

// A stand-in for a registration program that the run started: this test program,
// held before its first instruction.
struct SuspendedChild {
    ar::unique_process_information process;
    std::wstring image;

    SuspendedChild()
    {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        image = path;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring command = L"\"" + image + L"\"";
        EXPECT_TRUE(CreateProcessW(image.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                   nullptr, nullptr, &startup, &process));
    }
    ~SuspendedChild() { TerminateProcess(process.hProcess, 0); }
    bool running() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }
};

TEST_F(InterruptedRunTest, ARegistrationProgramThatTheRunLeftRunningIsEndedFirst)
{
    const std::uint64_t created = ar::processCreationTime(GetCurrentProcess());
    ASSERT_NE(created, 0u);
    // Named first: a process that had this process's id before it (whose children
    // are not this one's); then, in the second round, this process as a later
    // recovery of the run.
    const std::string earlierOwner = ar::formatJournalProcess({GetCurrentProcessId(), created - 1});
    for (const std::string& processes :
         {earlierOwner, earlierOwner + ar::formatJournalProcess({GetCurrentProcessId(), created})}) {
        SuspendedChild child;
        ASSERT_TRUE(child.running());
        // A run in the folder of the program, whose journal is then written here.
        ar::RunJournal run;
        ASSERT_TRUE(run.start(L"", {ar::parentOf(child.image), L""}));
        run.leave();
        ar::test::writeFile(
            ar::journalPath(),
            ar::formatJournalHeader() + ar::formatJournalFolder(L"") + processes +
                ar::formatJournalRecord(0, makeRecord(RecordKind::SelfRegistration, child.image)));
        EXPECT_TRUE(ar::recoverInterruptedRun().interrupted);
        EXPECT_EQ(child.running(), processes == earlierOwner);
    }
}

TEST_F(InterruptedRunTest, ARunAtWorkIsLeftAloneAndAFinishedOneLeavesNothing)
{
    ar::RunJournal journal;
    ASSERT_TRUE(journal.start(L"", {dir.path(), L""}));
    ar::RunRecorder log(none, journaled(journal));
    ar::test::writeFile(replaced, "the earlier program");
    log.recordFile(replaced, 1, false);
    ar::test::writeFile(replaced, "the new program");
    log.commit(true);
    // Another installer that got the lock while the run had let go of it finds the
    // journal being written: it undoes nothing and sets nothing aside.
    ar::RecoveryReport meanwhile = ar::recoverInterruptedRun();
    EXPECT_TRUE(meanwhile.inUse);
    EXPECT_FALSE(meanwhile.interrupted);
    EXPECT_TRUE(meanwhile.setAside.empty());
    EXPECT_EQ(ar::test::readFile(replaced), "the new program");
    ASSERT_TRUE(log.writeLog(dir / L"Uninstall.ulog", dir.path(), L""));
    EXPECT_TRUE(journal.finish().empty());
    EXPECT_FALSE(ar::test::exists(ar::journalFolder()));
    EXPECT_FALSE(ar::recoverInterruptedRun().interrupted);
    EXPECT_EQ(ar::test::readFile(replaced), "the new program");
}

} // namespace
