// DSETUP.dll of the demo build: a stand-in for the DirectX set-up library with the
// three functions the installer uses. It changes nothing on the system. Its
// answers come from environment variables, so tests can steer it:
//
//   AR_DSETUP_VERSION    version reported by DirectXSetupGetVersion (default 0x00040009,
//                        DirectX 9); "fail" makes the call return 0
//   AR_DSETUP_REVISION   revision reported with it (default 904)
//   AR_DSETUP_RESULT     value returned by DirectXSetupW (default 0; 1 = restart needed,
//                        negative = error)
//   AR_DSETUP_PROGRESS   progress callbacks (reason 18) sent by DirectXSetupW (default 3)
//   AR_DSETUP_LOG        a file to which every call appends one line, for example
//                        "DirectXSetupW flags=0x00010018 source=C:\...\Temp\ardenvale_{...}"
//
// Numbers are decimal or hexadecimal with 0x. The callback has the set-up library's
// signature: DWORD WINAPI callback(DWORD reason, DWORD messageType, LPSTR message,
// LPSTR name, void* info); its answers are ignored here.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using Callback = DWORD(WINAPI*)(DWORD, DWORD, LPSTR, LPSTR, void*);
Callback callback = nullptr;
constexpr DWORD progressReason = 18;

std::wstring environment(const wchar_t* name)
{
    wchar_t value[512];
    DWORD length = GetEnvironmentVariableW(name, value, 512);
    return length > 0 && length < 512 ? std::wstring(value, length) : std::wstring();
}

long number(const wchar_t* name, long fallback)
{
    std::wstring text = environment(name);
    return text.empty() ? fallback : std::wcstol(text.c_str(), nullptr, 0);
}

void log(const std::wstring& line)
{
    std::wstring path = environment(L"AR_DSETUP_LOG");
    if (path.empty())
        return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::wstring text = line + L"\r\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size() - 1), &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" {

__declspec(dllexport) INT WINAPI DirectXSetupGetVersion(DWORD* version, DWORD* revision)
{
    bool fails = environment(L"AR_DSETUP_VERSION") == L"fail";
    DWORD v = static_cast<DWORD>(number(L"AR_DSETUP_VERSION", 0x00040009));
    DWORD r = static_cast<DWORD>(number(L"AR_DSETUP_REVISION", 904));
    wchar_t line[96];
    std::swprintf(line, 96, L"DirectXSetupGetVersion version=0x%08lx revision=%lu%ls", v, r,
                  fails ? L" failed" : L"");
    log(line);
    if (fails)
        return 0;
    if (version)
        *version = v;
    if (revision)
        *revision = r;
    return 1;
}

__declspec(dllexport) INT WINAPI DirectXSetupSetCallback(Callback function)
{
    callback = function;
    log(function ? L"DirectXSetupSetCallback" : L"DirectXSetupSetCallback none");
    return 0;
}

__declspec(dllexport) INT WINAPI DirectXSetupW(HWND owner, LPWSTR source, DWORD flags)
{
    wchar_t head[64];
    std::swprintf(head, 64, L"DirectXSetupW flags=0x%08lx owner=%ls source=", flags,
                  owner ? L"yes" : L"none");
    log(head + std::wstring(source ? source : L""));
    long progress = number(L"AR_DSETUP_PROGRESS", 3);
    for (long i = 0; i < progress && callback; ++i)
        callback(progressReason, 0, nullptr, nullptr, nullptr);
    return static_cast<INT>(number(L"AR_DSETUP_RESULT", 0));
}

} // extern "C"
