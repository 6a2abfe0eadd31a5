// The installer program started as an administrator would start it: unattended,
// with its exit codes and its log, and refusing without touching the machine.
#include <shlwapi.h>

#include <algorithm>

#include "product/product.h"
#include "product/product_record.h"
#include "product/version_info.h"
#include "product/system_checks.h"
#include "log/earlier_log.h"
#include "support/handles.h"
#include "tests/system/installer_fixture.h"

namespace {

using ar::test::InstallerProgramTest;
using ar::test::MachineState;
using ar::test::Outcome;
using ar::test::runWatched;
using ar::test::specialFolder;

TEST_F(InstallerProgramTest, SilentInstallationThenReinstallation)
{
    Outcome first = runWatched(installer, L"/S /LOG=\"" + (logs / L"first.log") + L"\"");
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_FALSE(first.windowShown);
    EXPECT_TRUE(ar::test::exists(installFolder() + L"\\Pelorium.exe"));
    EXPECT_TRUE(ar::test::exists(specialFolder(CSIDL_COMMON_PROGRAMS) +
                                 L"\\Ardenvale\\Pelorium 7\\Pelorium 7.06.lnk"));
    EXPECT_TRUE(ar::test::exists(ar::test::publicDesktopLink()));
    EXPECT_EQ(ar::readProductRecord().mainProgram, installFolder() + L"\\Pelorium.exe");
    std::string text = log(L"first.log");
    EXPECT_NE(text.find("Installation Data Writing...OK"), std::string::npos);
    EXPECT_NE(text.find("Exit code 0"), std::string::npos);

    Outcome second = runWatched(installer, L"/S /NODESKTOP /LOG=\"" + (logs / L"second.log") + L"\"");
    EXPECT_EQ(second.exitCode, 0u);
    EXPECT_FALSE(second.windowShown);
    EXPECT_EQ(ar::EarlierLog::read(installFolder() + L"\\Uninstall.ulog").installPath(), installFolder());
    std::string raw = ar::test::readFile(installFolder() + L"\\Uninstall.ulog");
    std::wstring wide(reinterpret_cast<const wchar_t*>(raw.data() + 2), (raw.size() - 2) / 2);
    EXPECT_NE(wide.find(L"// Install Pelorium 7.06 -- Update (Pelorium 7.06)"), std::wstring::npos);
}

std::wstring registeredString(const wchar_t* name)
{
    wchar_t buffer[512] = {};
    DWORD bytes = sizeof(buffer);
    SHGetValueW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), name, nullptr, buffer, &bytes);
    return buffer;
}

TEST_F(InstallerProgramTest, SilentUpdateFromTheOlderBuildAndNoWayBack)
{
    const std::wstring older = ar::test::binaryPath(L"InstallPelorium7.05.exe");
    Outcome first = runWatched(older, L"/S /LOG=\"" + (logs / L"older.log") + L"\"");
    ASSERT_EQ(first.exitCode, 0u) << log(L"older.log");
    EXPECT_EQ(registeredString(L"DisplayName"), L"Pelorium 7.05");
    EXPECT_EQ(registeredString(L"DisplayVersion"), L"7.5.0.2");
    // The user edits a library that the installation keeps.
    const std::wstring library = ar::test::commonDataFolder() + L"\\Pelorium\\Minerals.pm-lib";
    ASSERT_TRUE(ar::test::exists(library));
    ar::test::writeFile(library, "the user's own minerals");

    Outcome update = runWatched(installer, L"/S /LOG=\"" + (logs / L"update.log") + L"\"");
    EXPECT_EQ(update.exitCode, 0u) << log(L"update.log");
    EXPECT_FALSE(update.windowShown);
    EXPECT_EQ(registeredString(L"DisplayName"), L"Pelorium 7.06");
    EXPECT_EQ(registeredString(L"DisplayVersion"), L"7.6.0.4");
    ar::VersionResourceInfo program;
    ASSERT_TRUE(ar::queryVersionResource(program, installFolder() + L"\\Pelorium.exe"));
    EXPECT_EQ(program.fileVersion, ar::product::payloadVersion.value());
    EXPECT_EQ(ar::test::readFile(library), "the user's own minerals");
    std::string raw = ar::test::readFile(installFolder() + L"\\Uninstall.ulog");
    std::wstring wide(reinterpret_cast<const wchar_t*>(raw.data() + 2), (raw.size() - 2) / 2);
    EXPECT_NE(wide.find(L"// Install Pelorium 7.06 -- Update (Pelorium 7.05)"), std::wstring::npos);
    // The kept library stays recorded once, by the earlier installation.
    const ar::EarlierLog merged = ar::EarlierLog::read(installFolder() + L"\\Uninstall.ulog");
    EXPECT_EQ(std::count_if(merged.records().begin(), merged.records().end(),
                            [&](const ar::UninstallLogRecord& record) { return record.path == library; }),
              1);

    // The older installer now finds a newer version and changes nothing.
    auto before = machine().take();
    Outcome back = runWatched(older, L"/S /LOG=\"" + (logs / L"back.log") + L"\"");
    EXPECT_EQ(back.exitCode, 7u);
    EXPECT_NE(log(L"back.log").find("A more recent Version (Pelorium 7.06) is already installed."),
              std::string::npos)
        << log(L"back.log");
    auto differences = MachineState::differences(before, machine().take());
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_NE(differences.front().find("back.log"), std::string::npos);
}

