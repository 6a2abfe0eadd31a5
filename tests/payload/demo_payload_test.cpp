// The demo payload as embedded in an executable (this test program links it like
// the installer does), and the demo product's programs.
#include <gtest/gtest.h>

#include <map>

#include "product/system_checks.h"
#include "product/version_info.h"
#include "tests/payload/payload_test_util.h"

namespace ar::test {
namespace {

bool startsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(DemoPayload, EmbeddedArchiveVerifiesAndExtracts)
{
    imemstream source = open_payload_resource();
    ASSERT_GT(source.data().size(), 1000000u);
    ASSERT_TRUE(verify_payload(source));
    source.clear();
    source.seekg(0);

    // Files for the machine's shared folders are skipped; the rest land in ours.
    Folders f;
    std::map<FileKind, int> kinds;
    std::vector<PayloadEntry> written;
    int skipped = 0, empty = 0;
    std::uint64_t total = 0;
    bool ok = extract_payload(source, f.folders, [&](const notification& n) {
        if (auto* b = n.get_if<notification::file_begin>()) {
            ++kinds[b->entry->kind];
            empty += b->entry->size == 0;
            if (!startsWith(b->entry->destination, f.root.path())) {
                ++skipped;
                return notification::result::skip;
            }
        }
        if (auto* e = n.get_if<notification::file_end>())
            written.push_back(*e->entry);
        if (auto* d = n.get_if<notification::finished>())
            total = d->total;
        if (auto* failed = n.get_if<notification::failed>())
            ADD_FAILURE() << failed->code.message() << " " << narrow(failed->path);
        return notification::result::proceed;
    });
    ASSERT_TRUE(ok);

    EXPECT_EQ(kinds[FileKind::MainProgram], 1);
    EXPECT_EQ(kinds[FileKind::Uninstaller], 1);
    EXPECT_EQ(kinds[FileKind::Program], 8);
    EXPECT_EQ(kinds[FileKind::SetupTemporary], 6);
    EXPECT_EQ(kinds[FileKind::EditableData], 16);
    EXPECT_EQ(kinds[FileKind::Texture], 24);
    EXPECT_GE(empty, 3);
    EXPECT_EQ(skipped, 40);
    EXPECT_GT(total, 15000000u);
    ASSERT_EQ(written.size(), 16u);
    EXPECT_EQ(written.back().kind, FileKind::MainProgram);
    for (const auto& entry : written)
        EXPECT_EQ(file_crc32(entry.destination), entry.crc) << narrow(entry.destination);

    EXPECT_EQ(readFile(f.folders.installFolder + L"\\Pelorium.exe"),
              readFile(binaryPath(L"demo\\Pelorium.exe")));
    EXPECT_EQ(readFile(f.folders.tempFolder + L"\\DSETUP.dll"), readFile(binaryPath(L"demo\\DSETUP.dll")));
    // The uninstaller carried is the signed program (signed before the payload took it).
    EXPECT_EQ(readFile(f.folders.installFolder + L"\\Uninstall.exe"), readFile(binaryPath(L"Uninstall.exe")));
    EXPECT_TRUE(exists(f.folders.installFolder + L"\\Lang\\Pelorium.de.dll"));
    for (const wchar_t* cab : {L"dxdllreg_x86.cab", L"dxupdate.cab", L"Jun2010_D3DCompiler_43_x86.cab",
                               L"Jun2010_d3dx9_43_x86.cab", L"dsetup32.dll"})
        EXPECT_TRUE(exists(f.folders.tempFolder + L"\\" + cab)) << narrow(cab);
}

// Every file of the payload, the shared-folder ones included, against its CRC.
TEST(DemoPayload, EveryEntryChecksOut)
{
    imemstream source = open_payload_resource();
    std::ostringstream report;
    EXPECT_TRUE(tools::list_archive(source, report)) << report.str();
    EXPECT_NE(report.str().find("56 entries"), std::string::npos) << report.str();
    EXPECT_NE(report.str().find("<CommonData>\\Ardenvale\\Textures\\Pelorium\\"), std::string::npos);
    EXPECT_NE(report.str().find("<UserData>\\Ardenvale\\Pelorium\\"), std::string::npos);
}

struct Process {
    PROCESS_INFORMATION info{};
    bool start(const std::wstring& program, const std::wstring& arguments = {})
    {
        std::wstring line = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        return CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info);
    }
    DWORD wait(DWORD milliseconds = 20000)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info.hProcess, milliseconds) == WAIT_OBJECT_0)
            GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
    ~Process()
    {
        if (info.hProcess) {
            if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(info.hProcess, 1);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
};

TEST(DemoProduct, PeloriumOpensItsWindowAndCountsAsRunning)
{
    ASSERT_TRUE(registerRunningInstance());
    long alone = countRunningInstances();
    Process pelorium;
    ASSERT_TRUE(pelorium.start(binaryPath(L"demo\\Pelorium.exe")));
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        window = FindWindowW(L"ArdenvalePeloriumMain", L"Pelorium 7.06");
        if (!window)
            Sleep(50);
    }
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(countRunningInstances(), alone + 1);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(pelorium.wait(), 0u);
    EXPECT_EQ(countRunningInstances(), alone);
}

std::wstring classesValue(const wchar_t* key, const wchar_t* value = nullptr)
{
    wchar_t text[512] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"<none>";
    return text;
}

