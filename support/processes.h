// The system's list of running processes, as far as who started whom.
#pragma once

#include <windows.h>

#include <vector>

namespace ar {

struct ProcessEntry {
    DWORD id = 0;
    DWORD parent = 0; // the process that started it; the id may since have gone to another
};

// Every running process; empty when the system's list cannot be had.
std::vector<ProcessEntry> runningProcesses();

} // namespace ar
