// Checks that decide whether the installer may run at all: the system version,
// the run-time library's locale support, one installer at a time (a named mutex),
// administrator rights, and whether the product is running (a named semaphore
// that every process of the product, and the installer itself, registers with).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "product/exit_codes.h"
#include "support/handles.h"

namespace ar {

// The fixed texts shown before any language is chosen.
extern const wchar_t incompatibleSystemText[];

// Outcome of the version rule; `text` is empty when the system passes.
struct SystemVersionVerdict {
    bool passes;
    const wchar_t* text;
};
// Pure rule: SSE2, then 5.1 needs SP3, 5.2 needs SP2, other 5.x fail, the rest pass.
SystemVersionVerdict judgeSystemVersion(bool sse2, DWORD major, DWORD minor, WORD servicePackMajor);

// Static initialisation checks: show an error box (none when /S is on the command
// line) and end the process on failure: ExitCode::UnsupportedSystem for an
// unsupported system, -11 without locale support.
constexpr int unsupportedSystemExitCode = static_cast<int>(ExitCode::UnsupportedSystem);
void checkSystemVersion();
void checkRuntimeLocale();

// "Global\" + stem + suffix on NT systems after version 4, the bare name before.
std::wstring globalObjectName(const wchar_t* suffix);
std::wstring instanceMutexName();
std::wstring runningSemaphoreName();

// The named objects' access lists, as SDDL (protected: nothing inherited).
// Administrators and SYSTEM have full access; everyone else only what using the
// object takes. Only the installers and the uninstaller, elevated, hold the mutex:
// others may wait on it. The product's processes, which run unelevated, take and give
// back units of the counter.
constexpr wchar_t instanceMutexSddl[] = L"D:P(A;;0x1f0001;;;BA)(A;;0x1f0001;;;SY)(A;;0x100000;;;WD)";
constexpr wchar_t runningSemaphoreSddl[] = L"D:P(A;;0x1f0003;;;BA)(A;;0x1f0003;;;SY)(A;;0x100002;;;WD)";
// What every process opens the counter with: a wait takes a unit, a release gives one back.
constexpr DWORD runningSemaphoreAccess = SYNCHRONIZE | SEMAPHORE_MODIFY_STATE;

// A security descriptor built from one of those (self-relative, LocalAlloc'd); empty
// on failure with the last error set.
unique_hlocal namedObjectDescriptor(const wchar_t* sddl);

// Adds one unit to the running-product counter for this process; the unit is taken
// back when the process ends. False when the counter is not available.
bool registerRunningInstance();
// Processes registered with the counter, this one included; 0 when unavailable.
long countRunningInstances();

// The single-instance lock: created (or opened) without ownership, owned while held.
class InstanceLock {
public:
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Waits at most `timeout` milliseconds; an abandoned mutex counts as acquired.
    bool acquire(DWORD timeout = 0);
    void release();
    bool owned() const { return owned_; }
    HANDLE handle() const { return mutex_.get(); }

private:
    unique_handle mutex_;
    bool owned_ = false;
};

// Lets go of an owned lock while a program runs that refuses to start while an
// installer holds it, and takes it back.
class LockGap {
public:
    explicit LockGap(InstanceLock& lock) : lock_(lock) { lock_.release(); }
    // Left without takeBack (an exception), the lock is taken back if it is free.
    ~LockGap()
    {
        if (!takenBack_)
            lock_.acquire();
    }
    LockGap(const LockGap&) = delete;
    LockGap& operator=(const LockGap&) = delete;

    // False when another installer took the lock meanwhile and still holds it
    // after `timeout` milliseconds; `whileWaiting` is called as the time passes.
    bool takeBack(DWORD timeout, const std::function<void()>& whileWaiting);

private:
    InstanceLock& lock_;
    bool takenBack_ = false;
};

bool isUserAdministrator();

} // namespace ar