TEST_F(InstallerProgramTest, FolderFromTheCommandLineAndNoShortcuts)
{
    ar::test::TempDir target(L"target");
    std::wstring folder = target / L"My Apps\\Pelorium 7";
    Outcome outcome = runWatched(installer, L"/S /NOMENU /NODESKTOP /LANG=2 /LOG=\"" + (logs / L"d.log") +
                                                L"\" /D=" + folder);
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_TRUE(ar::test::exists(folder + L"\\Pelorium.exe"));
    EXPECT_FALSE(ar::test::exists(specialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale"));
    EXPECT_FALSE(ar::test::exists(ar::test::publicDesktopLink()));
    DWORD language = 0, bytes = sizeof(language);
    SHGetValueW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), L"ArLanguage", nullptr,
                &language, &bytes);
    EXPECT_EQ(language, 2u);
    // The German log.
    EXPECT_NE(log(L"d.log").find("Installationsdaten"), std::string::npos) << log(L"d.log");
    ar::test::removeTree(folder);
}

TEST_F(InstallerProgramTest, MenuFolderLiesBelowProgramsAndAFailedStepEndsWithCode5)
{
    // A file where the shortcuts' folder would be: the installation succeeds, its
    // shortcut step fails, and deployment tools must hear of it.
    const std::wstring programs = specialFolder(CSIDL_COMMON_PROGRAMS);
    CreateDirectoryW((programs + L"\\Ardenvale").c_str(), nullptr);
    ar::test::writeFile(programs + L"\\Ardenvale\\Blocked", "not a folder");
    Outcome blocked = runWatched(installer, L"/S /NODESKTOP /MENU=Ardenvale\\Blocked\\Menu /LOG=\"" +
                                                (logs / L"blocked.log") + L"\"");
    EXPECT_EQ(blocked.exitCode, 5u) << log(L"blocked.log");
    EXPECT_NE(log(L"blocked.log").find("Shortcuts Creation...Failed"), std::string::npos)
        << log(L"blocked.log");
    EXPECT_TRUE(ar::test::exists(installFolder() + L"\\Pelorium.exe"));

    Outcome tools = runWatched(installer, L"/S /NODESKTOP /MENU=Ardenvale\\Tools");
    EXPECT_EQ(tools.exitCode, 0u);
    EXPECT_TRUE(ar::test::exists(programs + L"\\Ardenvale\\Tools\\Pelorium 7.06.lnk"));
}

TEST_F(InstallerProgramTest, TooLittleSpaceIsARefusalBeforeAnythingIsWritten)
{
    const std::wstring volume = ar::test::smallVolume();
    if (volume.empty())
        GTEST_SKIP() << "no small volume S: (mounting needs root)";
    auto before = machine().take();
    Outcome outcome =
        runWatched(installer, L"/S /LOG=\"" + (logs / L"space.log") + L"\" /D=" + volume + L"Pelorium 7");
    EXPECT_EQ(outcome.exitCode, 10u) << log(L"space.log");
    const std::string written = log(L"space.log");
    EXPECT_NE(written.find("There is not enough space on S:\\: the installation needs "), std::string::npos)
        << written;
    EXPECT_EQ(written.find("Copying"), std::string::npos) << written;
    // Only the log file is new.
    auto differences = MachineState::differences(before, machine().take());
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_NE(differences.front().find("space.log"), std::string::npos);
    EXPECT_FALSE(ar::test::exists(volume + L"Pelorium 7"));
}

