// The installation run end to end on the demo product's payloads: real files,
// real shortcuts, the real registry, the demo DirectX set-up stand-in and the
// demo program's self-registration.
#include "engine/installation.h"
#include "log/run_journal.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <thread>

#include "engine/install_context.h"
#include "product/language.h"
#include "product/product.h"
#include "product/product_record.h"
#include "payload/payload.h"
#include "support/handles.h"
#include "support/module_state.h"
#include "tests/support/machine_state.h"
#include "tests/support/test_support.h"

namespace {

using ar::test::MachineState;

class RecordingView : public ar::InstallView {
public:
    void setStatus(const std::wstring& text) override { statuses.push_back(text); }
    void appendLogLine(const std::wstring& text, bool ruled) override
    {
        log += (text.empty() || ruled) ? L"<rule " + text + L">\r\n" : text;
    }
    void showProgress(bool visible) override { progressVisible = visible; }
    void setProgress(int percent) override { progress.push_back(percent); }
    bool askRetry(const std::wstring& text) override
    {
        asked.push_back(text);
        return retry && retry();
    }

    std::function<bool()> retry; // the answer to a question, Cancel without one
    std::vector<std::wstring> asked;
    std::wstring log;
    std::vector<std::wstring> statuses;
    std::vector<int> progress;
    bool progressVisible = false;
};

std::vector<std::wstring> lines(const std::wstring& text)
{
    std::vector<std::wstring> out;
    size_t start = 0, end;
    while ((end = text.find(L"\r\n", start)) != std::wstring::npos) {
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (start < text.size())
        out.push_back(text.substr(start));
    return out;
}

class InstallationRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ar::setLanguage(ar::english);
        ar::test::removeProductTraces();
        installFolder = root / L"Program Files\\Ardenvale\\Pelorium 7";
        shortcutFolder = root / L"Menu\\Ardenvale\\Pelorium 7";
        dsetupLog = outside / L"dsetup.log";
        SetEnvironmentVariableW(L"AR_DSETUP_LOG", dsetupLog.c_str());
        usePayload(L"payload_76.dll");
    }

    void TearDown() override
    {
        ar::setResourceModule(nullptr);
        for (HMODULE module : modules)
            FreeLibrary(module);
        SetEnvironmentVariableW(L"AR_DSETUP_LOG", nullptr);
        SetEnvironmentVariableW(L"AR_DSETUP_RESULT", nullptr);
        ar::test::removeProductTraces();
    }

