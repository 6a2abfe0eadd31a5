#include "product/system_checks.h"

#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <locale>
#include <vector>

#include "product/product.h"
#include "support/switches.h"

namespace ar {
namespace {

constexpr wchar_t instanceSuffix[] = L".{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
constexpr wchar_t counterSuffix[] = L".{a3526b56-ca7c-4e16-8a26-da7758a378fd}";

// An unattended installation (/S on the command line) never shows a box, not even
// before the command line is otherwise read.
bool silentRequested()
{
    const std::vector<std::wstring> arguments = processArgumentList();
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const std::wstring& argument) { return isSwitch(argument, L"/S"); });
}

void fail(const wchar_t* text, UINT extraType, int exitCode)
{
    if (!silentRequested())
        MessageBoxW(nullptr, text, nullptr, MB_OK | MB_ICONERROR | extraType);
    ExitProcess(static_cast<UINT>(exitCode));
}

// The counter, opened with what using it takes, which is all a process outside the
// Administrators group is granted; CreateSemaphore would open an existing counter
// asking for all access. Created with its access list when there is none yet.
HANDLE openRunningSemaphore()
{
    const std::wstring name = runningSemaphoreName();
    unique_hlocal descriptor = namedObjectDescriptor(runningSemaphoreSddl);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (HANDLE existing = OpenSemaphoreW(runningSemaphoreAccess, FALSE, name.c_str()))
            return existing;
        if (HANDLE created =
                CreateSemaphoreW(descriptor ? &attributes : nullptr, 0, 0x7FFFFFFF, name.c_str()))
            return created;
        // Another process made it in between: it is opened on the next round.
        if (GetLastError() != ERROR_ACCESS_DENIED)
            return nullptr;
    }
    return nullptr;
}

// This process's units in the running-product counter, given back at process end.
class RunningCounter {
public:
    bool registerSelf()
    {
        if (registered_)
            return true;
        semaphore_.reset(openRunningSemaphore());
        if (!semaphore_)
            return false;
        if (!ReleaseSemaphore(semaphore_.get(), 1, nullptr))
            return false;
        units_ += 1;
        registered_ = true;
        return true;
    }

    long count() const
    {
        if (!registered_)
            return 0;
        LONG before = 0;
        if (!ReleaseSemaphore(semaphore_.get(), 1, &before))
            return 0;
        WaitForSingleObject(semaphore_.get(), 0);
        return before;
    }

    ~RunningCounter()
    {
        if (!semaphore_)
            return;
        if (units_ > 0) {
            for (long taken = 0; taken < units_; ++taken) {
                if (WaitForSingleObject(semaphore_.get(), 0) != WAIT_OBJECT_0) {
                    if (taken > 0)
                        ReleaseSemaphore(semaphore_.get(), taken, nullptr);
                    break;
                }
            }
        } else if (units_ < 0) {
            ReleaseSemaphore(semaphore_.get(), -units_, nullptr);
        }
    }

private:
    unique_handle semaphore_;
    long units_ = 0;
    bool registered_ = false;
};

RunningCounter& runningCounter()
{
    static RunningCounter counter;
    return counter;
}

} // namespace

const wchar_t incompatibleSystemText[] = L"This Version is not compatible with your Configuration.\n\n"
                                         L"Cette version n'est pas compatible avec votre configuration.\n\n"
                                         L"Diese Version ist nicht mit Ihrer Konfiguration kompatibel.";

SystemVersionVerdict judgeSystemVersion(bool sse2, DWORD major, DWORD minor, WORD servicePackMajor)
{
    if (!sse2)
        return {false, incompatibleSystemText};
    if (major != 5)
        return {true, nullptr};
    WORD required = 0;
    if (minor == 1)
        required = 3;
    else if (minor == 2)
        required = 2;
    else
        return {false, L"Unknown System Version"};
    if (servicePackMajor < required)
        return {false, incompatibleSystemText};
    return {true, nullptr};
}

void checkSystemVersion()
{
    bool sse2 = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL read = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
#pragma GCC diagnostic pop
    if (sse2 && !read)
        fail(L"GetVersionEx() failed", 0, unsupportedSystemExitCode);
    SystemVersionVerdict verdict =
        judgeSystemVersion(sse2, version.dwMajorVersion, version.dwMinorVersion, version.wServicePackMajor);
    if (!verdict.passes)
        fail(verdict.text, 0, unsupportedSystemExitCode);
}

