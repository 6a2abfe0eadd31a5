#include "uninstaller/self_removal.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include "product/language.h"
#include "product/product.h"
#include "product/system_checks.h"
#include "engine/log_file.h"
#include "log/run_journal.h"
#include "log/log_record.h"
#include "resources/resource.h"
#include "support/elevated_files.h"
#include "support/error.h"
#include "support/folder_rules.h"
#include "support/handles.h"
#include "support/path_rules.h"
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

// Access to a folder that is held while the copy is made: listing counts for the
// share mode, which leaves others no deleting or renaming while it is held.
constexpr DWORD heldFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr std::size_t copyBufferSize = 64 * 1024;

// "Pelorium7-Uninstall-": the copy's folder and file begin with it.
std::wstring copyPrefix()
{
    return std::wstring(product::objectStem) + L"-Uninstall-";
}

// A fresh name for the copy's folder: "Pelorium7-Uninstall-{guid}".
std::wstring copyName()
{
    GUID guid{};
    wchar_t text[40] = {};
    if (FAILED(CoCreateGuid(&guid)) || !StringFromGUID2(guid, text, 40))
        return {};
    return copyPrefix() + text;
}

// Creates `copy` in `folder` with the bytes of `uninstaller` and returns it as the
// copy runs from it: deleted when its last handle closes, and meanwhile readable by
// others but neither writable nor deletable. Empty on failure, the file gone.
unique_hfile writeCopy(const std::wstring& uninstaller, const std::wstring& folder, const std::wstring& copy)
{
    unique_hfile source =
        openBelow(parentOf(uninstaller), uninstaller, NodeKind::File, GENERIC_READ, FILE_SHARE_READ);
    if (!source)
        return {};
    unique_hfile written = createBelow(folder, copy, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    if (!written)
        return {};
    std::vector<char> buffer(copyBufferSize);
    for (;;) {
        DWORD read = 0, wrote = 0;
        if (!ReadFile(source.get(), buffer.data(), copyBufferSize, &read, nullptr) ||
            (read > 0 &&
             (!WriteFile(written.get(), buffer.data(), read, &wrote, nullptr) || wrote != read))) {
            deleteThrough(written.get());
            return {};
        }
        if (read == 0)
            break;
    }
    // No process image is made from a file that a handle holds for writing: the
    // writing handle gives way, from handle to handle and never by the path, to one
    // that reads and deletes and lets others only read.
    unique_hfile reader(
        ReOpenFile(written.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
    if (!reader) {
        deleteThrough(written.get());
        return {};
    }
    written.reset();
    unique_hfile held(
        ReOpenFile(reader.get(), GENERIC_READ | DELETE, FILE_SHARE_READ, FILE_FLAG_DELETE_ON_CLOSE));
    if (!held)
        deleteBelow(folder, copy);
    return held;
}

std::wstring modulePath()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

std::wstring systemFolder()
{
    wchar_t path[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
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

// Removes the uninstaller, its log and its folders once the uninstaller that
// started this copy has ended (finishSelfRemoval).
void removeUninstaller(const CleanupRequest& request, LogFile& log)
{
    const std::wstring& uninstaller = request.uninstaller;
    // Only an uninstaller, named in full, and what lies beside it.
    if (!isPlainAbsolutePath(uninstaller) || uninstaller.size() < 5 ||
        _wcsicmp(uninstaller.c_str() + uninstaller.size() - 4, L".exe") != 0)
        return;

    // A value that is not the handle the parent handed down is not this process's to close.
    const HANDLE handed = reinterpret_cast<HANDLE>(request.process);
    if (!handedByParent(handed, uninstaller))
        return;
    {
        const unique_handle process(handed);
        WaitForSingleObject(process.get(), uninstallerEndTimeout);
    }

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
}

// Moves this copy's file, through `image`, the handle of it that the copy inherited,
// from its own folder into the set-up folder, and removes the folder; the file goes
// when this process ends. Only a copy that runs from a folder of its own directly in
// the set-up folder, named as startSelfRemoval names it, does so.
void leaveCopyFolder(std::uintptr_t image)
{
    if (image == 0)
        return;
    const HANDLE file = reinterpret_cast<HANDLE>(image);
    const std::wstring self = modulePath();
    const std::wstring folder = parentOf(self);
    const std::wstring setup = journalFolder();
    auto names = namesBelow(folder, setup);
    if (setup.empty() || !names || names->size() != 1)
        return;
    const std::wstring& name = names->front();
    if (name.compare(0, copyPrefix().size(), copyPrefix()) != 0 ||
        !samePlainPath(self, folder + L'\\' + name + L".exe") || !samePlainPath(finalPathOf(file), self))
        return;
    if (renameThrough(file, setup + L'\\' + name + L".exe", false))
        retryWhileHeld([&] { return removeEmptyFolder(setup, folder); }, releaseTimeout);
}

} // namespace

std::wstring uninstallLogBeside(const std::wstring& uninstaller)
{
    return parentOf(uninstaller) + L'\\' + uninstallLogFileName;
}

bool startSelfRemoval(const std::wstring& uninstaller, int folderLevels,
                      const std::optional<std::wstring>& logFile)
{
    const std::wstring setup = journalFolder();
    const std::wstring name = copyName();
    unique_hlocal descriptor = descriptorFromSddl(adminsOnlySddl);
    if (setup.empty() || name.empty() || !descriptor)
        return false;
    unique_hfile setupFolder = openTrustedSetupFolder();
    if (!setupFolder)
        return false;
    const std::wstring folder = setup + L'\\' + name;
    unique_hfile copyFolder = createFolderBelow(setup, folder, heldFolderAccess, descriptor.get());
    if (!copyFolder)
        return false;
    const std::wstring copy = folder + L'\\' + name + L".exe";
    unique_hfile image;
    auto abandon = [&] {
        image.reset(); // the copy goes with its last handle
        copyFolder.reset();
        deleteBelow(setup, folder, NodeKind::Folder);
        return false;
    };
    if (judgeFolder(copyFolder.get()) == FolderTrust::Trusted)
        image = writeCopy(uninstaller, folder, copy);
    // What the copy inherits: its own file, and this process to wait for.
    HANDLE self = nullptr;
    if (!image || !SetHandleInformation(image.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
        !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                         SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
        return abandon();
    unique_handle selfHandle(self);

    std::wstring command = quoted(copy) + L" /S /CLEANUP=" +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(self)) + L" /LEVELS=" +
                           std::to_wstring(folderLevels) + L" /SELF=" +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(image.get())) + L' ' +
                           quoted(L"/ORIGINAL=" + uninstaller);
    if (logFile)
        command += L' ' + quoted(L"/LOG=" + *logFile);

    // The copy starts in the system folder: no folder that it removes is its current one.
    const std::wstring current = systemFolder();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    unique_process_information process;
    if (!CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        current.empty() ? nullptr : current.c_str(), &startup, &process))
        return abandon();
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
    removeUninstaller(request, log);
    leaveCopyFolder(request.image);
}

} // namespace ar
