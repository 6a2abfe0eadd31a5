// The real Uninstall.exe, run as its own process, on hand-made installations and on
// installations by the installation run: what it removes, what it keeps, what it
// refuses, and that nothing of it remains.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <map>

#include "engine/install_context.h"
#include "product/language.h"
#include "product/product.h"
#include "product/product_record.h"
#include "product/system_checks.h"
#include "log/log_digest.h"
#include "log/log_format.h"
#include "log/run_journal.h"
#include "payload/payload.h"
#include "resources/resource.h"
#include "support/handles.h"
#include "support/module_state.h"
#include "support/path_rules.h"
#include "tests/log/log_test_support.h"
#include "tests/uninstaller/uninstaller_fixture.h"

namespace {

using ar::test::logRecord;
using ar::test::MachineState;
using ar::test::specialFolder;
using ar::test::UninstallerTest;

bool keyExists(HKEY root, const std::wstring& path)
{
    ar::unique_hkey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring firstDifference(const std::vector<std::string>& differences)
{
    return differences.empty() ? std::wstring()
                               : std::wstring(differences.front().begin(), differences.front().end());
}

// The destinations of the payload's EditableData files (the user's libraries and image).
std::vector<std::wstring> dataFiles(const std::wstring& payload, const std::wstring& install)
{
    std::vector<std::wstring> found;
    HMODULE module = LoadLibraryExW(ar::test::binaryPath(payload).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ar::setResourceModule(module);
    {
        ar::imemstream archive = ar::open_payload_resource();
        ar::test::TempDir temp(L"list");
        ar::extract_payload(archive, {install, L"Pelorium Examples", temp.path()},
                            [&](const ar::notification& n) {
                                if (auto begin = n.get_if<ar::notification::file_begin>()) {
                                    if (begin->entry->kind == ar::FileKind::EditableData)
                                        found.push_back(begin->entry->destination);
                                    return ar::notification::result::skip;
                                }
                                return ar::notification::result::proceed;
                            });
    }
    ar::setResourceModule(nullptr);
    FreeLibrary(module);
    return found;
}

// The files below `folder`, by path, with their sizes.
std::map<std::wstring, std::uint64_t> filesBelow(const std::wstring& folder)
{
    std::map<std::wstring, std::uint64_t> files;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            files.merge(filesBelow(path));
        else
            files[path] = std::uint64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

// The image of a running copy of the uninstaller (not the installed Uninstall.exe);
// empty when none runs.
std::wstring runningCopyImage()
{
    for (DWORD id : ar::test::uninstallerProcesses()) {
        ar::unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        wchar_t image[MAX_PATH * 2] = {};
        DWORD length = MAX_PATH * 2;
        if (process && QueryFullProcessImageNameW(process.get(), 0, image, &length) &&
            _wcsicmp(PathFindFileNameW(image), L"Uninstall.exe") != 0)
            return image;
    }
    return {};
}

TEST_F(UninstallerTest, RemovesAHandMadeInstallationAndItselfWithoutATrace)
{
    auto before = machine().take();
    makeInstallation();
    ASSERT_TRUE(keyExists(HKEY_CLASSES_ROOT, L".pm-lib"));

    EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 0);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    auto differences = MachineState::differences(before, machine().take());
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front()
                                     << ar::test::narrow(uninstallLog());
    EXPECT_TRUE(ar::test::uninstallerCopies().empty());

    std::wstring log = uninstallLog();
    EXPECT_NE(log.find(L"Uninstallation of 'Pelorium 7.06'."), std::wstring::npos);
    EXPECT_NE(log.find(L"File associations of 'Pelorium' removed."), std::wstring::npos);
    EXPECT_NE(log.find(L"Removed: " + install + L"\\Library\\Minerals.pm-lib"), std::wstring::npos);
    EXPECT_NE(log.find(L"Registry entries of 'Pelorium 7.06' removed."), std::wstring::npos);
    EXPECT_NE(log.find(L"'Pelorium 7.06' was removed from this computer."), std::wstring::npos);
    // The copy's part, after the uninstaller ended.
    EXPECT_NE(log.find(L"Removed: " + uninstaller), std::wstring::npos);
    EXPECT_NE(log.find(L"Removed: " + root / L"Apps"), std::wstring::npos) << ar::test::narrow(log);
}

TEST_F(UninstallerTest, KeepsDataFilesAndTheUsersOwnFilesWithTheirFolders)
{
    auto before = machine().take();
    makeInstallation();
    const std::wstring mine = install + L"\\Lang\\my notes.txt";
    ar::test::writeFile(mine, "mine");

    EXPECT_EQ(uninstall(L"/S /LOG=\"" + logFile + L"\""), 0);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_EQ(ar::test::readFile(mine), "mine");
    EXPECT_EQ(ar::test::readFile(install + L"\\Library\\Minerals.pm-lib"), "the user's library");
    auto differences = ar::test::differencesExcept(before, machine().take(),
                                                   {mine, install + L"\\Library\\Minerals.pm-lib"});
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
    std::wstring log = uninstallLog();
    EXPECT_NE(log.find(L"Kept: " + install + L"\\Library\\Minerals.pm-lib"), std::wstring::npos);
    EXPECT_NE(log.find(L"Kept the folder " + install + L"\\Lang: it is not empty."), std::wstring::npos);
    EXPECT_NE(log.find(L"Your data files were kept."), std::wstring::npos);
}

TEST_F(UninstallerTest, InstallationThenSilentUninstallationLeavesOnlyTheDataFiles)
{
    auto before = machine().take();
    installFromPayload(L"payload_76.dll");
    auto kept = dataFiles(L"payload_76.dll", install);
    ASSERT_GE(kept.size(), 2u);

    EXPECT_EQ(uninstall(L"/S /LOG=\"" + logFile + L"\""), 0) << ar::test::narrow(uninstallLog());
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_TRUE(ar::test::uninstallerCopies().empty());
    for (const std::wstring& file : kept)
        EXPECT_TRUE(ar::test::exists(file)) << ar::test::narrow(file);
    auto differences = ar::test::differencesExcept(before, machine().take(), kept);
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

TEST_F(UninstallerTest, InstallationThenPurgingUninstallationLeavesTheMachineAsItWas)
{
    auto before = machine().take();
    installFromPayload(L"payload_76.dll");
    EXPECT_EQ(uninstall(L"/S /PURGE"), 0);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_TRUE(ar::test::uninstallerCopies().empty());
    auto differences = MachineState::differences(before, machine().take());
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

TEST_F(UninstallerTest, AfterAnUpdateRemovesTheFilesOfBothInstallations)
{
    auto before = machine().take();
    installFromPayload(L"payload_75.dll");
    installFromPayload(L"payload_76.dll", true);
    // The update carried the earlier installation's records over (its textures were not rewritten).
    const ar::EarlierLog log = ar::EarlierLog::read(install + L"\\Uninstall.ulog");
    ASSERT_EQ(log.product(), L"Pelorium 7.06");

    EXPECT_EQ(uninstall(L"/S /PURGE"), 0);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    auto differences = MachineState::differences(before, machine().take());
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

TEST_F(UninstallerTest, ATruncatedLogRemovesOnlyWhatItsWholeLinesList)
{
    makeInstallation();
    // Cut in the middle of the Readme record: its path would name another file.
    std::wstring text = logText();
    std::size_t cut = text.find(install + L"\\Readme.txt");
    ASSERT_NE(cut, std::wstring::npos);
    text.resize(cut + (install + L"\\Readme.tx").size());
    writeLog(text);
    ar::test::writeFile(install + L"\\Readme.tx", "the user's file");
    auto before = machine().take();

    EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 3);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    // Only the records before the cut went: the language library and its folder, the library.
    auto differences = MachineState::differences(before, machine().take());
    ASSERT_EQ(differences.size(), 4u) << firstDifference(differences).c_str();
    for (const std::wstring& gone : {install + L"\\Lang", install + L"\\Lang\\Pelorium.de.dll",
                                     install + L"\\Library", install + L"\\Library\\Minerals.pm-lib"})
        EXPECT_FALSE(ar::test::exists(gone)) << ar::test::narrow(gone);
    EXPECT_EQ(ar::test::readFile(install + L"\\Readme.tx"), "the user's file");
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath()));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L".pm-lib"));
    EXPECT_NE(uninstallLog().find(L"is damaged from line 13 on."), std::wstring::npos)
        << ar::test::narrow(uninstallLog());
}

TEST_F(UninstallerTest, AForeignOrUnreadableLogChangesNothing)
{
    makeInstallation();
    const std::wstring good = logText();
    auto replaced = [&](const std::wstring& from, const std::wstring& to) {
        std::wstring text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<std::pair<const char*, std::string>> logs{
        {"version 2", utf16(replaced(L"Uninstall Log File v1", L"Uninstall Log File v2"))},
        {"another installation folder",
         utf16(replaced(L"Install Path : " + install, L"Install Path : " + root.path()))},
        {"a malformed first record", utf16(replaced(L"0000:00ff:1", L"0000:08ff:1"))},
        {"header only", utf16(good.substr(0, good.find(L"0000:")))},
        {"empty", std::string()},
    };
    for (const auto& [what, bytes] : logs) {
        writeLogBytes(bytes);
        auto before = machine().take();
        EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 2) << what;
        ASSERT_TRUE(ar::test::waitForUninstallers());
        auto differences = MachineState::differences(before, machine().take());
        EXPECT_TRUE(differences.empty()) << what << ": " << differences.front();
    }
    EXPECT_NE(
        uninstallLog().find(L"does not belong to this installation of 'Pelorium 7.06'. Nothing was removed."),
        std::wstring::npos);
    // No log at all.
    const std::wstring path = install + L"\\Uninstall.ulog";
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    auto before = machine().take();
    EXPECT_EQ(uninstall(L"/S"), 2);
    EXPECT_TRUE(MachineState::differences(before, machine().take()).empty());
}

TEST_F(UninstallerTest, AHandEditedLogStopsAtTheFirstRecordThatIsNotTheProducts)
{
    makeInstallation();
    const std::wstring precious = root / L"Documents\\thesis.doc";
    ar::test::writeFile(precious, "years of work");
    // After the language library, a record for a file that the log never installed
    // in a folder that it never created; then a folder named as a file.
    std::wstring text = logText();
    std::size_t at = text.find(L"0004:00ff:1");
    ASSERT_NE(at, std::wstring::npos);
    text.insert(at, L"0004:0100:1 -- " + precious + L"\r\n");
    writeLog(text);
    auto before = machine().take();

    EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 3);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_EQ(ar::test::readFile(precious), "years of work");
    auto differences = MachineState::differences(before, machine().take());
    EXPECT_EQ(differences.size(), 2u) << firstDifference(differences).c_str(); // the library and its folder
    EXPECT_FALSE(ar::test::exists(install + L"\\Lang"));
    EXPECT_TRUE(ar::test::exists(install + L"\\Readme.txt"));
    EXPECT_TRUE(ar::test::exists(uninstaller));
    EXPECT_NE(uninstallLog().find(L"is damaged from line 11 on."), std::wstring::npos);

