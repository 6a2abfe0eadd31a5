#include "support/processes.h"

#include "support/handles.h"

#include <tlhelp32.h>

namespace ar {

std::vector<ProcessEntry> runningProcesses()
{
    std::vector<ProcessEntry> processes;
    unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE)
        return processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry))
        processes.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    return processes;
}

std::uint64_t processCreationTime(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

} // namespace ar