    void usePayload(const std::wstring& library)
    {
        HMODULE module =
            LoadLibraryExW(library.find(L'\\') == std::wstring::npos ? ar::test::binaryPath(library).c_str()
                                                                     : library.c_str(),
                           nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        modules.push_back(module);
        ar::setResourceModule(module);
    }

    // A context as start-up leaves it for a fresh installation.
    std::unique_ptr<ar::InstallContext> freshContext()
    {
        auto context = std::make_unique<ar::InstallContext>();
        context->instanceLock.acquire();
        context->installFolder = installFolder;
        context->shortcutFolder = shortcutFolder;
        context->createMenuShortcut = true;
        context->createDesktopShortcut = true;
        return context;
    }

    // A context as start-up leaves it over an earlier installation.
    std::unique_ptr<ar::InstallContext> contextOver(ar::InstallState state)
    {
        auto context = freshContext();
        context->installState = state;
        context->earlierLog = ar::EarlierLog::read(installFolder + L"\\Uninstall.ulog");
        context->installFolder = context->earlierLog.installPath();
        context->shortcutFolder = context->earlierLog.shortcutPath();
        return context;
    }

    // The payload's entries with their resolved destinations; writes nothing.
    std::vector<ar::PayloadEntry> entries()
    {
        std::vector<ar::PayloadEntry> found;
        ar::imemstream archive = ar::open_payload_resource();
        ar::test::TempDir temp(L"list");
        bool ok = ar::extract_payload(archive, {installFolder, L"Pelorium Examples", temp.path()},
                                      [&](const ar::notification& n) {
                                          if (auto begin = n.get_if<ar::notification::file_begin>()) {
                                              found.push_back(*begin->entry);
                                              return ar::notification::result::skip;
                                          }
                                          return ar::notification::result::proceed;
                                      });
        EXPECT_TRUE(ok);
        return found;
    }

    MachineState machine()
    {
        return MachineState({root.path(), ar::test::commonDataFolder(), ar::test::userDataFolder(),
                             ar::test::publicDesktopLink()},
                            ar::test::productKeys());
    }

    int dsetupRuns()
    {
        if (!ar::test::exists(dsetupLog))
            return 0;
        std::string text = ar::test::readFile(dsetupLog);
        int count = 0;
        for (size_t at = 0; (at = text.find("DirectXSetupW", at)) != std::string::npos; ++at)
            ++count;
        return count;
    }

    bool install(ar::InstallContext& context, std::function<bool()> retry = {})
    {
        view = RecordingView();
        view.retry = std::move(retry);
        outcome = ar::runInstallation(context, view);
        programs = outcome.programs;
        return outcome.installed();
    }

    void expectRolledBack(const MachineState::Snapshot& before, const std::string& what)
    {
        auto after = machine().take();
        auto diff = MachineState::differences(before, after);
        EXPECT_TRUE(diff.empty()) << what << ": " << diff.size() << " differences, first: " << diff.front();
        EXPECT_TRUE(ar::test::runTemporaryFolders().empty()) << what;
        ASSERT_FALSE(view.statuses.empty());
        EXPECT_EQ(view.statuses.back().rfind(L"Installation failed (Error Code ", 0), 0u) << what;
    }

    ar::test::TempDir root{L"run"};
    ar::test::TempDir outside{L"aside"}; // not part of the machine's snapshots
    std::wstring installFolder, shortcutFolder, dsetupLog;
    std::vector<HMODULE> modules;
    RecordingView view;
    ar::RunResult outcome;
    ar::InstalledPrograms programs;
};

TEST_F(InstallationRunTest, FreshInstallationPutsEverythingInPlace)
{
    auto all = entries();
    ASSERT_GE(all.size(), 40u);
    auto context = freshContext();
    ASSERT_TRUE(install(*context)) << ar::test::narrow(view.log);

    // Every file with its checksum; the two programs read-only.
    size_t installed = 0;
    for (const ar::PayloadEntry& entry : all) {
        if (entry.kind == ar::FileKind::SetupTemporary)
            continue;
        ++installed;
        ASSERT_TRUE(ar::test::exists(entry.destination)) << ar::test::narrow(entry.destination);
        EXPECT_EQ(ar::file_crc32(entry.destination), entry.crc) << ar::test::narrow(entry.destination);
        bool readOnly = GetFileAttributesW(entry.destination.c_str()) & FILE_ATTRIBUTE_READONLY;
        EXPECT_EQ(readOnly,
                  entry.kind == ar::FileKind::MainProgram || entry.kind == ar::FileKind::Uninstaller);
    }
    EXPECT_EQ(programs.programPath, installFolder + L"\\Pelorium.exe");
    EXPECT_EQ(programs.uninstallerPath, installFolder + L"\\Uninstall.exe");
    EXPECT_TRUE(ar::test::runTemporaryFolders().empty());

    // Shortcuts.
    ar::test::ShortcutContents menu = ar::test::readShortcut(shortcutFolder + L"\\Pelorium 7.06.lnk");
    EXPECT_EQ(menu.target, programs.programPath);
    EXPECT_EQ(menu.workingFolder, installFolder);
    EXPECT_EQ(ar::test::readShortcut(shortcutFolder + L"\\Uninstall Pelorium.lnk").target,
              programs.uninstallerPath);
    EXPECT_EQ(ar::test::readShortcut(ar::test::publicDesktopLink()).target, programs.programPath);

    // Registration, product record, self-registration.
    wchar_t value[MAX_PATH] = {};
    DWORD bytes = sizeof(value);
    ASSERT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), L"UninstallString",
                          nullptr, value, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(value), L'"' + programs.uninstallerPath + L'"');
    EXPECT_EQ(ar::readProductRecord().mainProgram, programs.programPath);
    bytes = sizeof(value);
    EXPECT_EQ(SHGetValueW(HKEY_CLASSES_ROOT, L".pm-lib", nullptr, nullptr, value, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(dsetupRuns(), 1);

    // The uninstall log lists what was done.
    const ar::EarlierLog log = ar::EarlierLog::read(installFolder + L"\\Uninstall.ulog");
    EXPECT_EQ(log.installPath(), installFolder);
    EXPECT_EQ(log.shortcutPath(), shortcutFolder);
    EXPECT_EQ(log.product(), L"Pelorium 7.06");
    size_t files = 0, shortcuts = 0;
    for (const ar::UninstallLogRecord& record : log.records()) {
        EXPECT_TRUE(record.succeeded) << int(record.recordKind) << " " << ar::test::narrow(record.path);
        files += record.recordKind == ar::RecordKind::InstalledFile;
        shortcuts += record.recordKind == ar::RecordKind::MenuShortcut ||
                     record.recordKind == ar::RecordKind::UninstallShortcut ||
                     record.recordKind == ar::RecordKind::DesktopShortcut;
    }
    EXPECT_EQ(files, installed);
    EXPECT_EQ(shortcuts, 3u);
    EXPECT_EQ(log.records().back().recordKind, ar::RecordKind::SelfRegistration);

    // The progress log and bar.
    auto shown = lines(view.log);
    ASSERT_GE(shown.size(), installed + 6);
    EXPECT_EQ(shown[0], L"<rule >");
    EXPECT_EQ(shown[1], L"Preparing Installation...OK");
    EXPECT_EQ(shown[2].rfind(L"Copying File  ", 0), 0u);
    EXPECT_NE(view.log.find(L"Copying File  \"" + installFolder + L"\\Pelorium.exe\"...OK\r\n"),
              std::wstring::npos);
    EXPECT_EQ(shown[shown.size() - 4], L"Shortcuts Creation...OK");
    EXPECT_EQ(shown[shown.size() - 3], L"Mise \u00e0 jour de DirectX...OK");
    EXPECT_EQ(shown[shown.size() - 2], L"Registry Data Writing...OK");
    EXPECT_EQ(shown[shown.size() - 1], L"Installation Data Writing...OK");
    EXPECT_EQ(view.statuses.back(), L"Click on 'Next' to continue.");
    ASSERT_FALSE(view.progress.empty());
    EXPECT_EQ(view.progress.back(), 100);
    EXPECT_EQ(std::count(view.progress.begin(), view.progress.end(), 100), 1);
}

TEST_F(InstallationRunTest, ReinstallationKeepsDataRewritesTexturesAndRepeatsDirectX)
{
    auto all = entries();
    ASSERT_TRUE(install(*freshContext()));
    std::wstring library, texture;
    for (const ar::PayloadEntry& entry : all) {
        if (entry.kind == ar::FileKind::EditableData && entry.size > 0 && library.empty())
            library = entry.destination;
        if (entry.kind == ar::FileKind::Texture && texture.empty())
            texture = entry.destination;
    }
    ar::test::writeFile(library, "the user's own library");
    ar::test::writeFile(texture, "scribbled");

    auto context = contextOver(ar::InstallState::Same);
    ASSERT_EQ(context->installFolder, installFolder);
    ASSERT_TRUE(install(*context)) << ar::test::narrow(view.log);
    EXPECT_EQ(ar::test::readFile(library), "the user's own library");
    EXPECT_NE(ar::test::readFile(texture), "scribbled");
    EXPECT_EQ(view.log.find(library), std::wstring::npos);
    EXPECT_EQ(dsetupRuns(), 2);

    const ar::EarlierLog log = ar::EarlierLog::read(installFolder + L"\\Uninstall.ulog");
    EXPECT_EQ(log.product(), L"Pelorium 7.06");
    std::string text = ar::test::readFile(installFolder + L"\\Uninstall.ulog");
    std::wstring wide(reinterpret_cast<const wchar_t*>(text.data() + 2), (text.size() - 2) / 2);
    EXPECT_NE(wide.find(L"// Install Pelorium 7.06 -- Update (Pelorium 7.06)\r\n"), std::wstring::npos);
    // The kept library is recorded once, by the earlier installation.
    size_t records = 0;
    for (const auto& record : log.records())
        records += record.path == library;
    EXPECT_EQ(records, 1u);
}

TEST_F(InstallationRunTest, UpdateSkipsTexturesAndAnEarlierDirectXSetup)
{
    usePayload(L"payload_75.dll");
    ASSERT_TRUE(install(*freshContext()));
    ar::VersionResourceInfo old;
    ASSERT_TRUE(ar::queryVersionResource(old, installFolder + L"\\Pelorium.exe"));
    const ar::product::Version older{7, 5, 0, 2};
    EXPECT_EQ(old.fileVersion, older.value());
    std::wstring texture;
    for (const ar::PayloadEntry& entry : entries())
        if (entry.kind == ar::FileKind::Texture && texture.empty())
            texture = entry.destination;
    ar::test::writeFile(texture, "kept by the update");

    usePayload(L"payload_76.dll");
    auto context = contextOver(ar::InstallState::Update);
    ASSERT_TRUE(install(*context)) << ar::test::narrow(view.log);
    EXPECT_EQ(ar::test::readFile(texture), "kept by the update");
    EXPECT_EQ(dsetupRuns(), 1);
    EXPECT_EQ(view.log.find(L"DirectX"), std::wstring::npos);
    ar::VersionResourceInfo now;
    ASSERT_TRUE(ar::queryVersionResource(now, installFolder + L"\\Pelorium.exe"));
    EXPECT_EQ(now.fileVersion, ar::product::payloadVersion.value());
}

TEST_F(InstallationRunTest, FailureAtEveryFileOfAFreshInstallationRestoresTheMachine)
{
    auto all = entries();
    auto context = freshContext();
    int tried = 0;
    for (const ar::PayloadEntry& entry : all) {
        if (entry.kind == ar::FileKind::SetupTemporary)
            continue;
        // A folder standing where the file must go.
        ASSERT_TRUE(SHCreateDirectoryExW(nullptr, entry.destination.c_str(), nullptr) == ERROR_SUCCESS);
        auto before = machine().take();
        EXPECT_FALSE(install(*context)) << ar::test::narrow(entry.destination);
        expectRolledBack(before, ar::test::narrow(entry.destination));
        EXPECT_FALSE(context->installSucceeded);
        ar::test::removeTree(entry.destination);
        ++tried;
    }
    std::printf("fault injection: %d failure points tried\n", tried);
    // The same context installs once nothing stands in the way.
    ASSERT_TRUE(install(*context)) << ar::test::narrow(view.log);
}

TEST_F(InstallationRunTest, FailureAtEveryFileOfAnUpdateRestoresTheEarlierInstallation)
{
    usePayload(L"payload_75.dll");
    ASSERT_TRUE(install(*freshContext()));
    usePayload(L"payload_76.dll");
    int tried = 0;
    for (const ar::PayloadEntry& entry : entries()) {
        // Only files the update replaces: kept data and skipped textures are not touched.
        if (entry.kind == ar::FileKind::SetupTemporary || entry.kind == ar::FileKind::EditableData ||
            entry.kind == ar::FileKind::Texture)
            continue;
        auto context = contextOver(ar::InstallState::Update);
        // A folder where the earlier file was (a file held open by another program is
        // found before anything is written): the run fails at this file.
        const std::wstring aside = outside / L"earlier-file";
        ASSERT_TRUE(MoveFileW(entry.destination.c_str(), aside.c_str())) << ar::test::narrow(entry.destination);
        ASSERT_TRUE(CreateDirectoryW(entry.destination.c_str(), nullptr));
        auto before = machine().take();
        bool ok = install(*context);
        EXPECT_FALSE(ok) << ar::test::narrow(entry.destination);
        if (ok)
            break;
        expectRolledBack(before, ar::test::narrow(entry.destination));
        ASSERT_TRUE(RemoveDirectoryW(entry.destination.c_str()));
        ASSERT_TRUE(MoveFileW(aside.c_str(), entry.destination.c_str()));
        ++tried;
    }
    std::printf("fault injection during an update: %d failure points tried\n", tried);
    EXPECT_GT(tried, 0);
}

TEST_F(InstallationRunTest, DamagedPayloadFailsVerificationBeforeAnyFile)
{
    // A copy of the payload library whose compressed bytes have one byte changed.
    std::wstring copy = root / L"damaged.dll";
    ASSERT_TRUE(ar::test::copyWithDamagedPayload(ar::test::binaryPath(L"payload_76.dll"), copy));
    usePayload(copy);

    auto before = machine().take();
    auto context = freshContext();
    EXPECT_FALSE(install(*context));
    expectRolledBack(before, "damaged payload");
    EXPECT_EQ(view.statuses.back(), L"Installation failed (Error Code 4).");
    EXPECT_NE(view.log.find(L"Preparing Installation...Failed"), std::wstring::npos);
    EXPECT_EQ(view.log.find(L"Copying File"), std::wstring::npos);
}

TEST_F(InstallationRunTest, FailingProductRecordRollsBackAndAnUpdateGetsItsRegistrationBack)
{
    ASSERT_TRUE(install(*freshContext()));
    // A volatile company key cannot take the product's record.
    ar::test::removeTree(root / L"unused");
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Ardenvale");
    ar::unique_hkey company;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ardenvale", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, company.put(), nullptr),
              ERROR_SUCCESS);
    ar::unique_hkey uninstall;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), 0, KEY_ALL_ACCESS,
                            uninstall.put()),
              ERROR_SUCCESS);
    const wchar_t note[] = L"kept";
    RegSetValueExW(uninstall.get(), L"Comments", 0, REG_SZ, reinterpret_cast<const BYTE*>(note),
                   sizeof(note));
    uninstall.reset();

    auto context = contextOver(ar::InstallState::Same);
    auto before = machine().take();
    EXPECT_FALSE(install(*context));
    EXPECT_EQ(outcome.outcome, ar::RunOutcome::Failed);
    expectRolledBack(before, "product record");
    EXPECT_EQ(view.statuses.back(), L"Installation failed (Error Code 1021).");
}