    // A folder where the log says a file was installed is never removed with its content.
    ar::test::writeFile(install + L"\\Readme.txt.old\\kept.txt", "kept");
    text = logText();
    at = text.find(L"0004:00ff:1");
    text.insert(at, L"0004:0100:1 -- " + install + L"\\Readme.txt.old\r\n");
    writeLog(text);
    EXPECT_EQ(uninstall(L"/S /PURGE"), 3);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_EQ(ar::test::readFile(install + L"\\Readme.txt.old\\kept.txt"), "kept");
    EXPECT_TRUE(ar::test::exists(uninstaller));
}

TEST_F(UninstallerTest, AChangedLogIsHeldToTheFoldersThatTheRegistrationKnows)
{
    makeInstallation();
    // What others own beside the product: another program's folder below the
    // company's data folder, a folder and a link on the desktop, a document and a
    // link of the user's.
    const std::wstring desktop = specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    const std::wstring other = specialFolder(CSIDL_COMMON_APPDATA) + L"\\Ardenvale\\Lumen";
    const std::wstring documents = root / L"Documents";
    const std::vector<std::wstring> foreign{other + L"\\settings.dat", desktop + L"\\Work\\report.txt",
                                            desktop + L"\\Holiday.lnk", documents + L"\\Notes.lnk",
                                            menu + L"\\Manual.doc"};
    for (const std::wstring& path : foreign)
        ar::test::writeFile(path, "not the product's");

    using Kind = ar::RecordKind;
    const std::vector<std::pair<const char*, std::vector<ar::UninstallLogRecord>>> cases{
        {"a folder of another program below the company's data folder",
         {logRecord(Kind::CreatedFolder, other), logRecord(Kind::InstalledFile, foreign[0], 0)}},
        {"a folder on the desktop",
         {logRecord(Kind::CreatedFolder, desktop + L"\\Work"),
          logRecord(Kind::InstalledFile, foreign[1], 0)}},
        {"a desktop link that is not the product's", {logRecord(Kind::DesktopShortcut, foreign[2])}},
        {"the header's shortcut folder", {logRecord(Kind::MenuShortcut, foreign[3])}},
        {"a document as a shortcut", {logRecord(Kind::UninstallShortcut, foreign[4])}},
    };
    for (const auto& [what, inserted] : cases) {
        std::wstring text = logText();
        text.replace(text.find(menu), menu.size(), documents);
        std::size_t at = text.find(L"0004:00ff:1");
        ASSERT_NE(at, std::wstring::npos);
        for (auto it = inserted.rbegin(); it != inserted.rend(); ++it)
            text.insert(at, ar::formatRecordLine(4, *it));
        tamperLog(text);
        EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 3) << what;
        ASSERT_TRUE(ar::test::waitForUninstallers());
        for (const std::wstring& path : foreign)
            EXPECT_EQ(ar::test::readFile(path), "not the product's")
                << what << ": " << ar::test::narrow(path);
        EXPECT_TRUE(ar::test::exists(uninstaller)) << what;
        EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath())) << what;
    }
    // The same records in a log that the installer wrote, its digest recorded: the
    // folder was its own, and so is what lies in it.
    std::wstring text = logText();
    const std::size_t at = text.find(L"0004:00ff:1");
    text.insert(at,
                ar::formatRecordLine(4, cases[1].second[0]) + ar::formatRecordLine(4, cases[1].second[1]));
    writeLog(text);
    EXPECT_EQ(uninstall(L"/S /PURGE"), 0);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_FALSE(ar::test::exists(desktop + L"\\Work"));

    for (const std::wstring& path : {foreign[0], foreign[1], foreign[2]})
        DeleteFileW(path.c_str());
    RemoveDirectoryW((desktop + L"\\Work").c_str());
    RemoveDirectoryW(other.c_str());
    RemoveDirectoryW((specialFolder(CSIDL_COMMON_APPDATA) + L"\\Ardenvale").c_str());
}