TEST_F(InstallerProgramTest, LinksPlantedInTheSharedDataFolderGetNothingWrittenThroughThem)
{
    // Standard users may create folders in the common application data folder, and
    // with them links (host links, which Wine follows as Windows follows links).
    const std::wstring data = ar::test::commonDataFolder();
    const std::wstring system = specialFolder(CSIDL_SYSTEM) + L"\\ar-planted.dll";
    // Links are made and removed on the host side, which never follows a link it
    // removes; the host knows the names of folders that exist, so they are made first.
    auto plant = [&](const std::wstring& target, const std::wstring& link) {
        SHCreateDirectoryExW(nullptr, (data + L"\\Pelorium").c_str(), nullptr);
        return ar::test::hostShell("rm -rf " + ar::test::hostPath(link) + "; ln -s " +
                                   ar::test::hostPath(target) + " " + ar::test::hostPath(link));
    };
    auto unplant = [&] {
        ASSERT_TRUE(ar::test::hostShell("rm -rf " + ar::test::hostPath(data)));
        clean();
    };
    auto install = [&](const std::wstring& name) {
        return runWatched(installer, L"/S /LOG=\"" + (logs / name) + L"\"").exitCode;
    };

    // A dangling link where a library goes: it is neither followed nor replaced.
    ASSERT_TRUE(plant(system, data + L"\\Pelorium\\Minerals.pm-lib"));
    const DWORD dangling = install(L"dangling.log");
    EXPECT_TRUE(dangling == 2u || dangling == 3u) << dangling << log(L"dangling.log");
    EXPECT_FALSE(ar::test::exists(system));
    unplant();

    // A linked product folder: the installer refuses before it writes anything.
    ar::test::TempDir victim(L"victim");
    ASSERT_TRUE(plant(victim.path(), data + L"\\Pelorium"));
    EXPECT_EQ(install(L"linked.log"), 2u) << log(L"linked.log");
    EXPECT_NE(log(L"linked.log").find("Pelorium' or what is in it"), std::string::npos) << log(L"linked.log");
    EXPECT_FALSE(ar::test::exists(installFolder()));
    EXPECT_TRUE(PathIsDirectoryEmptyW(victim.path().c_str()));
    unplant();

    // A folder that everyone may change, without links in it, is made safe first.
    CreateDirectoryW(data.c_str(), nullptr);
    ASSERT_TRUE(ar::test::hostShell("chmod 777 " + ar::test::hostPath(data)));
    EXPECT_EQ(install(L"opened.log"), 0u) << log(L"opened.log");
    EXPECT_NE(log(L"opened.log").find("now only administrators can"), std::string::npos)
        << log(L"opened.log");
    EXPECT_TRUE(ar::test::exists(data + L"\\Pelorium\\Minerals.pm-lib"));
}

// What changed, less the log files.
std::vector<std::string> besideTheLogs(std::vector<std::string> differences)
{
    differences.erase(
        std::remove_if(differences.begin(), differences.end(),
                       [](const std::string& line) { return line.find(".log (file") != std::string::npos; }),
        differences.end());
    return differences;
}

TEST_F(InstallerProgramTest, RefusalsChangeNothing)
{
    auto before = machine().take();

    // A bad switch.
    EXPECT_EQ(runWatched(installer, L"/S /BOGUS").exitCode, 4u);
    // Another installer holds the lock.
    {
        ar::InstanceLock lock;
        ASSERT_TRUE(lock.acquire());
        Outcome locked = runWatched(installer, L"/S /LOG=\"" + (logs / L"locked.log") + L"\"");
        EXPECT_EQ(locked.exitCode, 1618u);
        EXPECT_FALSE(locked.windowShown);
        EXPECT_NE(log(L"locked.log").find("Resource in use."), std::string::npos);
    }
    // The product is running (this process registers like the product does).
    ASSERT_TRUE(ar::registerRunningInstance());
    Outcome running = runWatched(installer, L"/S /LOG=\"" + (logs / L"running.log") + L"\"");
    EXPECT_EQ(running.exitCode, 6u);
    EXPECT_FALSE(running.windowShown);
    EXPECT_NE(log(L"running.log").find("You should close 'Pelorium' before continuing Installation."),
              std::string::npos);

    // Only the log files of the refusals are new.
    auto differences = besideTheLogs(MachineState::differences(before, machine().take()));
    EXPECT_TRUE(differences.empty()) << differences.front();
}