// A file that another program holds without sharing deletion is found before the
// run writes anything: Cancel (an unattended run's answer) leaves the machine as it
// was, Retry goes on once the file is free.
TEST_F(InstallationRunTest, AHeldFileIsNamedBeforeAnythingIsWrittenAndRetryGoesOnOnceItIsFree)
{
    ASSERT_TRUE(install(*freshContext()));
    const std::wstring program = installFolder + L"\\Pelorium.exe";
    ar::unique_hfile held(
        CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    auto context = contextOver(ar::InstallState::Same);
    auto before = machine().take();
    EXPECT_FALSE(install(*context));
    EXPECT_EQ(outcome.outcome, ar::RunOutcome::RefusedForFilesInUse);
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_NE(view.asked[0].find(program + L"\r\n"), std::wstring::npos) << ar::test::narrow(view.asked[0]);
    EXPECT_NE(view.log.find(L"In use by another program: " + program + L"\r\n"), std::wstring::npos);
    EXPECT_EQ(view.statuses.back(),
              L"Files are in use: nothing has been changed, and the installed version is as it was.");
    auto diff = MachineState::differences(before, machine().take());
    EXPECT_TRUE(diff.empty()) << diff.size() << " differences, first: " << diff.front();
    EXPECT_TRUE(ar::test::runTemporaryFolders().empty());

    ASSERT_TRUE(install(*context, [&] {
        held.reset();
        return true;
    })) << ar::test::narrow(view.log);
    EXPECT_EQ(view.asked.size(), 1u);
}

TEST_F(InstallationRunTest, LaterStepsOnlyMarkTheirLinesFailed)
{
    // A shortcut folder that cannot exist, a failing DirectX set-up, a program that
    // cannot register its association and a log file that cannot be written.
    SetEnvironmentVariableW(L"AR_DSETUP_RESULT", L"-9");
    ar::unique_hkey association;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Ardenvale.Pelorium.Library", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, association.put(), nullptr),
              ERROR_SUCCESS);
    SHCreateDirectoryExW(nullptr, (installFolder + L"\\Uninstall.ulog").c_str(), nullptr);
    auto context = freshContext();
    context->shortcutFolder = root / L"Menu\\a|b";
    context->createDesktopShortcut = false;

    ASSERT_TRUE(install(*context));
    EXPECT_EQ(outcome.outcome, ar::RunOutcome::InstalledWithFailures);
    auto shown = lines(view.log);
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown[shown.size() - 4], L"Shortcuts Creation...Failed");
    EXPECT_EQ(shown[shown.size() - 3], L"Mise \u00e0 jour de DirectX...Failed");
    EXPECT_EQ(shown[shown.size() - 2], L"Registry Data Writing...Failed");
    EXPECT_EQ(shown[shown.size() - 1], L"Installation Data Writing...Failed");
    EXPECT_EQ(view.statuses.back(), L"Click on 'Next' to continue.");
    EXPECT_TRUE(ar::test::runTemporaryFolders().empty());
}