TEST_F(UninstallerTest, AChangedLogOfARealInstallationStillRemovesAllOfIt)
{
    auto before = machine().take();
    installFromPayload(L"payload_76.dll");
    // The installation recorded the digest of the log it wrote and its menu folder.
    const std::wstring path = install + L"\\Uninstall.ulog";
    std::string bytes = ar::test::readFile(path);
    const ar::InstallationLogRecord recorded = ar::readInstallationLog();
    EXPECT_EQ(recorded.digest, ar::logDigest(bytes));
    EXPECT_EQ(recorded.menuFolder, menu);

    // Its header now names another folder: the conservative rules still cover every record.
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    const std::wstring header = L"Shortcut Path : " + menu;
    ASSERT_NE(text.find(header), std::wstring::npos);
    text.replace(text.find(header), header.size(), L"Shortcut Path : " + root.path());
    tamperLog(text);
    EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 0) << ar::test::narrow(uninstallLog());
    ASSERT_TRUE(ar::test::waitForUninstallers());
    auto differences = MachineState::differences(before, machine().take());
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

TEST_F(UninstallerTest, AfterUpdatesThatMovedTheStartMenuFolderNothingOfTheProductIsLeft)
{
    auto before = machine().take();
    installFromPayload(L"payload_75.dll");
    menu = root / L"Menu\\Ardenvale Tools";
    installFromPayload(L"payload_76.dll", true);
    menu = root / L"Other Menu\\Pelorium";
    installFromPayload(L"payload_76.dll", true);

    EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 0) << ar::test::narrow(uninstallLog());
    ASSERT_TRUE(ar::test::waitForUninstallers());
    auto differences = MachineState::differences(before, machine().take());
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

