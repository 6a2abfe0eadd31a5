// The product's identity, fixed at build time from cmake/Product.cmake. The version
// this build installs is defined in product/product_version.cpp alone, so that an
// installer of another version (the older demo build) differs from this one by that
// single object file.
#pragma once

#include <cstdint>
#include <string>

#include "product_identity.h"

namespace ar::product {

inline constexpr wchar_t name[] = L"" AR_PRODUCT_NAME_TEXT;
inline constexpr unsigned majorVersion = AR_PRODUCT_MAJOR_VERSION;
inline constexpr wchar_t companyName[] = L"" AR_PRODUCT_COMPANY_TEXT;
// Stem of the named synchronisation objects shared with the product: no blank.
inline constexpr wchar_t objectStem[] = L"" AR_PRODUCT_NAME_TEXT AR_PRODUCT_MAJOR_VERSION_TEXT;

// The version carried in the payload, four 16-bit parts.
struct Version {
    std::uint16_t major, minor, build, revision;
    constexpr std::uint64_t value() const
    {
        return std::uint64_t(major) << 48 | std::uint64_t(minor) << 32 | std::uint64_t(build) << 16 | revision;
    }
};
// The version installed: its four parts ("7.6.0.4") and its label ("7.06").
extern const Version payloadVersion;
extern const wchar_t versionLabel[];

// "7.6.0.4"
inline std::wstring versionText(const Version& v = payloadVersion)
{
    return std::to_wstring(v.major) + L'.' + std::to_wstring(v.minor) + L'.' + std::to_wstring(v.build) + L'.' +
           std::to_wstring(v.revision);
}

// The product name, with the version label when asked: "Pelorium 7.06".
inline std::wstring productName(bool withVersion)
{
    std::wstring text = name;
    if (withVersion) {
        text += L' ';
        text += versionLabel;
    }
    return text;
}

inline std::wstring displayName() { return productName(true); }

// The product key: the name, and the major version after a blank unless the name
// already ends in a digit. "Pelorium 7".
inline std::wstring productKey()
{
    std::wstring key = name;
    if (key.empty() || key.back() < L'0' || key.back() > L'9') {
        key += L' ';
        key += std::to_wstring(majorVersion);
    }
    return key;
}

// The exit code with which the product's program reports that its registration
// ("/Register") or the removal of its registration ("/Unregister") succeeded.
inline constexpr long registrationDone = -10;

// Where the product registers for uninstallation, below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t uninstallParentKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline std::wstring uninstallKeyPath() { return std::wstring(uninstallParentKey) + L'\\' + productKey(); }

} // namespace ar::product
