// Non-owning views over windows and controls. A view never destroys the window it
// names; the window belongs to its dialog or to the system.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>

namespace fw {

class Window {
public:
    Window() = default;
    explicit Window(HWND window) : hwnd_(window) {}

    HWND hwnd() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr; }
    void attach(HWND window) { hwnd_ = window; }

    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return SendMessageW(hwnd_, message, wParam, lParam);
    }

    Window item(int id) const { return Window(GetDlgItem(hwnd_, id)); }
    int id() const { return GetDlgCtrlID(hwnd_); }

    std::wstring text() const;
    void setText(const std::wstring& text) const { SetWindowTextW(hwnd_, text.c_str()); }

    bool isEnabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    void enable(bool enabled) const { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
    bool isVisible() const { return IsWindowVisible(hwnd_) != FALSE; }
    void show(bool visible) const { ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE); }

    LONG_PTR style() const { return GetWindowLongPtrW(hwnd_, GWL_STYLE); }
    LONG_PTR exStyle() const { return GetWindowLongPtrW(hwnd_, GWL_EXSTYLE); }
    HFONT font() const { return reinterpret_cast<HFONT>(send(WM_GETFONT)); }

    RECT clientRect() const;
    RECT windowRect() const;
    // The window's rectangle in its parent's client coordinates.
    RECT rectInParent() const;
    void setRect(const RECT& rect) const;

    // Moves the window by (moveX, moveY) and grows it by (growX, growY), in pixels.
    void reshape(int moveX, int moveY, int growX, int growY) const;

private:
    HWND hwnd_ = nullptr;
};

// The width of text drawn in a window with a font, measured on the window's device
// context; the context and its former font go back when this goes.
class TextMeasure {
public:
    TextMeasure(HWND window, HFONT font)
        : window_(window), dc_(GetDC(window)), oldFont_(dc_ ? SelectObject(dc_, font) : nullptr)
    {
    }
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;
    ~TextMeasure()
    {
        if (!dc_)
            return;
        SelectObject(dc_, oldFont_);
        ReleaseDC(window_, dc_);
    }

    // In pixels; 0 for empty text or when the window has no context.
    int width(const std::wstring& text) const
    {
        SIZE size{};
        if (!dc_ || text.empty() || !GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size))
            return 0;
        return size.cx;
    }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ oldFont_;
};

class Button : public Window {
public:
    using Window::Window;
    int checkState() const { return static_cast<int>(send(BM_GETCHECK)); }
    void setCheckState(int state) const { send(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

class Edit : public Window {
public:
    using Window::Window;
    void setReadOnly(bool readOnly) const { send(EM_SETREADONLY, readOnly ? TRUE : FALSE); }
    bool isReadOnly() const { return (style() & ES_READONLY) != 0; }
    void setLimit(size_t characters) const { send(EM_LIMITTEXT, characters); }
    void selectAll() const { send(EM_SETSEL, 0, -1); }
    // Replaces the selection; `undoable` false keeps the text out of the undo buffer.
    void replaceSelection(const std::wstring& text, bool undoable = false) const
    {
        send(EM_REPLACESEL, undoable ? TRUE : FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // Left and right margins in pixels.
    std::pair<int, int> margins() const
    {
        DWORD value = static_cast<DWORD>(send(EM_GETMARGINS));
        return {LOWORD(value), HIWORD(value)};
    }
    int firstVisibleLine() const { return static_cast<int>(send(EM_GETFIRSTVISIBLELINE)); }
    int lineCount() const { return static_cast<int>(send(EM_GETLINECOUNT)); }
    void scrollLines(int lines) const { send(EM_LINESCROLL, 0, lines); }
};

class ProgressBar : public Window {
public:
    using Window::Window;
    void setRange(int low, int high) const { send(PBM_SETRANGE32, static_cast<WPARAM>(low), high); }
    void setPosition(int position) const { send(PBM_SETPOS, static_cast<WPARAM>(position)); }
    int position() const { return static_cast<int>(send(PBM_GETPOS)); }
};

// A drop-down list. An owner-drawn one keeps its item texts (CBS_HASSTRINGS), so
// that they can be read back, also by screen readers.
class ComboBox : public Window {
public:
    using Window::Window;
    // Appends an item; returns its position or -1.
    int addItem(const std::wstring& text, LPARAM data) const;
    int count() const { return static_cast<int>(send(CB_GETCOUNT)); }
    int selection() const { return static_cast<int>(send(CB_GETCURSEL)); }
    void select(int position) const { send(CB_SETCURSEL, static_cast<WPARAM>(position)); }
    LPARAM itemData(int position) const { return send(CB_GETITEMDATA, static_cast<WPARAM>(position)); }
    std::wstring itemText(int position) const;
    // The height of the closed list's field (-1) or of every item (0), in pixels.
    void setItemHeight(int which, int pixels) const
    {
        send(CB_SETITEMHEIGHT, static_cast<WPARAM>(which), pixels);
    }
    void setDroppedWidth(int pixels) const { send(CB_SETDROPPEDWIDTH, static_cast<WPARAM>(pixels)); }
};

// The dots per inch that `window` is drawn for.
int dpiOf(HWND window);

} // namespace fw