TEST_F(UninstallerTest, AReinstallationOverAMissingOrDamagedLogStillUninstallsCompletely)
{
    // The folders above the product's are there before, as Program Files and the
    // Start menu's Programs are: without a log, nothing tells that they were made
    // for the product.
    for (const std::wstring& parent : {root / L"Apps", root / L"Menu"})
        CreateDirectoryW(parent.c_str(), nullptr);
    for (const char* damage : {"missing", "damaged"}) {
        auto before = machine().take();
        installFromPayload(L"payload_76.dll");
        const std::wstring log = install + L"\\Uninstall.ulog";
        SetFileAttributesW(log.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (damage == std::string("missing"))
            DeleteFileW(log.c_str());
        else
            ar::test::writeFile(log, "\xFF\xFEnot a log");
        installFromPayload(L"payload_76.dll", true);

        EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 0)
            << damage << ar::test::narrow(uninstallLog());
        ASSERT_TRUE(ar::test::waitForUninstallers());
        auto differences = MachineState::differences(before, machine().take());
        EXPECT_TRUE(differences.empty()) << damage << ": " << differences.size()
                                         << " differences, first: " << firstDifference(differences);
    }
}

// An update carries the earlier records over and moves the earlier links away: a
// changed earlier log must not make it move, or later uninstall, what is not the
// product's.
TEST_F(UninstallerTest, AnUpdateCarriesNothingOverThatAChangedEarlierLogNames)
{
    installFromPayload(L"payload_76.dll");
    const std::wstring letter = root / L"Documents\\letter.txt";
    const std::wstring manual = menu + L"\\Manual.doc";
    for (const std::wstring& path : {letter, manual})
        ar::test::writeFile(path, "not the product's");
    const ar::EarlierLog earlier = ar::EarlierLog::read(install + L"\\Uninstall.ulog");
    std::wstring text;
    for (const std::wstring& line : ar::formatLogHeader(ar::product::displayName(), L"", install, menu))
        text += line;
    std::size_t number = 0;
    for (ar::UninstallLogRecord record : earlier.records()) {
        if (record.recordKind == ar::RecordKind::MenuShortcut)
            record.path = manual;
        text += ar::formatRecordLine(number++, record);
    }
    text += ar::formatRecordLine(number++, logRecord(ar::RecordKind::InstalledFile, letter, 0));
    tamperLog(text);

    installFromPayload(L"payload_76.dll", true);
    const ar::EarlierLog after = ar::EarlierLog::read(install + L"\\Uninstall.ulog");
    for (const ar::UninstallLogRecord& record : after.records())
        EXPECT_TRUE(record.path != letter && record.path != manual) << ar::test::narrow(record.path);
    EXPECT_EQ(uninstall(L"/S /PURGE"), 0);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    for (const std::wstring& path : {letter, manual})
        EXPECT_EQ(ar::test::readFile(path), "not the product's") << ar::test::narrow(path);
}

