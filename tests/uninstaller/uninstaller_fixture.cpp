#include "tests/uninstaller/uninstaller_fixture.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <memory>

#include "engine/install_context.h"
#include "engine/startup.h"
#include "product/language.h"
#include "product/product.h"
#include "product/product_record.h"
#include "engine/installation.h"
#include "engine/uninstall_registration.h"
#include "log/log_digest.h"
#include "log/log_format.h"
#include "log/run_journal.h"
#include "support/elevated_files.h"
#include "support/handles.h"
#include "support/module_state.h"
#include "support/path_rules.h"
#include "uninstaller/uninstall_plan.h"

namespace ar::test {
namespace {

bool isUninstallerImage(std::wstring name)
{
    std::size_t slash = name.find_last_of(L'\\');
    if (slash != std::wstring::npos)
        name = name.substr(slash + 1);
    return _wcsicmp(name.c_str(), L"Uninstall.exe") == 0 ||
           _wcsnicmp(name.c_str(), L"Pelorium7-Uninstall-", 20) == 0;
}

std::wstring temporaryFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, buffer);
    return buffer;
}

// Where the system says `path` leads; empty when it cannot be opened.
std::wstring finalPathOfName(const std::wstring& path)
{
    unique_hfile opened(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return opened ? finalPathOf(opened.get()) : std::wstring();
}

class SilentView : public InstallView {
public:
    void setStatus(const std::wstring&) override {}
    void appendLogLine(const std::wstring& text, bool) override { log += text; }
    void showProgress(bool) override {}
    void setProgress(int) override {}
    std::wstring log;
};

struct DialogSearch {
    DWORD process;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {}, caption[256] = {};
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, caption, 256);
    if (owner == search->process && IsWindowVisible(window) && std::wstring(className) == L"#32770" &&
        *search->caption == caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::vector<DWORD> uninstallerProcesses()
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (isUninstallerImage(entry.szExeFile))
            found.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

bool waitForUninstallers(DWORD milliseconds)
{
    // A process that has just started may not show its image name yet; its copy is
    // there from before the uninstaller ends until the copy ends.
    for (DWORD waited = 0; !uninstallerProcesses().empty() || !uninstallerCopies().empty(); waited += 50) {
        if (waited >= milliseconds)
            return false;
        Sleep(50);
    }
    return true;
}

std::vector<std::wstring> uninstallerCopies()
{
    std::vector<std::wstring> found;
    for (const std::wstring& folder : {temporaryFolder(), journalFolder() + L"\\"}) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder + L"Pelorium7-Uninstall-*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            continue;
        do
            found.push_back(folder + data.cFileName);
        while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return found;
}

HostLink::HostLink(const std::wstring& link, const std::wstring& target) : link_(link)
{
    const std::string hostLink = hostPath(link), hostTarget = hostPath(target);
    if (hostLink.empty() || hostTarget.empty() || !hostShell("/bin/ln -s " + hostTarget + " " + hostLink))
        return;
    const std::wstring reached = finalPathOfName(link);
    made_ = !reached.empty() && samePlainPath(reached, finalPathOfName(target));
}

HostLink::~HostLink()
{
    const std::string hostLink = hostPath(link_);
    if (!hostLink.empty())
        hostShell("/bin/rm -f " + hostLink);
}

HWND waitForDialog(DWORD process, const std::wstring& caption, DWORD milliseconds)
{
    for (DWORD waited = 0; waited < milliseconds; waited += 50) {
        DialogSearch search{process, &caption, nullptr};
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    }
    return nullptr;
}

Process::Process(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info_))
        info_ = {};
}

