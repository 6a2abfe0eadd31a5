#include "engine/uninstall_registration.h"

#include <windows.h>

#include "app/product.h"
#include "log/uninstall_log.h"
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

bool writeUninstallRegistration(const UninstallRegistration& registration, UninstallLog& log)
{
    unique_hkey parent;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, product::uninstallParentKey, 0, KEY_ALL_ACCESS, parent.put()) !=
        ERROR_SUCCESS)
        return false;
    unique_hkey key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(parent.get(), product::productKey().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.put(), &disposition) != ERROR_SUCCESS)
        return false;

    log.recordUninstallKey(disposition == REG_OPENED_EXISTING_KEY ? key.get() : nullptr);

    bool ok = setString(key.get(), L"DisplayName", product::displayName());
    ok = setString(key.get(), L"UninstallString", registration.uninstallerPath) && ok;
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

    key.reset();
    log.commit(ok);
    return ok;
}

} // namespace ar
