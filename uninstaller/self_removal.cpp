#include "uninstaller/self_removal.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include "product/language.h"
#include "product/product.h"
#include "product/system_checks.h"
#include "engine/log_file.h"
#include "log/uninstall_log.h"
#include "resources/resource.h"
#include "support/error.h"
#include "support/folder_rules.h"
#include "support/handles.h"
#include "support/processes.h"
#include "uninstaller/removal.h"
#include "uninstaller/uninstall_plan.h"

namespace ar {
namespace {

// How long the copy waits for the uninstaller to end, and then for the system to
// let go of its file and folder.
constexpr DWORD uninstallerEndTimeout = 60000;
constexpr DWORD releaseTimeout = 5000;

std::wstring quoted(const std::wstring& text)
{
    return L'"' + text + L'"';
}

// A fresh name in the temporary folder: "Pelorium7-Uninstall-{guid}.exe".
std::wstring temporaryCopyName()
{
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return {};
    GUID guid{};
    wchar_t text[40] = {};
    if (FAILED(CoCreateGuid(&guid)) || !StringFromGUID2(guid, text, 40))
        return {};
    return std::wstring(folder) + product::objectStem + L"-Uninstall-" + text + L".exe";
}

// The folders that go with the uninstaller: its own and `levels` - 1 above it.
std::vector<std::wstring> foldersOf(const std::wstring& uninstaller, int levels)
{
    std::vector<std::wstring> folders;
    std::wstring folder = parentOf(uninstaller);
    for (int i = 0; i < levels && isPlainAbsolutePath(folder) && !PathIsRootW(folder.c_str()); ++i) {
        folders.push_back(folder);
        folder = parentOf(folder);
    }
    return folders;
}

void report(LogFile& log, const std::wstring& path, const StepResult& result)
{
    if (result.outcome == Outcome::Failed)
        log.line(formatString(IDS_UNINSTALL_FAILED, {path, systemErrorText(result.error)}));
    else if (result.outcome == Outcome::Kept)
        log.line(formatString(IDS_UNINSTALL_FOLDER_KEPT, {path}));
    else
        log.line(formatString(IDS_UNINSTALL_REMOVED, {path}));
}

// The process that started this one, by the system's list of processes.
DWORD parentProcessId()
{
    const DWORD self = GetCurrentProcessId();
    for (const ProcessEntry& entry : runningProcesses())
        if (entry.id == self)
            return entry.parent;
    return 0;
}

// Whether `process` is this process's parent and runs `uninstaller`: the copy acts
// only on what the uninstaller that started it handed over, never on a handle or a
// path that someone else made up.
bool handedByParent(HANDLE process, const std::wstring& uninstaller)
{
    const DWORD id = GetProcessId(process);
    if (id == 0 || id != parentProcessId())
        return false;
    wchar_t image[MAX_PATH * 2] = {};
    DWORD length = MAX_PATH * 2;
    return QueryFullProcessImageNameW(process, 0, image, &length) && samePlainPath(image, uninstaller);
}

} // namespace

std::wstring uninstallLogBeside(const std::wstring& uninstaller)
{
    return parentOf(uninstaller) + L'\\' + UninstallLog::fileName;
}

bool startSelfRemoval(const std::wstring& uninstaller, int folderLevels,
                      const std::optional<std::wstring>& logFile)
{
    const std::wstring copy = temporaryCopyName();
    if (copy.empty() || !CopyFileW(uninstaller.c_str(), copy.c_str(), FALSE))
        return false;
    // The installed uninstaller is read-only, and so is its copy: a read-only file
    // cannot be opened for deletion.
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    unique_hfile deleteOnClose(CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                           &inherited, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                         SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0)) {
        deleteOnClose.reset();
        DeleteFileW(copy.c_str());
        return false;
    }
    unique_handle selfHandle(self);

    std::wstring command = quoted(copy) + L" /S /CLEANUP=" +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(self)) + L" /LEVELS=" +
                           std::to_wstring(folderLevels) + L' ' + quoted(L"/ORIGINAL=" + uninstaller);
    if (logFile)
        command += L' ' + quoted(L"/LOG=" + *logFile);

    wchar_t temporaryFolder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temporaryFolder);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    unique_process_information process;
    if (!CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, temporaryFolder,
                        &startup, &process)) {
        deleteOnClose.reset();
        DeleteFileW(copy.c_str());
        return false;
    }
    return true;
}

std::vector<std::wstring> removeAtRestart(const std::wstring& uninstaller, int folderLevels)
{
    std::vector<std::wstring> marked;
    std::vector<std::wstring> paths{uninstaller, uninstallLogBeside(uninstaller)};
    for (const std::wstring& folder : foldersOf(uninstaller, folderLevels))
        paths.push_back(folder);
    for (const std::wstring& path : paths) {
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            marked.push_back(path);
    }
    return marked;
}

void finishSelfRemoval(const CleanupRequest& request, LogFile& log)
{
    const std::wstring& uninstaller = request.uninstaller;
    // Only an uninstaller, named in full, and what lies beside it.
    if (!isPlainAbsolutePath(uninstaller) || uninstaller.size() < 5 ||
        _wcsicmp(uninstaller.c_str() + uninstaller.size() - 4, L".exe") != 0)
        return;

    HANDLE process = reinterpret_cast<HANDLE>(request.process);
    if (!handedByParent(process, uninstaller))
        return;
    WaitForSingleObject(process, uninstallerEndTimeout);
    CloseHandle(process);

    InstanceLock lock;
    if (!lock.acquire()) {
        log.line(formatString(IDS_UNINSTALL_INSTALLER_RUNNING, {product::displayName()}));
        return;
    }
    // Below the installation folder, and the folders themselves from their drive's
    // root on, never through a link.
    const std::vector<std::wstring> roots{parentOf(uninstaller)};
    for (const std::wstring& file : {uninstaller, uninstallLogBeside(uninstaller)})
        report(
            log, file,
            retryWhileHeld([&] { return removeInstalledFile(stepRoot(file, roots), file); }, releaseTimeout));
    for (const std::wstring& folder : foldersOf(uninstaller, request.folderLevels)) {
        StepResult result = retryWhileHeld([&] { return removeEmptyFolder(stepRoot(folder, roots), folder); },
                                           releaseTimeout);
        report(log, folder, result);
        if (result.outcome != Outcome::Removed && result.outcome != Outcome::Missing)
            break;
    }
    // This copy goes when its last handle closes, with the process. Should the file
    // system not delete a file whose image is still mapped at that moment, the
    // restart does.
    wchar_t self[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

} // namespace ar
