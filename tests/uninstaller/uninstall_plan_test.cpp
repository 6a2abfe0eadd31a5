// What the uninstaller may act upon, decided from the log before anything is touched.
#include "uninstaller/uninstall_plan.h"
#include "uninstaller/removal.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/log/log_test_support.h"
#include "support/switches.h"
#include "tests/support/test_support.h"

namespace {

using ar::RecordKind;
using ar::UninstallAction;
using ar::test::logRecord;

const std::wstring install = L"C:\\Apps\\Pelorium 7";
const std::wstring menu = L"C:\\Menu\\Pelorium 7";
const std::wstring uninstaller = install + L"\\Uninstall.exe";

ar::ProductFolders folders()
{
    return {install, menu, {L"C:\\ProgramData\\Ardenvale"}, {L"C:\\users\\Public\\Desktop"}};
}

// Everything named exists unless listed as missing.
struct Machine {
    std::set<std::wstring> missing;
    bool operator()(const std::wstring& path) const { return !missing.count(path); }
};

// A first installation as the installer records it.
std::list<ar::UninstallLogRecord> installation()
{
    return {logRecord(RecordKind::CreatedFolder, L"C:\\Apps"),
            logRecord(RecordKind::CreatedFolder, install),
            logRecord(RecordKind::CreatedFolder, install + L"\\Lang"),
            logRecord(RecordKind::InstalledFile, install + L"\\Lang\\Pelorium.de.dll", 0),
            logRecord(RecordKind::CreatedFolder, L"C:\\ProgramData\\Ardenvale\\Pelorium"),
            logRecord(RecordKind::InstalledFile, L"C:\\ProgramData\\Ardenvale\\Pelorium\\Minerals.pm-lib", 3),
            logRecord(RecordKind::InstalledFile, uninstaller, 2),
            logRecord(RecordKind::InstalledFile, install + L"\\Pelorium.exe", 1),
            logRecord(RecordKind::CreatedFolder, L"C:\\Menu"),
            logRecord(RecordKind::CreatedFolder, menu),
            logRecord(RecordKind::MenuShortcut, menu + L"\\Pelorium 7.06.lnk"),
            logRecord(RecordKind::UninstallShortcut, L"", -1, false),
            logRecord(RecordKind::DesktopShortcut, L"C:\\users\\Public\\Desktop\\Pelorium 7.06.lnk"),
            logRecord(RecordKind::DirectXSetup, L"DirectX"),
            logRecord(RecordKind::UninstallKey, L""),
            logRecord(RecordKind::SelfRegistration, L"")};
}

ar::UninstallPlan plan(const std::list<ar::UninstallLogRecord>& records, const Machine& machine = {},
                       std::size_t readable = 1000)
{
    return ar::planUninstall(records, readable, folders(), uninstaller, machine);
}

std::vector<std::wstring> paths(const ar::UninstallPlan& p)
{
    std::vector<std::wstring> out;
    for (const ar::UninstallStep& step : p.steps)
        out.push_back(step.path);
    return out;
}

TEST(UninstallPlan, UndoesTheRegistrationFirstThenWalksNewestFirstAndLeavesItselfForLast)
{
    auto records = installation();
    ar::UninstallPlan p = plan(records);
    EXPECT_EQ(p.trustedRecords, records.size());
    EXPECT_TRUE(p.removesRegistration);
    EXPECT_EQ(p.mainProgram, install + L"\\Pelorium.exe");
    // C:\Apps and the installation folder hold the uninstaller: its copy removes them.
    EXPECT_EQ(p.uninstallerFolderLevels, 2);
    EXPECT_TRUE(p.recordsUninstaller);
    const std::vector<std::wstring> expected{install + L"\\Pelorium.exe",
                                             L"C:\\users\\Public\\Desktop\\Pelorium 7.06.lnk",
                                             menu + L"\\Pelorium 7.06.lnk",
                                             menu,
                                             L"C:\\Menu",
                                             install + L"\\Pelorium.exe",
                                             L"C:\\ProgramData\\Ardenvale\\Pelorium\\Minerals.pm-lib",
                                             L"C:\\ProgramData\\Ardenvale\\Pelorium",
                                             install + L"\\Lang\\Pelorium.de.dll",
                                             install + L"\\Lang"};
    EXPECT_EQ(paths(p), expected);
    EXPECT_EQ(p.steps[0].action, UninstallAction::UndoSelfRegistration);
    EXPECT_EQ(p.steps[1].action, UninstallAction::RemoveShortcut);
    EXPECT_EQ(p.steps[3].action, UninstallAction::RemoveFolder);
    EXPECT_EQ(p.steps[5].action, UninstallAction::RemoveFile);
    EXPECT_EQ(p.steps[6].action, UninstallAction::RemoveDataFile);
}

TEST(UninstallPlan, StopsAtTheFirstRecordOutsideTheProductsFolders)
{
    for (const std::wstring& foreign :
         {std::wstring(L"C:\\Windows\\system32\\kernel32.dll"), std::wstring(L"C:\\Apps\\Other\\data.db"),
          install + L"\\..\\..\\Windows\\win.ini", install + L"\\Pelorium.exe:stream",
          install + L"\\Lang.\\x.dll", std::wstring(L"Pelorium.exe"),
          std::wstring(L"\\\\?\\C:\\Apps\\Pelorium 7\\Pelorium.exe")}) {
        auto records = installation();
        auto at = std::next(records.begin(), 4);
        records.insert(at, logRecord(RecordKind::InstalledFile, foreign, 0));
        ar::UninstallPlan p = plan(records);
        EXPECT_EQ(p.trustedRecords, 4u) << ar::test::narrow(foreign);
        // Only what the first four records name: the language library and the folders.
        EXPECT_EQ(paths(p),
                  (std::vector<std::wstring>{install + L"\\Lang\\Pelorium.de.dll", install + L"\\Lang"}));
        EXPECT_FALSE(p.removesRegistration);
    }
}

TEST(UninstallPlan, RefusesShortcutsAndFoldersThatAreNotTheProducts)
{
    auto refusedAt = [](ar::UninstallLogRecord bad) {
        auto records = installation();
        records.insert(std::next(records.begin(), 10), bad);
        return plan(records).trustedRecords;
    };
    // A "shortcut" that is no link, or lies outside the shortcut and desktop folders.
    EXPECT_EQ(refusedAt(logRecord(RecordKind::MenuShortcut, menu + L"\\Pelorium.exe")), 10u);
    EXPECT_EQ(refusedAt(logRecord(RecordKind::MenuShortcut, L"C:\\users\\me\\Favourite.lnk")), 10u);
    EXPECT_EQ(refusedAt(logRecord(RecordKind::DesktopShortcut, L"C:\\users\\me\\Favourite.lnk")), 10u);
    // A created folder elsewhere, or a drive root.
    EXPECT_EQ(refusedAt(logRecord(RecordKind::CreatedFolder, L"C:\\users\\me\\Documents")), 10u);
    EXPECT_EQ(refusedAt(logRecord(RecordKind::CreatedFolder, L"D:\\")), 10u);
    // What names nothing can do no harm and does not stop the walk.
    Machine machine;
    machine.missing = {L"C:\\users\\me\\Favourite.lnk", L"C:\\Elsewhere\\gone.txt"};
    auto records = installation();
    records.insert(std::next(records.begin(), 10),
                   logRecord(RecordKind::MenuShortcut, L"C:\\users\\me\\Favourite.lnk"));
    records.insert(std::next(records.begin(), 5),
                   logRecord(RecordKind::InstalledFile, L"C:\\Elsewhere\\gone.txt", 0));
    EXPECT_EQ(plan(records, machine).trustedRecords, records.size());
}

TEST(UninstallPlan, AFolderCreatedAboveTheProductsFoldersDoesNotLicenseWhatLiesInIt)
{
    // The log created D:\Apps for D:\Apps\Pelorium 7; another program's file in D:\Apps is not the product's.
    ar::ProductFolders f = folders();
    f.installFolder = L"D:\\Apps\\Pelorium 7";
    std::list<ar::UninstallLogRecord> records{
        logRecord(RecordKind::CreatedFolder, L"D:\\Apps"),
        logRecord(RecordKind::CreatedFolder, L"D:\\Apps\\Pelorium 7"),
        logRecord(RecordKind::InstalledFile, L"D:\\Apps\\Other\\tool.exe", 0)};
    ar::UninstallPlan p = ar::planUninstall(records, 3, f, L"D:\\Apps\\Pelorium 7\\Uninstall.exe", Machine{});
    EXPECT_EQ(p.trustedRecords, 2u);
    // A folder that the log created elsewhere does: examples on the desktop, say.
    records = {
        logRecord(RecordKind::CreatedFolder, L"C:\\users\\Public\\Desktop\\Pelorium Examples"),
        logRecord(RecordKind::InstalledFile, L"C:\\users\\Public\\Desktop\\Pelorium Examples\\a.pm", 0)};
    p = ar::planUninstall(records, 2, f, L"D:\\Apps\\Pelorium 7\\Uninstall.exe", Machine{});
    EXPECT_EQ(p.trustedRecords, 2u);
    EXPECT_EQ(p.uninstallerFolderLevels, 0);
}

TEST(UninstallPlan, ReadsOnlyTheRecordsFromWholeLinesAndSkipsWhatDidNotSucceed)
{
    auto records = installation();
    ar::UninstallPlan p = plan(records, {}, 3);
    EXPECT_EQ(p.trustedRecords, 3u);
    EXPECT_EQ(paths(p), (std::vector<std::wstring>{install + L"\\Lang"}));

    std::list<ar::UninstallLogRecord> failed{
        logRecord(RecordKind::CreatedFolder, install),
        logRecord(RecordKind::InstalledFile, install + L"\\a.dll", 0, false),
        logRecord(RecordKind::SelfRegistration, L"")};
    p = plan(failed);
    EXPECT_EQ(p.trustedRecords, 3u);
    // No main program: nothing to unregister with; the installation folder holds the uninstaller.
    EXPECT_TRUE(p.steps.empty());
    EXPECT_EQ(p.uninstallerFolderLevels, 1);
    EXPECT_FALSE(p.recordsUninstaller);
}

TEST(PathRules, ElementsCompareWithoutCaseAndWithEitherSeparator)
{
    EXPECT_TRUE(ar::isBelow(L"c:/apps/PELORIUM 7/x.dll", install));
    EXPECT_TRUE(ar::isBelow(L"C:\\Apps\\\\Pelorium 7\\x.dll", install + L"\\"));
    EXPECT_FALSE(ar::isBelow(install, install));
    EXPECT_TRUE(ar::isAtOrBelow(install, install));
    EXPECT_FALSE(ar::isBelow(L"C:\\Apps\\Pelorium 70\\x.dll", install));
    EXPECT_FALSE(ar::isBelow(L"D:\\Apps\\Pelorium 7\\x.dll", install));
    EXPECT_TRUE(ar::isBelow(L"\\\\server\\share\\Pelorium\\x.dll", L"\\\\SERVER\\share"));
    EXPECT_FALSE(ar::isBelow(L"\\\\server\\other\\x.dll", L"\\\\server\\share"));
    EXPECT_TRUE(ar::samePlainPath(L"C:\\Apps\\Pelorium 7\\", L"c:\\apps\\pelorium 7"));
    for (const wchar_t* bad : {L"", L"Apps\\x", L"C:x", L"C:\\a\\..\\b", L"C:\\a\\.\\b", L"C:\\a\\b.",
                               L"C:\\a\\b ", L"C:\\a\\b*", L"C:\\a\\b:c", L"\\\\?\\C:\\a", L"\\\\.\\pipe\\x"})
        EXPECT_FALSE(ar::isPlainAbsolutePath(bad)) << ar::test::narrow(bad);
}

TEST(PathRules, TheProgramOfAnUninstallCommandIsReadAsWindowsReadsIt)
{
    const std::wstring program = L"C:\\Program Files\\Ardenvale\\Pelorium 7\\Uninstall.exe";
    for (const std::wstring& command : {program, L"\"" + program + L"\"", L"\"" + program + L"\" /S",
                                        program + L" /S /LOG=x.txt", L"  " + program + L"  "})
        EXPECT_EQ(ar::programOfCommand(command), program) << ar::test::narrow(command);
    EXPECT_EQ(ar::programOfCommand(L"C:\\Other.exe " + program), L"C:\\Other.exe");
    for (const wchar_t* none : {L"", L"   ", L"\"C:\\Unclosed.exe", L"C:\\Tools\\uninstall.bat /S"})
        EXPECT_EQ(ar::programOfCommand(none), L"") << ar::test::narrow(none);
}

TEST(PathRules, AReinstallationWithoutALogTakesOnlyTheProductsFoldersAsItsOwn)
{
    const std::vector<std::wstring> data{L"C:\\ProgramData\\Ardenvale"};
    const std::wstring programs = L"C:\\Start\\Programs";
    const std::wstring productMenu = programs + L"\\Ardenvale\\Pelorium 7";
    const std::wstring installed = L"C:\\Program Files\\Ardenvale\\Pelorium 7";
    for (const std::wstring& own : std::vector<std::wstring>{
             installed, installed + L"\\Lang", L"C:\\Program Files\\Ardenvale", productMenu,
             programs + L"\\Ardenvale", data[0], data[0] + L"\\Textures\\Pelorium"})
        EXPECT_TRUE(ar::isProductFolder(own, data, installed, productMenu)) << ar::test::narrow(own);
    for (const std::wstring& other : std::vector<std::wstring>{
             L"C:\\Program Files", programs, L"C:\\ProgramData", L"C:\\Program Files\\Other",
             L"C:\\Program Files\\Ardenvale Tools", L"D:\\Ardenvale"})
        EXPECT_FALSE(ar::isProductFolder(other, data, installed, productMenu)) << ar::test::narrow(other);
    // Without Start-menu shortcuts, their folders are not the run's concern.
    EXPECT_FALSE(ar::isProductFolder(productMenu, data, installed, L""));
}

// A step acts below the nearest product folder that holds its path. The data files'
// root is the application-data folder, so that the company's folder is checked for
// links too; a root itself, and what lies above or apart from the roots, is checked
// from its drive's root on.
TEST(PathRules, EachStepActsBelowTheNearestProductFolderThatHoldsIt)
{
    const std::wstring startMenu = L"C:\\ProgramData\\Start Menu\\Programs\\Ardenvale\\Pelorium 7";
    const std::vector<std::wstring> roots = ar::productRoots(
        {install, startMenu, {L"C:\\ProgramData\\Ardenvale"}, {L"C:\\users\\Public\\Desktop"}});
    const std::vector<std::pair<std::wstring, std::wstring>> cases{
        {install + L"\\Lang\\Pelorium.de.dll", install},
        {L"C:\\ProgramData\\Ardenvale\\Pelorium\\Minerals.pm-lib", L"C:\\ProgramData"},
        {L"C:\\ProgramData\\Ardenvale", L"C:\\ProgramData"},
        {startMenu + L"\\Pelorium 7.06.lnk", startMenu},
        {startMenu, L"C:\\ProgramData"},
        {L"C:\\users\\Public\\Desktop\\Pelorium 7.06.lnk", L"C:\\users\\Public\\Desktop"},
        {install, L"C:\\"},
        {L"C:\\Apps", L"C:\\"},
        {L"\\\\server\\share\\Apps\\Pelorium", L"\\\\server\\share\\"},
    };
    for (const auto& [path, root] : cases)
        EXPECT_EQ(ar::stepRoot(path, roots), root) << ar::test::narrow(path);
}

std::string utf16(const std::wstring& text, bool byteOrderMark = true)
{
    std::string bytes = byteOrderMark ? "\xFF\xFE" : "";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

TEST(LogShape, CountsLinesAndTellsACutOffLastLine)
{
    const std::wstring header = L"h1\r\nh2\r\nh3\r\nh4\r\nh5\r\nh6\r\n";
    ar::LogShape whole = ar::logShape(utf16(header + L"0000:00ff:1 -- C:\\a\r\n0001:00ff:1 -- C:\\b\r\n"));
    EXPECT_EQ(whole.lines, 8u);
    EXPECT_TRUE(whole.endsWithLineEnd);
    EXPECT_TRUE(ar::wholeLogRead(whole, 2));
    EXPECT_EQ(ar::recordsFromWholeLines(whole, 2), 2u);
    // The reader stopped at the second record: not all was read.
    EXPECT_FALSE(ar::wholeLogRead(whole, 1));
    EXPECT_EQ(ar::recordsFromWholeLines(whole, 1), 1u);

    // Cut in the middle of the last record: that record is not whole.
    ar::LogShape cut = ar::logShape(utf16(header + L"0000:00ff:1 -- C:\\a\r\n0001:0100:1 -- C:\\Apps\\Pel"));
    EXPECT_EQ(cut.lines, 8u);
    EXPECT_FALSE(cut.endsWithLineEnd);
    EXPECT_EQ(ar::recordsFromWholeLines(cut, 2), 1u);
    EXPECT_FALSE(ar::wholeLogRead(cut, 2));
    // Cut between CR and LF, or in the middle of a UTF-16 unit.
    EXPECT_FALSE(ar::logShape(utf16(header + L"0000:00ff:1 -- C:\\a\r")).endsWithLineEnd);
    std::string half = utf16(header + L"0000:00ff:1 -- C:\\a\r\n");
    half.pop_back();
    EXPECT_FALSE(ar::logShape(half).endsWithLineEnd);
    // 8-bit text, and nothing at all.
    ar::LogShape ansi = ar::logShape("a\r\nb\r\n");
    EXPECT_EQ(ansi.lines, 2u);
    EXPECT_TRUE(ansi.endsWithLineEnd);
    EXPECT_EQ(ar::logShape("").lines, 0u);
}

} // namespace