Process::~Process()
{
    if (!info_.hProcess)
        return;
    if (WaitForSingleObject(info_.hProcess, 30000) != WAIT_OBJECT_0)
        TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

long Process::wait(DWORD milliseconds)
{
    if (!info_.hProcess || WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0)
        return -1000;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
}

void UninstallerTest::SetUp()
{
    setLanguage(english);
    ASSERT_TRUE(waitForUninstallers());
    removeProductTraces();
    SetEnvironmentVariableW(L"AR_DSETUP_LOG", (logs / L"dsetup.log").c_str());
}

void UninstallerTest::TearDown()
{
    EXPECT_TRUE(waitForUninstallers());
    // The uninstaller makes the set-up folder for its copy when there is none; the
    // installer's next start removes it, empty.
    RemoveDirectoryW(journalFolder().c_str());
    setResourceModule(nullptr);
    for (HMODULE module : payloads_)
        FreeLibrary(module);
    SetEnvironmentVariableW(L"AR_DSETUP_LOG", nullptr);
    removeProductTraces();
}

void UninstallerTest::makeInstallation(int language)
{
    auto add = [&](RecordKind kind, const std::wstring& path, int fileKind = -1) {
        UninstallLogRecord record;
        record.recordKind = kind;
        record.path = path;
        record.fileKind = fileKind;
        record.succeeded = true;
        records_.push_back(record);
    };
    auto folder = [&](const std::wstring& path) {
        CreateDirectoryW(path.c_str(), nullptr);
        add(RecordKind::CreatedFolder, path);
    };
    auto file = [&](const std::wstring& path, int fileKind, const std::string& bytes) {
        writeFile(path, bytes);
        add(RecordKind::InstalledFile, path, fileKind);
    };
    records_.clear();
    folder(root / L"Apps");
    folder(install);
    folder(install + L"\\Lang");
    file(install + L"\\Lang\\Pelorium.de.dll", 0, "a language library");
    folder(install + L"\\Library");
    file(install + L"\\Library\\Minerals.pm-lib", 3, "the user's library");
    file(install + L"\\Readme.txt", 0, "read me");
    file(uninstaller, 2, readFile(binaryPath(L"Uninstall.exe")));
    file(program, 1, readFile(binaryPath(L"demo\\Pelorium.exe")));
    SetFileAttributesW(uninstaller.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY);
    folder(root / L"Menu");
    folder(menu);
    writeFile(menu + L"\\Pelorium 7.06.lnk", "link");
    add(RecordKind::MenuShortcut, menu + L"\\Pelorium 7.06.lnk");
    writeFile(menu + L"\\Uninstall Pelorium.lnk", "link");
    add(RecordKind::UninstallShortcut, menu + L"\\Uninstall Pelorium.lnk");
    add(RecordKind::UninstallKey, uninstallKeyText());
    add(RecordKind::SelfRegistration, selfRegistrationText);

    RunRecorder scratch;
    UninstallRegistration registration{program, uninstaller, language, install, 0};
    ASSERT_TRUE(writeUninstallRegistration(registration, scratch));
    ASSERT_EQ(recordProduct(program), ERROR_SUCCESS);
    Process registering(program, L"/Register /Background");
    ASSERT_EQ(registering.wait(), -10);
    writeLog(logText());
}

std::wstring UninstallerTest::logText() const
{
    std::wstring text;
    for (const std::wstring& line : formatLogHeader(product::displayName(), L"", install, menu))
        text += line;
    for (std::size_t i = 0; i < records_.size(); ++i)
        text += formatRecordLine(i, records_[i]);
    return text;
}

std::string UninstallerTest::utf16(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

void UninstallerTest::writeLog(const std::wstring& text) const
{
    writeLogBytes(utf16(text));
}

void UninstallerTest::writeLogBytes(const std::string& bytes) const
{
    tamperLogBytes(bytes);
    ASSERT_EQ(recordInstallationLog(logDigest(bytes), menu), ERROR_SUCCESS);
}

void UninstallerTest::tamperLog(const std::wstring& text) const
{
    tamperLogBytes(utf16(text));
}

void UninstallerTest::tamperLogBytes(const std::string& bytes) const
{
    const std::wstring path = install + L"\\Uninstall.ulog";
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    writeFile(path, bytes);
    SetFileAttributesW(path.c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
}

void UninstallerTest::installFromPayload(const std::wstring& payload, bool update)
{
    HMODULE module = LoadLibraryExW(binaryPath(payload).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    payloads_.push_back(module);
    setResourceModule(module);

    auto context = std::make_unique<InstallContext>();
    ASSERT_TRUE(context->instanceLock.acquire());
    context->installFolder = install;
    context->shortcutFolder = menu;
    context->createMenuShortcut = true;
    context->createDesktopShortcut = true;
    if (update) {
        context->installState = InstallState::Update;
        context->earlierLog = readEarlierLog(install + L"\\Uninstall.ulog", install);
    }
    SilentView view;
    const RunResult result = runInstallation(*context, view);
    ASSERT_TRUE(result.installed()) << narrow(view.log);
    ASSERT_EQ(result.programs.uninstallerPath, uninstaller);
    setResourceModule(nullptr);
}

long UninstallerTest::uninstall(const std::wstring& arguments)
{
    Process process(uninstaller, arguments);
    return process.wait();
}

std::wstring UninstallerTest::uninstallLog() const
{
    if (!exists(logFile))
        return {};
    std::string bytes = readFile(logFile);
    int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

MachineState UninstallerTest::machine() const
{
    return MachineState({root.path(), commonDataFolder(), userDataFolder(), publicDesktopLink()},
                        productKeys());
}

std::vector<std::string> differencesExcept(const MachineState::Snapshot& before,
                                           const MachineState::Snapshot& after,
                                           const std::vector<std::wstring>& kept)
{
    MachineState::Snapshot filtered = after;
    for (auto it = filtered.begin(); it != filtered.end();) {
        bool keep = !before.count(it->first);
        bool isKept = false;
        for (const std::wstring& path : kept)
            isKept = isKept || ar::isAtOrBelow(path, it->first) || ar::isAtOrBelow(it->first, path);
        if (keep && isKept)
            it = filtered.erase(it);
        else
            ++it;
    }
    return MachineState::differences(before, filtered);
}

} // namespace ar::test