void checkRuntimeLocale()
{
    try {
        const std::locale& classic = std::locale::classic();
        std::use_facet<std::codecvt<wchar_t, char, std::mbstate_t>>(classic);
    } catch (const std::exception&) {
        fail(L"Initialization Error", MB_TASKMODAL | MB_SETFOREGROUND, -11);
    }
}

std::wstring globalObjectName(const wchar_t* suffix)
{
    std::wstring name = product::objectStem;
    name += suffix;
    // Session namespaces exist on NT systems after version 4.
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    bool global = GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                  version.dwMajorVersion > 4;
#pragma GCC diagnostic pop
    return global ? L"Global\\" + name : name;
}

std::wstring instanceMutexName()
{
    return globalObjectName(instanceSuffix);
}

std::wstring runningSemaphoreName()
{
    return globalObjectName(counterSuffix);
}

bool registerRunningInstance()
{
    return runningCounter().registerSelf();
}

long countRunningInstances()
{
    return runningCounter().count();
}

unique_hlocal namedObjectDescriptor(const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    return unique_hlocal(descriptor);
}

InstanceLock::InstanceLock()
{
    // Only elevated programs take the lock, and Administrators are granted the full
    // access that CreateMutex asks for when the mutex is already there.
    unique_hlocal descriptor = namedObjectDescriptor(instanceMutexSddl);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    mutex_.reset(CreateMutexW(descriptor ? &attributes : nullptr, FALSE, instanceMutexName().c_str()));
}

InstanceLock::~InstanceLock()
{
    release();
}

bool InstanceLock::acquire(DWORD timeout)
{
    if (owned_)
        return true;
    if (!mutex_)
        return false;
    DWORD result = WaitForSingleObject(mutex_.get(), timeout);
    owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return owned_;
}

void InstanceLock::release()
{
    if (owned_ && mutex_)
        ReleaseMutex(mutex_.get());
    owned_ = false;
}

bool LockGap::takeBack(DWORD timeout, const std::function<void()>& whileWaiting)
{
    const DWORD start = GetTickCount();
    while (!lock_.acquire(50)) {
        if (GetTickCount() - start >= timeout)
            return false;
        if (whileWaiting)
            whileWaiting();
    }
    takenBack_ = true;
    return true;
}

namespace {

bool administratorByAccessCheck()
{
    if (!ImpersonateSelf(SecurityImpersonation))
        return false;
    bool granted = false;
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token)) {
        unique_handle tokenOwner(token);
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID admins = nullptr;
        if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                     0, 0, &admins)) {
            const DWORD accessRead = 1, accessWrite = 2;
            std::vector<BYTE> aclBuffer(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(admins));
            PACL acl = reinterpret_cast<PACL>(aclBuffer.data());
            SECURITY_DESCRIPTOR descriptor{};
            if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                InitializeAcl(acl, static_cast<DWORD>(aclBuffer.size()), ACL_REVISION) &&
                AddAccessAllowedAce(acl, ACL_REVISION, accessRead | accessWrite, admins) &&
                SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
                SetSecurityDescriptorOwner(&descriptor, admins, FALSE) &&
                SetSecurityDescriptorGroup(&descriptor, admins, FALSE)) {
                GENERIC_MAPPING mapping{accessRead, accessWrite, 0, accessRead | accessWrite};
                PRIVILEGE_SET privileges{};
                DWORD privilegesLength = sizeof(privileges);
                DWORD grantedAccess = 0;
                BOOL status = FALSE;
                if (AccessCheck(&descriptor, token, accessRead, &mapping, &privileges, &privilegesLength,
                                &grantedAccess, &status))
                    granted = status != FALSE;
            }
            FreeSid(admins);
        }
    }
    RevertToSelf();
    return granted;
}

} // namespace

bool isUserAdministrator()
{
    using CheckMembership = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    auto check = reinterpret_cast<CheckMembership>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "CheckTokenMembership")));
    if (!check)
        return administratorByAccessCheck();
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &admins))
        return false;
    BOOL member = FALSE;
    if (!check(nullptr, admins, &member))
        member = FALSE;
    FreeSid(admins);
    return member != FALSE;
}

} // namespace ar
