// The system's list of running processes, as far as who started whom.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace ar {

struct ProcessEntry {
    DWORD id = 0;
    DWORD parent = 0; // the process that started it; the id may since have gone to another
};

// Every running process; empty when the system's list cannot be had.
std::vector<ProcessEntry> runningProcesses();

// When `process` was created (a FILETIME): with its id, what names it alone among
// all processes, then and later. 0 when it cannot be told.
std::uint64_t processCreationTime(HANDLE process);

} // namespace ar
