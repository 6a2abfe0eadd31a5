// The product's entry in the system's list of installed programs.
#pragma once

#include <string>

namespace ar {

class UninstallLog;

// What the registration is made of: the installed programs and the chosen language.
struct UninstallRegistration {
    std::wstring programPath;    // the installed main program
    std::wstring uninstallerPath;
    int language = 0;            // index stored as ArLanguage
};

// The publisher's contact data carried in the registration.
inline constexpr wchar_t publisherWebAddress[] = L"https://www.ardenvale.example/pelorium";
inline constexpr wchar_t supportTelephone[] = L"+33 1 70 36 41 00";

// Creates or opens the product's uninstall key, records it in `log` (an existing
// key is saved first) and writes its values. True when the key was opened and
// "DisplayName" and "UninstallString" were written; the record is committed with it.
bool writeUninstallRegistration(const UninstallRegistration& registration, UninstallLog& log);

} // namespace ar