TEST_F(InstallationRunTest, ALockTakenByAnotherInstallerDuringTheSelfRegistrationUndoesTheRun)
{
    // Another installer takes the lock as soon as the run lets go of it for the
    // installed program's registration, and keeps it to the end.
    ar::unique_handle runEnded(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool taken = false;
    std::thread other([&] {
        ar::InstanceLock lock;
        while (!lock.acquire() && WaitForSingleObject(runEnded.get(), 1) == WAIT_TIMEOUT) {
        }
        taken = lock.owned();
        WaitForSingleObject(runEnded.get(), INFINITE);
    });
    auto before = machine().take();
    auto context = freshContext();
    const bool installed = install(*context);
    SetEvent(runEnded.get());
    other.join();
    ASSERT_TRUE(taken);
    EXPECT_FALSE(installed);
    EXPECT_EQ(outcome.outcome, ar::RunOutcome::Failed);
    auto diff = MachineState::differences(before, machine().take());
    EXPECT_TRUE(diff.empty()) << diff.size() << " differences, first: " << diff.front();
    EXPECT_TRUE(ar::test::runTemporaryFolders().empty());
    EXPECT_EQ(view.statuses.back().rfind(L"Another installer started while the installation was finishing", 0), 0u);
    EXPECT_NE(view.log.find(view.statuses.back()), std::wstring::npos);
}

TEST_F(InstallationRunTest, UnusableSetUpFolderStopsBeforeTheArchive)
{
    // A file where the protected set-up folder (journal and private folder) goes.
    ar::test::writeFile(ar::journalFolder(), "in the way");
    auto before = machine().take();
    auto context = freshContext();
    bool ok = install(*context);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(MachineState::differences(before, machine().take()).empty());
    ASSERT_FALSE(view.statuses.empty());
    EXPECT_NE(view.statuses.back().find(L" (Journal))."), std::wstring::npos);
    EXPECT_EQ(view.log.find(L"Preparing Installation...OK"), std::wstring::npos);
    DeleteFileW(ar::journalFolder().c_str());
}

} // namespace
