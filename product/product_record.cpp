#include "product/product_record.h"

#include <shlwapi.h>

#include <optional>
#include <utility>

#include "product/product.h"
#include "support/handles.h"

namespace ar {
namespace {

constexpr wchar_t appPathsParent[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";

std::optional<std::wstring> readString(HKEY root, const std::wstring& key, const wchar_t* name)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (SHGetValueW(root, key.c_str(), name, &type, buffer, &bytes) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    return std::wstring(buffer);
}

LONG writeString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring companyKeyPath()
{
    return std::wstring(L"Software\\") + product::companyName;
}

bool keyExists(const std::wstring& path)
{
    unique_hkey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

LONG writeKey(const std::wstring& path, const wchar_t* name, const std::wstring& value, const wchar_t* name2,
              const std::wstring& value2)
{
    unique_hkey key;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_WRITE, nullptr, key.put(), nullptr);
    if (error == ERROR_SUCCESS)
        error = writeString(key.get(), name, value);
    if (error == ERROR_SUCCESS)
        error = writeString(key.get(), name2, value2);
    return error;
}

} // namespace

std::wstring productRecordKeyPath()
{
    return companyKeyPath() + L'\\' + product::productKey();
}

std::wstring appPathsKeyPath(const std::wstring& programPath)
{
    return std::wstring(appPathsParent) + L'\\' + PathFindFileNameW(programPath.c_str());
}

InstalledProduct readProductRecord()
{
    InstalledProduct product;
    product.installed = keyExists(productRecordKeyPath());
    if (product.installed)
        product.mainProgram =
            readString(HKEY_LOCAL_MACHINE, productRecordKeyPath(), L"MainProgram").value_or(L"");
    return product;
}

LONG recordProduct(const std::wstring& programPath)
{
    // What the two keys held before, so that a failure puts them back as they were.
    struct KeyState {
        std::wstring path;
        bool existed;
        std::optional<std::wstring> first, second;
    };
    auto stateOf = [](const std::wstring& path, const wchar_t* first, const wchar_t* second) {
        return KeyState{path, keyExists(path), readString(HKEY_LOCAL_MACHINE, path, first),
                        readString(HKEY_LOCAL_MACHINE, path, second)};
    };
    const bool hadCompany = keyExists(companyKeyPath());
    const KeyState record = stateOf(productRecordKeyPath(), L"MainProgram", L"Version");
    const KeyState appPaths = stateOf(appPathsKeyPath(programPath), nullptr, L"Path");

    LONG error = writeKey(record.path, L"MainProgram", programPath, L"Version", product::versionText());
    if (error == ERROR_SUCCESS) {
        wchar_t folder[MAX_PATH];
        lstrcpynW(folder, programPath.c_str(), MAX_PATH);
        PathRemoveFileSpecW(folder);
        error = writeKey(appPaths.path, L"", programPath, L"Path", folder);
    }
    if (error == ERROR_SUCCESS)
        return ERROR_SUCCESS;

    auto putBack = [](const KeyState& state, const wchar_t* first, const wchar_t* second) {
        if (!state.existed) {
            SHDeleteKeyW(HKEY_LOCAL_MACHINE, state.path.c_str());
            return;
        }
        unique_hkey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, state.path.c_str(), 0, KEY_WRITE, key.put()) != ERROR_SUCCESS)
            return;
        for (auto [name, value] : {std::pair{first, &state.first}, std::pair{second, &state.second}}) {
            if (*value)
                writeString(key.get(), name, **value);
            else
                RegDeleteValueW(key.get(), name);
        }
    };
    putBack(appPaths, nullptr, L"Path");
    putBack(record, L"MainProgram", L"Version");
    // The company key goes again when this call made it (and nothing else lies in it).
    if (!hadCompany)
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, companyKeyPath().c_str());
    return error;
}

LONG recordInstallationLog(const std::wstring& digest, const std::wstring& menuFolder)
{
    unique_hkey key;
    LONG error =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, productRecordKeyPath().c_str(), 0, KEY_SET_VALUE, key.put());
    if (error != ERROR_SUCCESS)
        return error;
    error = writeString(key.get(), L"StartMenuFolder", menuFolder);
    if (digest.empty()) {
        LONG removed = RegDeleteValueW(key.get(), L"UninstallLogDigest");
        if (removed != ERROR_FILE_NOT_FOUND && error == ERROR_SUCCESS)
            error = removed;
    } else if (error == ERROR_SUCCESS) {
        error = writeString(key.get(), L"UninstallLogDigest", digest);
    }
    return error;
}

InstallationLogRecord readInstallationLog()
{
    InstallationLogRecord record;
    const std::wstring key = productRecordKeyPath();
    record.digest = readString(HKEY_LOCAL_MACHINE, key, L"UninstallLogDigest").value_or(L"");
    auto menu = readString(HKEY_LOCAL_MACHINE, key, L"StartMenuFolder");
    record.menuRecorded = menu.has_value();
    record.menuFolder = menu.value_or(L"");
    return record;
}

void removeProductRecord()
{
    InstalledProduct product = readProductRecord();
    if (!product.mainProgram.empty()) {
        const std::wstring appPath = appPathsKeyPath(product.mainProgram);
        // Only the entry that points at our program is ours to remove.
        auto registered = readString(HKEY_LOCAL_MACHINE, appPath, nullptr);
        if (registered && lstrcmpiW(registered->c_str(), product.mainProgram.c_str()) == 0)
            SHDeleteKeyW(HKEY_LOCAL_MACHINE, appPath.c_str());
    }
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, productRecordKeyPath().c_str());
    // The company key goes too once no other product of the company is left in it.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, companyKeyPath().c_str());
}

} // namespace ar
