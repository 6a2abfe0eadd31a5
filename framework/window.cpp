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

int ComboBoxEx::addItem(const std::wstring& text, int image, LPARAM data) const
{
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
    item.iItem = -1;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    item.iSelectedImage = image;
    item.lParam = data;
    return static_cast<int>(send(CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

std::wstring ComboBoxEx::itemText(int position) const
{
    wchar_t buffer[256] = {};
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT;
    item.iItem = position;
    item.pszText = buffer;
    item.cchTextMax = 256;
    if (!send(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return {};
    return item.pszText ? std::wstring(item.pszText) : std::wstring();
}

int ComboBoxEx::itemImage(int position) const
{
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_IMAGE;
    item.iItem = position;
    if (!send(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return item.iImage;
}

} // namespace fw