// The clean-up mode of the uninstaller's copy removes what the uninstaller that
// started it handed over. Started by another process (here: this test, which hands
// down a real handle of its own), it removes nothing.
TEST_F(UninstallerTest, TheCleanUpModeActsOnlyForTheUninstallerThatStartedIt)
{
    makeInstallation();
    HANDLE self = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                                SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0));
    ar::unique_handle selfHandle(self);
    std::wstring command = L"\"" + uninstaller + L"\" /S /CLEANUP=" +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(self)) +
                           L" /LEVELS=2 \"/ORIGINAL=" + uninstaller + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(uninstaller.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                               nullptr, &startup, &process));
    ar::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(ar::test::exists(uninstaller));
    EXPECT_TRUE(ar::test::exists(install + L"\\Uninstall.ulog"));
}

// A product folder swapped for a link (a standard user may make links in
// C:\ProgramData) leads no removal elsewhere, whether the link is there when the
// plan is made or comes while the uninstaller asks for confirmation: what it leads
// to stays, and the steps through it are listed as left.
TEST_F(UninstallerTest, NothingIsRemovedThroughALinkInPlaceOfAProductFolder)
{
    installFromPayload(L"payload_76.dll");
    const std::wstring data = ar::test::commonDataFolder();
    const std::wstring victims = root / L"Victims";
    const ar::EarlierLog installed = ar::EarlierLog::read(install + L"\\Uninstall.ulog");
    std::wstring readme;
    for (const ar::UninstallLogRecord& record : installed.records())
        if (readme.empty() && record.recordKind == ar::RecordKind::InstalledFile && record.fileKind == 0 &&
            ar::isBelow(record.path, install))
            readme = record.path;
    ASSERT_FALSE(readme.empty());
    {
        // There before the plan: the company's data folder, and a file of the installation.
        ASSERT_TRUE(MoveFileW(data.c_str(), victims.c_str()));
        const std::wstring letter = root / L"letter.txt";
        ar::test::writeFile(letter, "the user's letter");
        SetFileAttributesW(readme.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(DeleteFileW(readme.c_str()));
        ar::test::HostLink folderLink(data, victims), fileLink(readme, letter);
        ASSERT_TRUE(folderLink.made() && fileLink.made()) << "no host links here";
        const auto before = filesBelow(victims);
        ASSERT_GE(before.size(), 2u);

        EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 3);
        ASSERT_TRUE(ar::test::waitForUninstallers());
        EXPECT_EQ(filesBelow(victims), before);
        EXPECT_EQ(ar::test::readFile(letter), "the user's letter");
        const std::wstring log = uninstallLog();
        EXPECT_NE(log.find(L"Could not remove " + data + L"\\"), std::wstring::npos) << ar::test::narrow(log);
        EXPECT_NE(log.find(L"Could not remove " + readme + L": "), std::wstring::npos);
        EXPECT_TRUE(ar::test::exists(uninstaller));
    }
    ASSERT_TRUE(MoveFileW(victims.c_str(), data.c_str()));
    {
        // Made after the plan, while the confirmation is shown.
        const std::wstring caption =
            ar::loadString(IDS_UNINSTALLER) + L" \u2013 " + ar::product::displayName();
        const std::wstring library = data + L"\\Pelorium";
        ar::test::Process run(uninstaller, L"/LOG=\"" + logFile + L"\"");
        HWND dialog = ar::test::waitForDialog(run.id(), caption);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(MoveFileW(library.c_str(), victims.c_str()));
        ar::test::HostLink link(library, victims);
        ASSERT_TRUE(link.made());
        const auto before = filesBelow(victims);
        ASSERT_FALSE(before.empty());
        SendMessageW(GetDlgItem(dialog, 1031), BM_SETCHECK, BST_CHECKED, 0);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 400 && IsWindow(dialog); ++i)
            Sleep(50);
        HWND done = ar::test::waitForDialog(run.id(), caption);
        ASSERT_NE(done, nullptr);
        const std::wstring text = ar::test::textOf(GetDlgItem(done, 0xFFFF));
        EXPECT_NE(text.find(library + L"\\"), std::wstring::npos) << ar::test::narrow(text);
        PostMessageW(done, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(run.wait(), 3);
        ASSERT_TRUE(ar::test::waitForUninstallers());
        EXPECT_EQ(filesBelow(victims), before);
    }
}

