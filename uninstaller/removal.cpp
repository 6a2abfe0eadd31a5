#include "uninstaller/removal.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <optional>
#include <string_view>

#include "product/product.h"
#include "product/product_record.h"
#include "product/self_registration.h"
#include "support/elevated_files.h"
#include "support/handles.h"
#include "support/path_rules.h"
#include "support/switches.h"
#include "uninstaller/uninstall_plan.h"

namespace ar {
namespace {

bool isGone(LONG error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

StepResult failed(LONG error)
{
    return {Outcome::Failed, error};
}

// Shared as DeleteFileW and RemoveDirectoryW share: someone else's open handle does
// not stop a removal that the file system allows.
constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A step whose item could not be opened below its root: gone, or refused.
StepResult notOpened(DWORD error)
{
    return isGone(static_cast<LONG>(error)) ? StepResult{Outcome::Missing} : failed(static_cast<LONG>(error));
}

DWORD attributesOf(HANDLE handle)
{
    FILE_BASIC_INFO basic{};
    return GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ? basic.FileAttributes
                                                                                     : 0;
}

// Puts back the attributes that deleteThrough cleared, when the item stays.
void restoreAttributes(HANDLE handle, DWORD attributes)
{
    if (!(attributes & FILE_ATTRIBUTE_READONLY))
        return;
    FILE_BASIC_INFO basic{}; // times left as they are
    basic.FileAttributes = attributes;
    SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
}

// Whether the folder open as `handle` (with FILE_LIST_DIRECTORY) holds nothing;
// nothing, with the last error set, when it cannot be listed.
std::optional<bool> isEmptyFolder(HANDLE handle)
{
    alignas(LONGLONG) BYTE buffer[4096];
    FILE_INFO_BY_HANDLE_CLASS which = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle, which, buffer, sizeof buffer)) {
        which = FileIdBothDirectoryInfo;
        for (BYTE* at = buffer;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..")
                return false;
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES)
        return std::nullopt;
    return true;
}

} // namespace

StepResult removeInstalledFile(const std::wstring& root, const std::wstring& path)
{
    unique_hfile file = openBelow(root, path, NodeKind::File, deleteAccess, shareAll);
    if (!file)
        return notOpened(GetLastError());
    const DWORD attributes = attributesOf(file.get());
    if (!deleteThrough(file.get())) {
        const LONG error = static_cast<LONG>(GetLastError());
        restoreAttributes(file.get(), attributes);
        return failed(error);
    }
    file.reset();
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, path.c_str(), nullptr);
    return {};
}

StepResult removeEmptyFolder(const std::wstring& root, const std::wstring& path)
{
    unique_hfile folder =
        openBelow(root, path, NodeKind::Folder, deleteAccess | FILE_LIST_DIRECTORY, shareAll);
    if (!folder)
        return notOpened(GetLastError());
    const std::optional<bool> empty = isEmptyFolder(folder.get());
    if (!empty)
        return failed(static_cast<LONG>(GetLastError()));
    if (!*empty)
        return {Outcome::Kept};
    // A read-only folder cannot be removed; it is empty, so nothing is lost.
    const DWORD attributes = attributesOf(folder.get());
    if (!deleteThrough(folder.get())) {
        const LONG error = static_cast<LONG>(GetLastError());
        restoreAttributes(folder.get(), attributes);
        return error == ERROR_DIR_NOT_EMPTY ? StepResult{Outcome::Kept} : failed(error);
    }
    folder.reset();
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, path.c_str(), nullptr);
    return {};
}

StepResult undoSelfRegistration(const std::wstring& installFolder, const std::wstring& program)
{
    // What the log names is a claim; the record under HKEY_LOCAL_MACHINE, which only
    // an administrator can write, says which program registered the product.
    const InstalledProduct recorded = readProductRecord();
    if (!recorded.installed || !samePlainPath(recorded.mainProgram, program))
        return {Outcome::Kept};
    // Checked here, then started by its path: the installation folder is the
    // product's own, which only administrators can change, and the program stays
    // open without write or delete sharing until it has ended.
    unique_hfile checked = openBelow(installFolder, program, NodeKind::File, GENERIC_READ, FILE_SHARE_READ);
    if (!checked)
        return notOpened(GetLastError());
    const RegistrationResult result =
        runRegistration(program, Registration::Unregister, {}, registrationTimeout);
    if (!result.done)
        return failed(result.code);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return {};
}

StepResult removeUninstallKey(const std::wstring& uninstaller)
{
    const std::wstring key = product::uninstallKeyPath();
    wchar_t registered[1024] = {};
    DWORD bytes = sizeof(registered) - sizeof(wchar_t);
    DWORD type = 0;
    LONG read = SHGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"UninstallString", &type, registered, &bytes);
    if (isGone(read))
        return {Outcome::Missing};
    // Only a key that registers this uninstaller is ours: an installation elsewhere
    // may have taken it over, and a value that cannot be read or compared proves
    // nothing either way, so the key stays.
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) ||
        !samePlainPath(programOfCommand(registered), uninstaller))
        return {Outcome::Kept};
    LONG error = SHDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    if (error == ERROR_SUCCESS)
        return {};
    return isGone(error) ? StepResult{Outcome::Missing} : failed(error);
}

StepResult removeProductRecordOf(const std::wstring& mainProgram)
{
    InstalledProduct recorded = readProductRecord();
    if (!recorded.installed)
        return {Outcome::Missing};
    if (!samePlainPath(recorded.mainProgram, mainProgram))
        return {Outcome::Kept};
    removeProductRecord();
    return {};
}

} // namespace ar
