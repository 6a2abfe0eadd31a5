// Dialogs created from resource templates: modal dialogs and child dialogs (the
// pages of a wizard) share one class and differ only in how they are created and
// ended. The dialog procedure stores the object at WM_INITDIALOG and dispatches to
// typed virtual handlers; no exception leaves it.
#pragma once

#include <windows.h>

#include "framework/data_exchange.h"
#include "framework/window.h"

namespace fw {

class Dialog {
public:
    explicit Dialog(UINT templateId) : templateId_(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the value given to endDialog, or -1 when the
    // dialog could not be created.
    INT_PTR doModal(HWND parent = nullptr);
    // Creates the dialog modelessly: a child page when the template has WS_CHILD,
    // otherwise a top-level window (which shows itself when its template has WS_VISIBLE).
    bool create(HWND parent);
    // Ends a modal dialog; destroys a modeless one. The result stays readable.
    void endDialog(INT_PTR result);

    HWND hwnd() const { return hwnd_; }
    Window window() const { return Window(hwnd_); }
    Window item(int id) const { return Window(GetDlgItem(hwnd_, id)); }
    UINT templateId() const { return templateId_; }
    bool isModal() const { return modal_; }
    INT_PTR result() const { return result_; }

    // Runs DoDataExchange in one direction. A refused save shows the validation
    // message, puts the focus on the refused control and returns false.
    bool updateData(bool save);

protected:
    // Default: loads the data (updateData(false)); true lets the system set the focus.
    virtual bool OnInitDialog();
    // Commands not taken by the message map. Default: a top-level dialog maps IDOK
    // to OnOK and IDCANCEL to OnCancel (the Enter and Escape keys, the close box).
    virtual bool OnCommand(UINT code, UINT id, HWND control);
    // Default: saves the data and, when that is accepted, ends the dialog with IDOK.
    virtual void OnOK();
    // Default: ends the dialog with IDCANCEL.
    virtual void OnCancel();
    virtual void DoDataExchange(DataExchange& dx);
    // The message map (FW_BEGIN_MESSAGE_MAP); true when the message was handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    INT_PTR result_ = 0;
};

} // namespace fw

// A small message map with typed handlers, placed in the class body:
//   FW_BEGIN_MESSAGE_MAP(fw::Dialog)
//       FW_ON_COMMAND(IDC_BROWSE, BN_CLICKED, onBrowse)
//   FW_END_MESSAGE_MAP()
// Messages that no entry takes go to the base class's map.
#define FW_BEGIN_MESSAGE_MAP(BaseClass)                                                                      \
    bool OnMessage(UINT message_, WPARAM wParam_, LPARAM lParam_, LRESULT& result_) override                 \
    {                                                                                                        \
        using MessageMapBase_ = BaseClass;

// void handler()
#define FW_ON_COMMAND(id, code, handler)                                                                     \
    if (message_ == WM_COMMAND && LOWORD(wParam_) == (id) && HIWORD(wParam_) == (code)) {                    \
        handler();                                                                                           \
        result_ = 0;                                                                                         \
        return true;                                                                                         \
    }

// bool handler(UINT command, LPARAM lParam): false leaves the command to the system.
#define FW_ON_WM_SYSCOMMAND(handler)                                                                         \
    if (message_ == WM_SYSCOMMAND && handler(static_cast<UINT>(wParam_), lParam_)) {                         \
        result_ = 0;                                                                                         \
        return true;                                                                                         \
    }

// void handler(HMENU menu, UINT position, bool systemMenu)
#define FW_ON_WM_INITMENUPOPUP(handler)                                                                      \
    if (message_ == WM_INITMENUPOPUP) {                                                                      \
        handler(reinterpret_cast<HMENU>(wParam_), LOWORD(lParam_), HIWORD(lParam_) != 0);                    \
        result_ = 0;                                                                                         \
        return true;                                                                                         \
    }

// void handler(MINMAXINFO* info)
#define FW_ON_WM_GETMINMAXINFO(handler)                                                                      \
    if (message_ == WM_GETMINMAXINFO) {                                                                      \
        handler(reinterpret_cast<MINMAXINFO*>(lParam_));                                                     \
        result_ = 0;                                                                                         \
        return true;                                                                                         \
    }

// bool handler(): false leaves the painting to the system.
#define FW_ON_WM_PAINT(handler)                                                                              \
    if (message_ == WM_PAINT && handler()) {                                                                 \
        result_ = 0;                                                                                         \
        return true;                                                                                         \
    }

// HICON handler()
#define FW_ON_WM_QUERYDRAGICON(handler)                                                                      \
    if (message_ == WM_QUERYDRAGICON) {                                                                      \
        result_ = reinterpret_cast<LRESULT>(handler());                                                      \
        return true;                                                                                         \
    }

// bool handler(HWND window, UINT hitTest, UINT mouseMessage): true when it set the cursor.
#define FW_ON_WM_SETCURSOR(handler)                                                                          \
    if (message_ == WM_SETCURSOR &&                                                                          \
        handler(reinterpret_cast<HWND>(wParam_), LOWORD(lParam_), HIWORD(lParam_))) {                        \
        result_ = TRUE;                                                                                      \
        return true;                                                                                         \
    }

// bool handler(const DRAWITEMSTRUCT& item): an owner-drawn control's item; true when drawn.
#define FW_ON_WM_DRAWITEM(id, handler)                                                                       \
    if (message_ == WM_DRAWITEM && wParam_ == static_cast<WPARAM>(id) &&                                     \
        handler(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam_))) {                                        \
        result_ = TRUE;                                                                                      \
        return true;                                                                                         \
    }

// void handler(): a message of the program's own (WM_APP + n) that carries nothing.
#define FW_ON_MESSAGE(message, handler)                                                                      \
    if (message_ == (message)) {                                                                             \
        handler();                                                                                           \
        result_ = 0;                                                                                         \
        return true;                                                                                         \
    }

#define FW_END_MESSAGE_MAP()                                                                                 \
    return MessageMapBase_::OnMessage(message_, wParam_, lParam_, result_);                                  \
    }