// The copy that removes the uninstaller runs elevated, so it runs from a folder of
// its own below the protected set-up folder, never from the user's temporary
// folder; nobody may change or delete it meanwhile, and neither it nor its folder
// is left.
TEST_F(UninstallerTest, ItsCopyRunsFromAProtectedFolderOfItsOwnAndLeavesNothing)
{
    makeInstallation();
    // The installation folder held open keeps the copy at work: it tries again for a while.
    ar::unique_hfile held(CreateFileW(install.c_str(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 0);
    std::wstring copy;
    for (int i = 0; i < 200 && copy.empty(); ++i, Sleep(25))
        copy = runningCopyImage();
    ASSERT_FALSE(copy.empty());
    EXPECT_TRUE(ar::samePlainPath(ar::parentOf(ar::parentOf(copy)), ar::journalFolder()))
        << ar::test::narrow(copy);
    for (DWORD access : {DWORD(GENERIC_WRITE), DWORD(DELETE)}) {
        HANDLE opened =
            CreateFileW(copy.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        const DWORD error = GetLastError();
        ar::unique_hfile changed(opened);
        EXPECT_FALSE(changed) << access;
        EXPECT_EQ(error, DWORD(ERROR_SHARING_VIOLATION)) << access;
    }
    held.reset();
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_FALSE(ar::test::exists(ar::parentOf(copy)));
    EXPECT_TRUE(ar::test::uninstallerCopies().empty());
}

// Undoing the registration starts a program elevated: only the main program that
// the product's record under HKEY_LOCAL_MACHINE names, never one that a changed log
// names instead.
TEST_F(UninstallerTest, UnregistersOnlyWithTheProgramThatTheProductsRecordNames)
{
    makeInstallation();
    const std::wstring helper = install + L"\\Helper.exe";
    ar::test::writeFile(helper, ar::test::readFile(program));
    std::wstring text;
    for (const std::wstring& line : ar::formatLogHeader(ar::product::displayName(), L"", install, menu))
        text += line;
    std::size_t number = 0;
    for (ar::UninstallLogRecord record : records()) {
        if (record.fileKind == 1) {
            text += ar::formatRecordLine(number++, logRecord(ar::RecordKind::InstalledFile, helper, 1));
            record.fileKind = 0;
        }
        text += ar::formatRecordLine(number++, record);
    }
    tamperLog(text);

    uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\"");
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L".pm-lib"));
    EXPECT_EQ(uninstallLog().find(L"File associations of 'Pelorium' removed."), std::wstring::npos);
}

