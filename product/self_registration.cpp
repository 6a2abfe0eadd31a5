#include "product/self_registration.h"

#include "product/product.h"
#include "support/handles.h"

#include <vector>

namespace ar {

namespace {

// PROC_THREAD_ATTRIBUTE_JOB_LIST (Windows 10), which headers for older systems lack.
constexpr DWORD_PTR jobListAttribute = 13 | PROC_THREAD_ATTRIBUTE_INPUT;

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
    // A job that outlives no handle of ours: closing its last handle (when this
    // function returns, or when the process is ended) ends what runs in it.
    unique_handle job(CreateJobObjectW(nullptr, nullptr));
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
            job.reset();
    }

    std::wstring command = registrationCommand(program, which);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_SHOWNOACTIVATE;
    // Windows 10 puts the program into the job as it creates it; elsewhere it is put
    // there right after its start, and one that cannot be (a job of the caller's that
    // forbids it) still runs.
    std::vector<unsigned char> attributes;
    HANDLE jobs[] = {job.get()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributes.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (job && size != 0 && InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        if (UpdateProcThreadAttribute(list, 0, jobListAttribute, jobs, sizeof jobs, nullptr, nullptr))
            startup.lpAttributeList = list;
        else
            DeleteProcThreadAttributeList(list);
    }
    unique_process_information process;
    // The program is named as the application, so that its path is never parsed out
    // of the command line.
    auto start = [&](bool withJob) {
        return CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                              priority | (withJob ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &process);
    };
    bool started = startup.lpAttributeList && start(true);
    if (startup.lpAttributeList)
        DeleteProcThreadAttributeList(list);
    if (!started && !start(false))
        return {false, static_cast<LONG>(GetLastError())};
    BOOL inJob = FALSE;
    if (job && !(IsProcessInJob(process.hProcess, job.get(), &inJob) && inJob))
        AssignProcessToJobObject(job.get(), process.hProcess);
    if (WaitForSingleObject(process.hProcess, timeout) != WAIT_OBJECT_0)
        return {false, WAIT_TIMEOUT};
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode))
        return {false, static_cast<LONG>(GetLastError())};
    return {static_cast<LONG>(exitCode) == product::registrationDone, static_cast<LONG>(exitCode)};
}

} // namespace ar
