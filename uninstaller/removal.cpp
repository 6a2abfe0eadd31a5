#include "uninstaller/removal.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "product/product.h"
#include "product/product_record.h"
#include "product/self_registration.h"
#include "support/handles.h"
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

} // namespace

std::uint64_t linkedElements(const std::wstring& path,
                             const std::function<DWORD(const std::wstring&)>& attributes)
{
    auto isSeparator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    // After the root: "C:\" or "\\server\share\".
    std::size_t position = 0;
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        position = 2;
        for (int part = 0; part < 2 && position < path.size(); ++part) {
            while (position < path.size() && !isSeparator(path[position]))
                ++position;
            ++position;
        }
    } else {
        position = path.find_first_of(L"\\/");
        position = position == std::wstring::npos ? path.size() : position + 1;
    }
    std::uint64_t linked = 0;
    for (unsigned element = 0; position < path.size(); ++element) {
        std::size_t end = position;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        if (end > position) {
            DWORD found = attributes(path.substr(0, end));
            if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_REPARSE_POINT))
                linked |= std::uint64_t(1) << (element < 63 ? element : 63);
        }
        position = end + 1;
    }
    return linked;
}

StepResult removeInstalledFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        LONG error = static_cast<LONG>(GetLastError());
        return isGone(error) ? StepResult{Outcome::Missing} : failed(error);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return failed(ERROR_DIRECTORY);
    if (attributes != FILE_ATTRIBUTE_NORMAL)
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.c_str())) {
        LONG error = static_cast<LONG>(GetLastError());
        SetFileAttributesW(path.c_str(), attributes);
        return failed(error);
    }
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, path.c_str(), nullptr);
    return {};
}

StepResult removeEmptyFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        LONG error = static_cast<LONG>(GetLastError());
        return isGone(error) ? StepResult{Outcome::Missing} : failed(error);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failed(ERROR_DIRECTORY);
    if (!PathIsDirectoryEmptyW(path.c_str()))
        return {Outcome::Kept};
    // A read-only folder cannot be removed; it is empty, so nothing is lost.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!RemoveDirectoryW(path.c_str())) {
        LONG error = static_cast<LONG>(GetLastError());
        SetFileAttributesW(path.c_str(), attributes);
        if (error == ERROR_DIR_NOT_EMPTY)
            return {Outcome::Kept};
        return failed(error);
    }
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, path.c_str(), nullptr);
    return {};
}

StepResult undoSelfRegistration(const std::wstring& program)
{
    DWORD attributes = GetFileAttributesW(program.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {Outcome::Missing};
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
