#include "tests/support/machine_state.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <boost/filesystem.hpp>

#include "product/product.h"
#include "product/product_record.h"
#include "payload/archive.h"
#include "tests/support/test_support.h"

namespace ar::test {
namespace fs = boost::filesystem;

namespace {

std::string hex(const BYTE* data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

void dumpKey(HKEY root, const std::wstring& path, MachineState::Snapshot& out)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::wstring prefix = (root == HKEY_CLASSES_ROOT ? L"HKCR\\" : L"HKLM\\") + path;
    out[prefix] = "key";
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        BYTE data[8192];
        DWORD dataSize = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        out[prefix + L" :" + name] = std::to_string(type) + " " + hex(data, dataSize);
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    RegCloseKey(key);
    for (const std::wstring& sub : subkeys)
        dumpKey(root, path + L"\\" + sub, out);
}

void describeFile(const std::wstring& path, MachineState::Snapshot& out)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        out[path] = "folder";
        return;
    }
    std::string bytes = readFile(path);
    out[path] = "file " + std::to_string(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) +
                " " + std::to_string(bytes.size()) + " " +
                std::to_string(ar::crc32(0, bytes.data(), bytes.size()));
}

} // namespace

MachineState::MachineState(std::vector<std::wstring> folders, std::vector<RegistryKey> keys)
    : folders_(std::move(folders)), keys_(std::move(keys))
{
}

MachineState::Snapshot MachineState::take() const
{
    Snapshot snapshot;
    for (const std::wstring& folder : folders_) {
        describeFile(folder, snapshot);
        boost::system::error_code ec;
        if (!fs::is_directory(folder, ec))
            continue;
        for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            describeFile(it->path().wstring(), snapshot);
    }
    for (const RegistryKey& key : keys_)
        dumpKey(key.root, key.path, snapshot);
    return snapshot;
}

std::vector<std::string> MachineState::differences(const Snapshot& before, const Snapshot& after)
{
    std::vector<std::string> lines;
    for (const auto& [path, what] : before) {
        auto it = after.find(path);
        if (it == after.end())
            lines.push_back("- " + narrow(path) + " (" + what + ")");
        else if (it->second != what)
            lines.push_back("~ " + narrow(path) + " (" + what + " -> " + it->second + ")");
    }
    for (const auto& [path, what] : after)
        if (!before.count(path))
            lines.push_back("+ " + narrow(path) + " (" + what + ")");
    return lines;
}

std::wstring commonDataFolder()
{
    return specialFolder(CSIDL_COMMON_APPDATA) + L"\\Ardenvale";
}

std::wstring userDataFolder()
{
    return specialFolder(CSIDL_APPDATA) + L"\\Ardenvale";
}

std::wstring publicDesktopLink()
{
    return specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Pelorium 7.06.lnk";
}

std::vector<RegistryKey> productKeys()
{
    return {{HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath()},
            {HKEY_LOCAL_MACHINE, L"Software\\Ardenvale"},
            {HKEY_LOCAL_MACHINE, L"Software\\Ardenvale Setup"},
            {HKEY_LOCAL_MACHINE, ar::appPathsKeyPath(L"Pelorium.exe")},
            {HKEY_CLASSES_ROOT, L".pm-lib"},
            {HKEY_CLASSES_ROOT, L"Ardenvale.Pelorium.Library"}};
}

void removeProductTraces()
{
    removeTree(commonDataFolder());
    removeTree(userDataFolder());
    SetFileAttributesW(publicDesktopLink().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(publicDesktopLink().c_str());
    for (const RegistryKey& key : productKeys())
        SHDeleteKeyW(key.root, key.path.c_str());
    for (const std::wstring& folder : runTemporaryFolders())
        removeTree(folder);
}

std::vector<std::wstring> runTemporaryFolders()
{
    // Where the run keeps them, and where earlier versions did.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::vector<std::wstring> found;
    for (const std::wstring& folder : {std::wstring(temp), specialFolder(CSIDL_COMMON_APPDATA) + L"\\Ardenvale Setup"}) {
        boost::system::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            if (it->path().filename().wstring().rfind(L"ardenvale_{", 0) == 0)
                found.push_back(it->path().wstring());
    }
    return found;
}

} // namespace ar::test