TEST(DemoProduct, PeloriumRegistersAndRemovesExactlyItsAssociation)
{
    const DWORD registered = static_cast<DWORD>(-10);
    std::wstring program = binaryPath(L"demo\\Pelorium.exe");
    Process reg;
    ASSERT_TRUE(reg.start(program, L"/Register /Background"));
    EXPECT_EQ(reg.wait(), registered);
    EXPECT_EQ(classesValue(L".pm-lib"), L"Ardenvale.Pelorium.Library");
    EXPECT_EQ(classesValue(L"Ardenvale.Pelorium.Library\\shell\\open\\command"),
              L"\"" + program + L"\" \"%1\"");

    Process unreg;
    ASSERT_TRUE(unreg.start(program, L"/Unregister /Background"));
    EXPECT_EQ(unreg.wait(), registered);
    EXPECT_EQ(classesValue(L".pm-lib"), L"<none>");
    EXPECT_EQ(classesValue(L"Ardenvale.Pelorium.Library"), L"<none>");

    // An extension that another program has taken over stays with it.
    HKEY key;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L".pm-lib", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        0);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Other.Program"), 28);
    RegCloseKey(key);
    Process again;
    ASSERT_TRUE(again.start(program, L"/Unregister /Background"));
    EXPECT_EQ(again.wait(), registered);
    EXPECT_EQ(classesValue(L".pm-lib"), L"Other.Program");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".pm-lib");
}

TEST(DemoProduct, BuildsCarryTheirVersions)
{
    VersionResourceInfo current, older;
    ASSERT_TRUE(queryVersionResource(current, binaryPath(L"demo\\Pelorium.exe")));
    EXPECT_EQ(current.fileVersion, 0x0007'0006'0000'0004ull);
    EXPECT_EQ(current.productName, L"Pelorium");
    EXPECT_EQ(current.productVersion, L"7.06");
    ASSERT_TRUE(queryVersionResource(older, binaryPath(L"demo-7.5.0.2\\Pelorium.exe")));
    EXPECT_EQ(older.fileVersion, 0x0007'0005'0000'0002ull);
    EXPECT_EQ(older.productVersion, L"7.05");
}

using GetVersionFn = INT(WINAPI*)(DWORD*, DWORD*);
using Callback = DWORD(WINAPI*)(DWORD, DWORD, LPSTR, LPSTR, void*);
using SetCallbackFn = INT(WINAPI*)(Callback);
using SetupFn = INT(WINAPI*)(HWND, LPWSTR, DWORD);

template <typename Fn> Fn lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::vector<DWORD> reasons;
DWORD WINAPI countCallback(DWORD reason, DWORD, LPSTR, LPSTR, void*)
{
    reasons.push_back(reason);
    return IDOK;
}

TEST(DemoProduct, DirectXSetupStandInAnswersAsTold)
{
    TempDir dir(L"dx");
    HMODULE dsetup = LoadLibraryW(binaryPath(L"demo\\DSETUP.dll").c_str());
    ASSERT_NE(dsetup, nullptr);
    auto getVersion = lookup<GetVersionFn>(dsetup, "DirectXSetupGetVersion");
    auto setCallback = lookup<SetCallbackFn>(dsetup, "DirectXSetupSetCallback");
    auto setup = lookup<SetupFn>(dsetup, "DirectXSetupW");
    ASSERT_TRUE(getVersion && setCallback && setup);

    DWORD version = 0, revision = 0;
    EXPECT_NE(getVersion(&version, &revision), 0);
    EXPECT_EQ(version, 0x00040009u);
    EXPECT_EQ(revision, 904u);
    setCallback(countCallback);
    std::wstring folder = dir.path();
    EXPECT_EQ(setup(nullptr, folder.data(), 0x00010018), 0);
    EXPECT_EQ(reasons, (std::vector<DWORD>{18, 18, 18}));

    SetEnvironmentVariableW(L"AR_DSETUP_VERSION", L"0x00040008");
    SetEnvironmentVariableW(L"AR_DSETUP_REVISION", L"0x386");
    SetEnvironmentVariableW(L"AR_DSETUP_RESULT", L"-5");
    SetEnvironmentVariableW(L"AR_DSETUP_PROGRESS", L"1");
    SetEnvironmentVariableW(L"AR_DSETUP_LOG", (dir / L"calls.log").c_str());
    EXPECT_NE(getVersion(&version, &revision), 0);
    EXPECT_EQ(version, 0x00040008u);
    EXPECT_EQ(revision, 0x386u);
    reasons.clear();
    EXPECT_EQ(setup(nullptr, folder.data(), 0x00010018), -5);
    EXPECT_EQ(reasons.size(), 1u);
    SetEnvironmentVariableW(L"AR_DSETUP_VERSION", L"fail");
    EXPECT_EQ(getVersion(&version, &revision), 0);
    std::string log = readFile(dir / L"calls.log");
    EXPECT_NE(log.find("DirectXSetupW flags=0x00010018 owner=none source=" + narrow(folder)),
              std::string::npos)
        << log;

    for (const wchar_t* name : {L"AR_DSETUP_VERSION", L"AR_DSETUP_REVISION", L"AR_DSETUP_RESULT",
                                L"AR_DSETUP_PROGRESS", L"AR_DSETUP_LOG"})
        SetEnvironmentVariableW(name, nullptr);
    FreeLibrary(dsetup);
}

} // namespace
} // namespace ar::test