// Files of the installed product that another program holds: the installed program
// held against reading is in use, not unreadable, and a held library stops the run
// before it writes anything; unattended, both end with their own code.
TEST_F(InstallerProgramTest, FilesHeldByAnotherProgramEndWithTheirOwnCodeAndChangeNothing)
{
    ASSERT_EQ(runWatched(installer, L"/S").exitCode, 0u);
    auto before = machine().take();
    const auto hold = [](const std::wstring& path, DWORD share) {
        return ar::unique_hfile(
            CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    {
        const ar::unique_hfile held = hold(installFolder() + L"\\Pelorium.exe", 0);
        ASSERT_TRUE(held);
        EXPECT_EQ(runWatched(installer, L"/S /LOG=\"" + (logs / L"program.log") + L"\"").exitCode, 11u);
        EXPECT_NE(log(L"program.log").find("is in use by another program, so its version cannot be read"),
                  std::string::npos)
            << log(L"program.log");
    }
    {
        const std::wstring library = installFolder() + L"\\Lang\\Pelorium.de.dll";
        const ar::unique_hfile held = hold(library, FILE_SHARE_READ);
        ASSERT_TRUE(held);
        EXPECT_EQ(runWatched(installer, L"/S /LOG=\"" + (logs / L"library.log") + L"\"").exitCode, 11u);
        EXPECT_NE(log(L"library.log").find("In use by another program: " + ar::test::narrow(library)),
                  std::string::npos)
            << log(L"library.log");
    }
    auto differences = besideTheLogs(MachineState::differences(before, machine().take()));
    EXPECT_TRUE(differences.empty()) << differences.front();
}

// Waits until a process of the product or an installer has registered or taken its lock.
void settle()
{
    Sleep(1500);
}

TEST_F(InstallerProgramTest, RunningProductIsCountedUntilItEnds)
{
    // The demo program registers with the running-product counter like the product.
    ar::test::Started product = ar::test::startProcess(ar::test::binaryPath(L"demo\\Pelorium.exe"));
    ASSERT_TRUE(product.process);
    settle();
    Outcome whileRunning = runWatched(installer, L"/S /LOG=\"" + (logs / L"running.log") + L"\"");
    EXPECT_EQ(whileRunning.exitCode, 6u);
    EXPECT_FALSE(ar::test::exists(installFolder()));
    TerminateProcess(product.process.get(), 0);
    WaitForSingleObject(product.process.get(), 10000);
    EXPECT_EQ(runWatched(installer, L"/S").exitCode, 0u);
}

TEST_F(InstallerProgramTest, LockAbandonedByAKilledInstallerIsTaken)
{
    // An installer showing its wizard holds the lock; killed, it leaves it abandoned.
    ar::test::Started first = ar::test::startProcess(installer);
    ASSERT_TRUE(first.process);
    settle();
    EXPECT_EQ(runWatched(installer, L"/S").exitCode, 1618u);
    TerminateProcess(first.process.get(), 0);
    WaitForSingleObject(first.process.get(), 10000);
    EXPECT_EQ(runWatched(installer, L"/S").exitCode, 0u);
}

TEST_F(InstallerProgramTest, NewerVersionInstalledIsRefused)
{
    ASSERT_EQ(ar::recordProduct(ar::test::binaryPath(L"version_probe_newer.exe")), ERROR_SUCCESS);
    auto before = machine().take();
    Outcome outcome = runWatched(installer, L"/S /LOG=\"" + (logs / L"newer.log") + L"\"");
    EXPECT_EQ(outcome.exitCode, 7u);
    EXPECT_NE(log(L"newer.log").find("A more recent Version (Pelorium 8.0) is already installed."),
              std::string::npos);
    auto differences = MachineState::differences(before, machine().take());
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_NE(differences.front().find("newer.log"), std::string::npos);
}

TEST_F(InstallerProgramTest, UnsupportedSystemEndsBeforeStartUpWithItsOwnCode)
{
    // Wine reports the version that its AppDefaults key names for a program: Windows
    // 2000 (5.0), which the installer does not support.
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + installer.substr(installer.rfind(L'\\') + 1);
    const wchar_t version[] = L"win2k";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version, sizeof(version)),
              ERROR_SUCCESS);
    auto before = machine().take();
    Outcome outcome = runWatched(installer, L"/S /LOG=\"" + (logs / L"old.log") + L"\"");
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    EXPECT_EQ(outcome.exitCode, 8u);
    EXPECT_FALSE(outcome.windowShown);
    // It ends before it reads its command line: no log either.
    EXPECT_TRUE(MachineState::differences(before, machine().take()).empty());
}