TEST_F(UninstallerTest, RefusesABadSwitchAndWhileTheProductOrAnInstallerRuns)
{
    makeInstallation();
    auto before = machine().take();
    EXPECT_EQ(uninstall(L"/S /BOGUS"), 4);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_TRUE(MachineState::differences(before, machine().take()).empty());
    {
        ar::test::Process product(program, L"");
        ASSERT_TRUE(product.started());
        HWND window = nullptr;
        for (int i = 0; i < 400 && !window; ++i, Sleep(50))
            window = FindWindowW(L"ArdenvalePeloriumMain", nullptr);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 6);
        ASSERT_TRUE(ar::test::waitForUninstallers());
        EXPECT_TRUE(MachineState::differences(before, machine().take()).empty());
        EXPECT_NE(uninstallLog().find(L"You should close 'Pelorium 7.06' before continuing Uninstallation."),
                  std::wstring::npos);
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(product.wait(), 0);
    }
    {
        ar::InstanceLock installer;
        ASSERT_TRUE(installer.acquire());
        EXPECT_EQ(uninstall(L"/S /PURGE"), 1618);
        ASSERT_TRUE(ar::test::waitForUninstallers());
        EXPECT_TRUE(MachineState::differences(before, machine().take()).empty());
    }
    {
        // An installation was ended from outside: its journal waits for the installer.
        ar::RunJournal interrupted;
        ASSERT_TRUE(interrupted.start(L"", {}));
        interrupted.leave();
        const MachineState::Snapshot pending = machine().take();
        EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 2);
        ASSERT_TRUE(ar::test::waitForUninstallers());
        EXPECT_TRUE(MachineState::differences(pending, machine().take()).empty());
        EXPECT_NE(
            uninstallLog().find(L"was interrupted and has not been undone yet. Start the installer again"),
            std::wstring::npos);
        ar::test::removeTree(ar::journalFolder());
    }
    // Once both have ended, the uninstallation goes ahead.
    EXPECT_EQ(uninstall(L"/S /PURGE"), 0);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    EXPECT_FALSE(ar::test::exists(uninstaller));
}

