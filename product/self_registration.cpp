#include "product/self_registration.h"

#include "product/product.h"
#include "support/handles.h"

#include <shlwapi.h>

namespace ar {

std::wstring registrationCommand(const std::wstring& program, Registration which)
{
    std::wstring command = program.find(L' ') == std::wstring::npos ? program : L'"' + program + L'"';
    return command +
           (which == Registration::Register ? L" /Register /Background" : L" /Unregister /Background");
}

RegistrationResult runRegistration(const std::wstring& program, Registration which,
                                   const std::wstring& folder, DWORD timeout, DWORD priority)
{
    std::wstring command = registrationCommand(program, which);
    std::wstring workingFolder = folder;
    if (workingFolder.empty()) {
        wchar_t own[MAX_PATH] = {};
        lstrcpynW(own, program.c_str(), MAX_PATH);
        PathRemoveFileSpecW(own);
        workingFolder = own;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    unique_process_information process;
    // The program is named as the application, so that its path is never parsed out
    // of the command line.
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, priority, nullptr,
                        workingFolder.c_str(), &startup, &process))
        return {false, static_cast<LONG>(GetLastError())};
    if (WaitForSingleObject(process.hProcess, timeout) != WAIT_OBJECT_0)
        return {false, WAIT_TIMEOUT};
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode))
        return {false, static_cast<LONG>(GetLastError())};
    return {static_cast<LONG>(exitCode) == product::registrationDone, static_cast<LONG>(exitCode)};
}

} // namespace ar
