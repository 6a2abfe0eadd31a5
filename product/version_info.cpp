#include "product/version_info.h"

#include <windows.h>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <vector>

#include "product/product.h"
#include "support/format.h"
#include "support/system_library.h"

namespace ar {
namespace {

using GetSizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetInfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

// version.dll is not a known DLL: it is bound at run time from the system folder.
struct VersionLibrary {
    GetSizeFn getSize = systemFunction<GetSizeFn>(L"version.dll", "GetFileVersionInfoSizeW");
    GetInfoFn getInfo = systemFunction<GetInfoFn>(L"version.dll", "GetFileVersionInfoW");
    QueryFn query = systemFunction<QueryFn>(L"version.dll", "VerQueryValueW");
    bool usable() const { return getSize && getInfo && query; }
};

bool readString(const VersionLibrary& lib, const std::vector<BYTE>& block, const std::wstring& key,
                std::wstring& out)
{
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!lib.query(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return false;
    // The length counts the terminating zero when there is one.
    out.assign(value, wcsnlen(value, length));
    return true;
}

} // namespace

bool queryVersionResource(VersionResourceInfo& info, const std::wstring& path)
{
    const std::uint32_t want = info.request;
    if (want & (VersionResourceInfo::FullText))
        info.fullText.clear();
    if (want & VersionResourceInfo::ProductName)
        info.productName.clear();
    if (want & VersionResourceInfo::ProductVersion)
        info.productVersion.clear();
    if (want & VersionResourceInfo::FileDescription)
        info.fileDescription.clear();
    if (want & VersionResourceInfo::LegalNotice)
        info.legalNotice.clear();
    info.fileVersion = 0;

    wchar_t file[MAX_PATH + 1] = {};
    if (path.empty())
        GetModuleFileNameW(nullptr, file, MAX_PATH);
    else
        lstrcpynW(file, path.c_str(), MAX_PATH + 1);

    VersionLibrary lib;
    if (!lib.usable())
        return false;
    DWORD handle = 0;
    DWORD size = lib.getSize(file, &handle);
    if (size == 0)
        return false;
    std::vector<BYTE> block(size);
    if (!lib.getInfo(file, 0, size, block.data()))
        return false;

    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (!lib.query(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                   &length) ||
        !translation || length < sizeof(Translation))
        return false;
    const std::wstring prefix =
        formatPrintf(L"\\StringFileInfo\\%04hX%04hX", translation->language, translation->codePage);

    bool complete = true;
    if (want & (VersionResourceInfo::FullText | VersionResourceInfo::ProductName)) {
        std::wstring name;
        bool found = readString(lib, block, prefix + L"\\ProductName", name);
        complete &= found;
        if (want & VersionResourceInfo::ProductName)
            info.productName = name;
        if (want & VersionResourceInfo::FullText)
            info.fullText = name;
    }
    if (want & (VersionResourceInfo::FullText | VersionResourceInfo::ProductVersion)) {
        std::wstring version;
        bool found = readString(lib, block, prefix + L"\\ProductVersion", version);
        complete &= found;
        if (want & VersionResourceInfo::FullText)
            info.fullText += L' ' + version;
        if (want & VersionResourceInfo::ProductVersion)
            info.productVersion = version;
    }
    if (want & (VersionResourceInfo::FullText | VersionResourceInfo::FileVersion | VersionResourceInfo::FileFlags)) {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedLength = 0;
        if (lib.query(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength) && fixed &&
            fixedLength >= sizeof(VS_FIXEDFILEINFO)) {
            if (want & VersionResourceInfo::FileVersion)
                info.fileVersion = std::uint64_t(fixed->dwFileVersionMS) << 32 | fixed->dwFileVersionLS;
            std::uint32_t flags = fixed->dwFileFlags & fixed->dwFileFlagsMask;
            if (want & VersionResourceInfo::FileFlags)
                info.fileFlags = flags;
            if (want & VersionResourceInfo::FullText) {
                if (flags & VS_FF_PRIVATEBUILD)
                    info.fullText += L" \u2013 Private";
                if (flags & VS_FF_DEBUG)
                    info.fullText += L" \u2013 Debug";
            }
        } else {
            complete = false;
        }
    }
    if (want & VersionResourceInfo::FileDescription)
        complete &= readString(lib, block, prefix + L"\\FileDescription", info.fileDescription);
    if (want & VersionResourceInfo::LegalNotice)
        complete &= readString(lib, block, prefix + L"\\LegalCopyright", info.legalNotice);
    return complete;
}

InstallState compareVersions(std::uint64_t payload, std::uint64_t installed)
{
    if (installed == 0 || installed == payload)
        return InstallState::Same;
    return payload > installed ? InstallState::Update : InstallState::NewerInstalled;
}

std::optional<VersionComparison> compareWithInstalled(const InstalledProduct& product)
{
    VersionComparison result;
    if (!product.installed)
        return result;
    VersionResourceInfo installed;
    if (!product.mainProgram.empty()) {
        installed.request = VersionResourceInfo::All;
        if (!queryVersionResource(installed, product.mainProgram))
            return std::nullopt;
    }
    result.state = compareVersions(product::payloadVersion.value(), installed.fileVersion);
    if (result.state == InstallState::Update || result.state == InstallState::NewerInstalled)
        result.installedVersionText = installed.fullText;
    return result;
}

bool makeTempFolderPath(std::wstring& folder, std::wstring& error, const std::wstring& base)
{
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = 0;
    if (!base.empty()) {
        length = static_cast<DWORD>(base.size() + 1);
        lstrcpynW(buffer, (base + L'\\').c_str(), MAX_PATH);
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    } else {
        length = GetTempPathW(MAX_PATH, buffer);
    }
    if (length == 0 || length > 246) {
        error = formatPrintf(L"%08x (%ls)", static_cast<unsigned>(GetLastError()), L"GetTempPath");
        return false;
    }
    std::string uuid;
    try {
        boost::uuids::random_generator generate;
        uuid = boost::uuids::to_string(generate());
    } catch (const std::exception&) {
        error = formatPrintf(L"%08x (%ls)", static_cast<unsigned>(GetLastError()), L"CryptGenRandom");
        return false;
    }
    folder.assign(buffer, length);
    folder += L"ardenvale_{";
    folder.append(uuid.begin(), uuid.end());
    folder += L'}';
    return true;
}

} // namespace ar