TEST_F(UninstallerTest, AFileInUseIsListedAndALaterRunFinishesTheJob)
{
    auto before = machine().take();
    makeInstallation();
    const std::wstring busy = install + L"\\Readme.txt";
    HANDLE open = CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);

    EXPECT_EQ(uninstall(L"/S /PURGE /LOG=\"" + logFile + L"\""), 3);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    CloseHandle(open);
    EXPECT_NE(uninstallLog().find(L"Could not remove " + busy + L": "), std::wstring::npos);
    // The registration, the uninstaller and its log stay, so that the uninstallation can be repeated.
    EXPECT_TRUE(ar::test::exists(busy));
    EXPECT_TRUE(ar::test::exists(uninstaller));
    EXPECT_TRUE(ar::test::exists(install + L"\\Uninstall.ulog"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath()));
    EXPECT_FALSE(ar::test::exists(program));

    EXPECT_EQ(uninstall(L"/S /PURGE"), 0);
    ASSERT_TRUE(ar::test::waitForUninstallers());
    auto differences = MachineState::differences(before, machine().take());
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

TEST_F(UninstallerTest, AsksInTheStoredLanguageAndCancelsOrGoesAhead)
{
    auto before = machine().take();
    makeInstallation(2); // German
    auto installed = machine().take();
    const std::wstring caption = L"Deinstallationsprogramm \u2013 Pelorium 7.06";
    {
        ar::test::Process run(uninstaller, L"");
        HWND dialog = ar::test::waitForDialog(run.id(), caption);
        ASSERT_NE(dialog, nullptr);
        wchar_t question[256] = {};
        GetDlgItemTextW(dialog, 1030, question, 256);
        EXPECT_EQ(std::wstring(question),
                  L"M\u00f6chten Sie 'Pelorium 7.06' mit allen Komponenten von diesem Computer entfernen?");
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(run.wait(), 1);
    }
    EXPECT_TRUE(MachineState::differences(installed, machine().take()).empty());
    {
        ar::test::Process run(uninstaller, L"");
        HWND dialog = ar::test::waitForDialog(run.id(), caption);
        ASSERT_NE(dialog, nullptr);
        // The data files go too when the user ticks the box.
        SendMessageW(GetDlgItem(dialog, 1031), BM_SETCHECK, BST_CHECKED, 0);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 400 && IsWindow(dialog); ++i)
            Sleep(50);
        HWND done = ar::test::waitForDialog(run.id(), caption);
        ASSERT_NE(done, nullptr);
        wchar_t text[256] = {};
        GetDlgItemTextW(done, 0xFFFF, text, 256);
        EXPECT_EQ(std::wstring(text), L"'Pelorium 7.06' wurde von diesem Computer entfernt.");
        PostMessageW(done, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(run.wait(), 0);
    }
    ASSERT_TRUE(ar::test::waitForUninstallers());
    auto differences = MachineState::differences(before, machine().take());
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

} // namespace