TEST_F(InstallerProgramTest, DamagedPayloadFailsAndLeavesNothing)
{
    std::wstring copy = logs / L"InstallDamaged.exe";
    ASSERT_TRUE(ar::test::copyWithDamagedPayload(installer, copy, 0.33));

    auto before = machine().take();
    Outcome outcome = runWatched(copy, L"/S /LOG=\"" + (logs / L"damaged.log") + L"\"");
    EXPECT_EQ(outcome.exitCode, 3u);
    EXPECT_NE(log(L"damaged.log").find("Installation failed (Error Code 4)."), std::string::npos);
    auto differences = MachineState::differences(before, machine().take());
    differences.erase(
        std::remove_if(differences.begin(), differences.end(),
                       [](const std::string& line) { return line.find("damaged.log") != std::string::npos; }),
        differences.end());
    EXPECT_TRUE(differences.empty()) << differences.front();
    EXPECT_TRUE(ar::test::runTemporaryFolders().empty());
}

} // namespace

namespace platform {

// Whether HKLM holds `path` in the registry view that `view` selects
// (KEY_WOW64_32KEY or KEY_WOW64_64KEY).
bool keyInView(const std::wstring& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace platform

// Where a 32-bit installer belongs on 64-bit Windows, checked from both sides of
// WoW64: the 32-bit folders and registry view, not the 64-bit ones; the DirectX
// set-up loaded from the run's private folder; and the uninstaller takes it all away.
TEST_F(InstallerProgramTest, A32BitInstallationLandsInThe32BitPlacesAndUninstallsClean)
{
#ifdef _WIN64
    GTEST_SKIP() << "a 64-bit build of the tests cannot see WoW64; the 32-bit build checks this";
#endif
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    ASSERT_TRUE(wow64) << "the tests run as 32-bit programs in a 64-bit prefix";

    auto before = machine().take();
    const std::wstring dsetupLog = logs / L"dsetup.log";
    SetEnvironmentVariableW(L"AR_DSETUP_LOG", dsetupLog.c_str());
    Outcome outcome = runWatched(installer, L"/S /LOG=\"" + (logs / L"install.log") + L"\"");
    SetEnvironmentVariableW(L"AR_DSETUP_LOG", nullptr);
    ASSERT_EQ(outcome.exitCode, 0u) << log(L"install.log");

    EXPECT_EQ(installFolder(), L"C:\\Program Files (x86)\\Ardenvale\\Pelorium 7");
    EXPECT_TRUE(ar::test::exists(installFolder() + L"\\Pelorium.exe"));
    EXPECT_FALSE(ar::test::exists(L"C:\\Program Files\\Ardenvale"));

    const std::wstring uninstallKey = ar::product::uninstallKeyPath();
    EXPECT_TRUE(platform::keyInView(uninstallKey, KEY_WOW64_32KEY));
    EXPECT_FALSE(platform::keyInView(uninstallKey, KEY_WOW64_64KEY));
    EXPECT_TRUE(platform::keyInView(
        L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ar::product::productKey(),
        KEY_WOW64_64KEY));
    EXPECT_TRUE(platform::keyInView(L"Software\\Ardenvale", KEY_WOW64_32KEY));
    EXPECT_FALSE(platform::keyInView(L"Software\\Ardenvale", KEY_WOW64_64KEY));

    // The set-up ran from the private folder of the run, in the protected set-up
    // folder (never the user's temporary folder), which is gone again.
    std::string calls = ar::test::readFile(dsetupLog);
    const std::string source =
        "DirectXSetupW flags=0x00010018 owner=none source=" +
        ar::test::narrow(specialFolder(CSIDL_COMMON_APPDATA) + L"\\Ardenvale Setup\\ardenvale_{");
    EXPECT_NE(calls.find(source), std::string::npos) << calls;
    EXPECT_NE(log(L"install.log").find("Mise à jour de DirectX...OK"), std::string::npos);
    EXPECT_TRUE(ar::test::runTemporaryFolders().empty());

    Outcome removed = runWatched(installFolder() + L"\\Uninstall.exe", L"/S /PURGE");
    EXPECT_EQ(removed.exitCode, 0u);
    EXPECT_TRUE(
        ar::test::waitUntil([&] { return !ar::test::exists(L"C:\\Program Files (x86)\\Ardenvale"); }, 60000));
    EXPECT_FALSE(platform::keyInView(uninstallKey, KEY_WOW64_32KEY));
    auto differences = MachineState::differences(before, machine().take());
    differences.erase(
        std::remove_if(differences.begin(), differences.end(),
                       [](const std::string& line) { return line.find(".log") != std::string::npos; }),
        differences.end());
    EXPECT_TRUE(differences.empty()) << differences.front();
}
