// The installed main program's own registration, which the program performs itself
// when started with "/Register /Background" and undoes with "/Unregister /Background";
// it reports success with the exit code product::registrationDone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace ar {

enum class Registration { Register, Unregister };

// The command line: the program path, quoted when it has a blank, then the switches.
std::wstring registrationCommand(const std::wstring& program, Registration which);

// How long a registration, or the removal of it, may take when it is not simply
// awaited (the rollback, the uninstaller).
constexpr DWORD registrationTimeout = 120000;

struct RegistrationResult {
    bool done = false; // the program reported success
    LONG code = 0;     // otherwise its exit code, WAIT_TIMEOUT, or the system error that
                       // kept it from starting
};

// Runs `program` for `which` in `folder` (its own folder when empty) at `priority`
// and waits for its end, at most `timeout` milliseconds.
RegistrationResult runRegistration(const std::wstring& program, Registration which,
                                   const std::wstring& folder, DWORD timeout = INFINITE, DWORD priority = 0);

// Ends the registration programs `program` that the installer process `installerId`,
// created at `installerCreated`, started and left running when it was ended from
// outside: while its run is undone, such a program would race the removal of its
// registration. Returns once they have ended, at most after `timeout` milliseconds.
void endOrphanedRegistrations(DWORD installerId, std::uint64_t installerCreated, const std::wstring& program,
                              DWORD timeout = 30000);

} // namespace ar
