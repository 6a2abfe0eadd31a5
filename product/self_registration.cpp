#include "product/self_registration.h"

#include "product/product.h"
#include "support/handles.h"
#include "support/processes.h"

#include <shlwapi.h>

#include <vector>

namespace ar {
namespace {

std::wstring imageOf(HANDLE process)
{
    wchar_t image[MAX_PATH * 2] = {};
    DWORD length = MAX_PATH * 2;
    return QueryFullProcessImageNameW(process, 0, image, &length) ? std::wstring(image, length)
                                                                  : std::wstring();
}

} // namespace

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

void endOrphanedRegistrations(DWORD installerId, std::uint64_t installerCreated, const std::wstring& program,
                              DWORD timeout)
{
    if (installerId == 0 || installerCreated == 0 || program.empty())
        return;
    // A process keeps the id of its parent after the parent has ended, and the id may
    // since have gone to another process: only a child created after the installer,
    // and before any later owner of its id, is the installer's.
    std::uint64_t laterOwner = UINT64_MAX;
    {
        unique_handle owner(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, installerId));
        const std::uint64_t created = owner ? processCreationTime(owner.get()) : 0;
        if (created != 0 && created != installerCreated)
            laterOwner = created;
    }
    std::vector<unique_handle> ended;
    for (const ProcessEntry& entry : runningProcesses()) {
        if (entry.parent != installerId || entry.id == GetCurrentProcessId())
            continue;
        unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                                          FALSE, entry.id));
        if (!process)
            continue;
        const std::uint64_t created = processCreationTime(process.get());
        if (created < installerCreated || created >= laterOwner ||
            lstrcmpiW(imageOf(process.get()).c_str(), program.c_str()) != 0)
            continue;
        if (TerminateProcess(process.get(), ERROR_PROCESS_ABORTED))
            ended.push_back(std::move(process));
    }
    const DWORD start = GetTickCount();
    for (const unique_handle& process : ended) {
        const DWORD waited = GetTickCount() - start;
        WaitForSingleObject(process.get(), waited < timeout ? timeout - waited : 0);
    }
}

} // namespace ar
