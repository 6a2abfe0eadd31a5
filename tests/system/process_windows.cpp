#include "tests/system/process_windows.h"

#include "support/processes.h"
#include "tests/support/test_support.h"

#include <vector>

namespace ar::test {

namespace {

struct Search {
    DWORD process;
    const std::function<bool(HWND)>* accept;
    HWND found = nullptr;
};

BOOL CALLBACK visitTopLevel(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !IsWindowVisible(window))
        return TRUE;
    if (search->accept && !(*search->accept)(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND findTopLevel(DWORD process, const std::function<bool(HWND)>* accept)
{
    Search search{process, accept};
    EnumWindows(visitTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct ControlSearch {
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK visitChild(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<ControlSearch*>(parameter);
    if (GetDlgCtrlID(window) == search->id && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK collectStatic(HWND window, LPARAM parameter)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (lstrcmpiW(name, L"Static") == 0) {
        std::wstring text = textOf(window);
        auto* all = reinterpret_cast<std::wstring*>(parameter);
        if (!text.empty())
            *all += (all->empty() ? L"" : L"\n") + text;
    }
    return TRUE;
}

} // namespace

Started::~Started()
{
    if (process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.get(), 99);
        WaitForSingleObject(process.get(), 10000);
    }
}

Outcome runWatched(const std::wstring& program, const std::wstring& arguments)
{
    Outcome outcome;
    Started started = startProcess(program, arguments);
    if (!started.process)
        return outcome;
    for (int waited = 0; WaitForSingleObject(started.process.get(), 20) == WAIT_TIMEOUT; waited += 20) {
        outcome.windowShown = outcome.windowShown || findTopLevel(started.id, nullptr);
        if (waited > 120000) {
            TerminateProcess(started.process.get(), 99);
            WaitForSingleObject(started.process.get(), 10000);
            break;
        }
    }
    GetExitCodeProcess(started.process.get(), &outcome.exitCode);
    return outcome;
}

Started startProcess(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return {};
    CloseHandle(process.hThread);
    return {unique_handle(process.hProcess), process.dwProcessId};
}

bool hasChildProcess(DWORD parent)
{
    for (const ProcessEntry& entry : runningProcesses())
        if (entry.parent == parent)
            return true;
    return false;
}

HWND waitForWindow(DWORD id, const std::function<bool(HWND)>& accept, DWORD milliseconds)
{
    HWND found = nullptr;
    waitUntil([&] { return (found = findTopLevel(id, &accept)) != nullptr; }, milliseconds);
    return found;
}

HWND waitForDialog(DWORD id, int controlId, DWORD milliseconds)
{
    return waitForWindow(
        id,
        [controlId](HWND window) {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            return lstrcmpW(name, L"#32770") == 0 && visibleControl(window, controlId);
        },
        milliseconds);
}

HWND visibleControl(HWND window, int controlId)
{
    ControlSearch search{controlId};
    EnumChildWindows(window, visitChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool waitUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(50))
        if (GetTickCount() - start > milliseconds)
            return false;
    return true;
}

std::wstring boxText(HWND box)
{
    std::wstring all;
    EnumChildWindows(box, collectStatic, reinterpret_cast<LPARAM>(&all));
    return all;
}

void press(HWND button)
{
    PostMessageW(button, BM_CLICK, 0, 0);
}

void type(HWND edit, const std::wstring& text)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
}

bool bringToFront(HWND window)
{
    SetForegroundWindow(window);
    return waitUntil([&] { return GetForegroundWindow() == window; }, 5000);
}

void pressKey(WORD key, WORD modifier)
{
    std::vector<INPUT> inputs;
    auto add = [&](WORD virtualKey, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtualKey;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (modifier)
        add(modifier, false);
    add(key, false);
    add(key, true);
    if (modifier)
        add(modifier, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND focusOf(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

bool saveScreenshot(HWND window, const std::wstring& file)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    Sleep(400);
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return false;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    bool written = false;
    if (copied) {
        const DWORD stride = (width * 3 + 3) & ~3u, size = stride * height;
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42; // "BM"
        header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
        header.bfSize = header.bfOffBits + size;
        info.bmiHeader.biSizeImage = size;
        unique_hfile out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD done = 0;
        written = out && WriteFile(out.get(), &header, sizeof(header), &done, nullptr) &&
                  WriteFile(out.get(), &info.bmiHeader, sizeof(info.bmiHeader), &done, nullptr) &&
                  WriteFile(out.get(), bits, size, &done, nullptr);
    }
    if (bitmap)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written;
}

} // namespace ar::test
