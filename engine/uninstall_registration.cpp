#include "engine/uninstall_registration.h"

#include <windows.h>

#include <unordered_set>

#include "product/product.h"
#include "log/run_recorder.h"
#include "support/format.h"
#include "support/handles.h"

namespace ar {
namespace {

bool setString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    // The byte count includes the terminating zero.
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
           ERROR_SUCCESS;
}

bool setDword(HKEY key, const wchar_t* name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

} // namespace

bool writeUninstallRegistration(const UninstallRegistration& registration, RunRecorder& log)
{
    unique_hkey parent;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, product::uninstallParentKey, 0, KEY_ALL_ACCESS, parent.put()) !=
        ERROR_SUCCESS)
        return false;
    unique_hkey key;
    const bool existed = RegOpenKeyExW(parent.get(), product::productKey().c_str(), 0, KEY_ALL_ACCESS,
                                       key.put()) == ERROR_SUCCESS;
    // A new key is recorded before it is made, so that a run ended in between
    // still removes it.
    log.recordUninstallKey(existed ? key.get() : nullptr);
    if (!existed &&
        RegCreateKeyExW(parent.get(), product::productKey().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        log.commit(false);
        return false;
    }

    bool ok = setString(key.get(), L"DisplayName", product::displayName());
    ok = setString(key.get(), L"UninstallString", uninstallCommand(registration.uninstallerPath)) && ok;
    setString(key.get(), L"DisplayIcon", registration.programPath + L",0");
    setString(key.get(), L"DisplayVersion", product::versionText());
    setString(key.get(), L"Publisher", product::companyName);
    setString(key.get(), L"URLInfoAbout", publisherWebAddress);
    setString(key.get(), L"HelpLink", publisherWebAddress);
    setString(key.get(), L"URLUpdateInfo", publisherWebAddress);
    setString(key.get(), L"HelpTelephone", supportTelephone);
    setDword(key.get(), L"NoModify", 1);
    setDword(key.get(), L"NoRepair", 1);
    setDword(key.get(), L"ArLanguage", static_cast<DWORD>(registration.language));
    // What the system's and administrators' tools expect beside the twelve.
    setString(key.get(), L"QuietUninstallString", quietUninstallCommand(registration.uninstallerPath));
    setString(key.get(), L"InstallLocation", registration.installFolder);
    setDword(key.get(), L"EstimatedSize", estimatedSizeKilobytes(registration.installedBytes));
    SYSTEMTIME today{};
    GetLocalTime(&today);
    setString(key.get(), L"InstallDate", installDateText(today));

    key.reset();
    log.commit(ok);
    return ok;
}

std::uint64_t installedSize(const LogRecords& earlier, const LogRecords& run)
{
    // Paths compare without regard to case; a set keeps this linear in the number of
    // files (an update log holds thousands).
    std::unordered_set<std::wstring> counted;
    std::uint64_t total = 0;
    for (const LogRecords* list : {&earlier, &run}) {
        for (const UninstallLogRecord& record : *list) {
            if (record.recordKind != RecordKind::InstalledFile || !record.succeeded)
                continue;
            std::wstring key = record.path;
            CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
            if (!counted.insert(std::move(key)).second)
                continue;
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (GetFileAttributesExW(record.path.c_str(), GetFileExInfoStandard, &data) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                total += std::uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
        }
    }
    return total;
}

std::wstring uninstallCommand(const std::wstring& uninstallerPath)
{
    // Unquoted, a path with blanks would let the system start "C:\Program.exe" or
    // "D:\My.exe" first.
    return L'"' + uninstallerPath + L'"';
}

std::wstring quietUninstallCommand(const std::wstring& uninstallerPath)
{
    return uninstallCommand(uninstallerPath) + L" /S";
}

DWORD estimatedSizeKilobytes(std::uint64_t bytes)
{
    std::uint64_t kilobytes = bytes / 1024 + (bytes % 1024 != 0);
    return static_cast<DWORD>(std::min<std::uint64_t>(kilobytes, 0xFFFFFFFFu));
}

std::wstring installDateText(const SYSTEMTIME& date)
{
    return formatPrintf(L"%04u%02u%02u", unsigned(date.wYear), unsigned(date.wMonth), unsigned(date.wDay));
}

} // namespace ar
