#include "framework/window.h"

#include <vector>

namespace fw {

std::wstring Window::text() const
{
    int length = GetWindowTextLengthW(hwnd_);
    if (length <= 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int copied = GetWindowTextW(hwnd_, buffer.data(), length + 1);
    return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

RECT Window::clientRect() const
{
    RECT rect{};
    GetClientRect(hwnd_, &rect);
    return rect;
}

RECT Window::windowRect() const
{
    RECT rect{};
    GetWindowRect(hwnd_, &rect);
    return rect;
}

RECT Window::rectInParent() const
{
    RECT rect = windowRect();
    HWND parent = GetParent(hwnd_);
    if (parent && (style() & WS_CHILD))
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Window::setRect(const RECT& rect) const
{
    SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::reshape(int moveX, int moveY, int growX, int growY) const
{
    if (!hwnd_)
        return;
    RECT rect = rectInParent();
    OffsetRect(&rect, moveX, moveY);
    rect.right += growX;
    rect.bottom += growY;
    setRect(rect);
}

int ComboBox::addItem(const std::wstring& text, LPARAM data) const
{
    auto position = static_cast<int>(send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    if (position >= 0)
        send(CB_SETITEMDATA, static_cast<WPARAM>(position), data);
    return position;
}

std::wstring ComboBox::itemText(int position) const
{
    auto length = static_cast<int>(send(CB_GETLBTEXTLEN, static_cast<WPARAM>(position)));
    if (length <= 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    auto copied = static_cast<int>(
        send(CB_GETLBTEXT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(buffer.data())));
    return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

int dpiOf(HWND window)
{
    // Windows 10's per-window value where there is one; the screen's otherwise.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto forWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (forWindow && window)
        if (UINT dpi = forWindow(window))
            return static_cast<int>(dpi);
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

} // namespace fw
