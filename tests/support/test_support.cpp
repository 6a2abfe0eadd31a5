#include "tests/support/test_support.h"

#include "support/format.h"

#include <objbase.h>
#include <shlobj.h>

#include <boost/filesystem.hpp>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace ar::test {
namespace fs = boost::filesystem;

namespace {
thread_local BoxAnswerer* activeAnswerer = nullptr;
}

TempDir::TempDir(const std::wstring& hint)
{
    wchar_t base[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, base);
    if (length == 0 || length >= MAX_PATH)
        throw std::runtime_error("GetTempPath failed");
    fs::path unique = fs::path(base) / fs::unique_path(L"ar" + hint + L"-%%%%-%%%%-%%%%");
    fs::create_directories(unique);
    path_ = unique.wstring();
}

TempDir::~TempDir()
{
    removeTree(path_);
}

void removeTree(const std::wstring& path)
{
    boost::system::error_code ec;
    if (!fs::exists(path, ec))
        return;
    // A folder that another program holds for a moment (the shell, after a run
    // made links in it) gets a few more tries.
    for (int tries = 0; tries < 30 && fs::exists(path, ec); ++tries) {
        if (tries > 0)
            Sleep(100);
        for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(path, ec);
    }
}

void writeFile(const std::wstring& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(fs::path(path).c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + narrow(path));
}

std::string readFile(const std::wstring& path)
{
    std::ifstream in(fs::path(path).c_str(), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + narrow(path));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string narrow(const std::wstring& text)
{
    return ar::toUtf8(text);
}

BoxAnswerer::BoxAnswerer(int answer) : answer_(answer)
{
    activeAnswerer = this;
    hook_ = SetWindowsHookExW(WH_CBT, &BoxAnswerer::hook, nullptr, GetCurrentThreadId());
}

BoxAnswerer::~BoxAnswerer()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
    activeAnswerer = nullptr;
}

LRESULT CALLBACK BoxAnswerer::hook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && activeAnswerer)
        activeAnswerer->onActivate(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void BoxAnswerer::onActivate(HWND window)
{
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    if (std::wstring(cls) != L"#32770")
        return;
    // A message box has its text in control 0xFFFF; other dialogs are left alone.
    HWND textControl = GetDlgItem(window, 0xFFFF);
    if (!textControl)
        return;
    for (HWND seen : answered_)
        if (seen == window)
            return;
    answered_.push_back(window);
    ShownBox box;
    wchar_t buffer[4096] = {};
    GetWindowTextW(textControl, buffer, 4096);
    box.text = buffer;
    GetWindowTextW(window, buffer, 4096);
    box.caption = buffer;
    HWND icon = GetDlgItem(window, 1088); // Wine; Windows uses 20
    if (!icon)
        icon = GetDlgItem(window, 20);
    if (icon)
        box.icon = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
    box.rtlReading = (GetWindowLongW(textControl, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0;
    boxes_.push_back(box);
    PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(answer_), 0);
}

ShortcutContents readShortcut(const std::wstring& path)
{
    ShortcutContents contents;
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
                wchar_t buffer[MAX_PATH] = {};
                if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH)))
                    contents.target = buffer;
                buffer[0] = 0;
                if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH)))
                    contents.workingFolder = buffer;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return contents;
}

bool copyWithDamagedPayload(const std::wstring& module, const std::wstring& copy, double at)
{
    if (!CopyFileW(module.c_str(), copy.c_str(), FALSE))
        return false;
    HMODULE source = LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!source)
        return false;
    std::vector<BYTE> bytes;
    if (HRSRC found = FindResourceW(source, MAKEINTRESOURCEW(134), MAKEINTRESOURCEW(260))) {
        DWORD size = SizeofResource(source, found);
        auto data = static_cast<const BYTE*>(LockResource(LoadResource(source, found)));
        if (data)
            bytes.assign(data, data + size);
    }
    FreeLibrary(source);
    if (bytes.empty())
        return false;
    bytes[static_cast<size_t>(static_cast<double>(bytes.size()) * at)] ^= 0x5A;
    HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
    return update &&
           UpdateResourceW(update, MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), 0, bytes.data(),
                           static_cast<DWORD>(bytes.size())) &&
           EndUpdateResourceW(update, FALSE);
}

std::wstring specialFolder(int csidl)
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return buffer;
}

std::wstring smallVolume()
{
    return GetDriveTypeW(L"S:\\") == DRIVE_NO_ROOT_DIR ? std::wstring() : L"S:\\";
}

std::wstring textOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::vector<wchar_t> buffer(length + 1);
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    return std::wstring(buffer.data(), copied);
}

void pumpFor(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

std::wstring binaryPath(const std::wstring& name)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (fs::path(self).parent_path() / name).wstring();
}

std::string hostPath(const std::wstring& path)
{
    using UnixName = char*(CDECL*)(const WCHAR*);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name)
        return {};
    std::string text = "'" + std::string(name) + "'";
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

bool hostShell(const std::string& script)
{
    // Wine does not wait for a Unix program: the script leaves a mark when it is done.
    static int count = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring mark = std::wstring(temp) + L"host-done-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(++count);
    std::string full = script + "; touch " + hostPath(mark);
    std::wstring command = L"/bin/sh -c \"";
    for (char c : full)
        command += c == '"' ? std::wstring(L"\\\"") : std::wstring(1, static_cast<wchar_t>(c));
    command += L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int waited = 0; waited < 100; ++waited) {
        if (GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES) {
            DeleteFileW(mark.c_str());
            return true;
        }
        Sleep(50);
    }
    return false;
}

} // namespace ar::test
