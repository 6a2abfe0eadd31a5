#include "framework/dialog.h"

#include "framework/app.h"
#include "framework/common_controls.h"
#include "support/module_state.h"

#include <exception>
#include <stdexcept>

namespace fw {
namespace {

// Messages whose result a dialog procedure returns directly instead of through
// DWLP_MSGRESULT.
bool returnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

} // namespace

Dialog::~Dialog()
{
    if (hwnd_ && IsWindow(hwnd_)) {
        // The window outlives nothing of ours: detach first so no message reaches
        // the half-destroyed object.
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        DestroyWindow(hwnd_);
    }
}

INT_PTR Dialog::doModal(HWND parent)
{
    commonControls();
    modal_ = true;
    result_ = -1;
    INT_PTR result = DialogBoxParamW(ar::resourceModule(), MAKEINTRESOURCEW(templateId_), parent,
                                     &Dialog::dialogProc, reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return result;
}

bool Dialog::create(HWND parent)
{
    commonControls();
    modal_ = false;
    HWND window = CreateDialogParamW(ar::resourceModule(), MAKEINTRESOURCEW(templateId_), parent,
                                     &Dialog::dialogProc, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

void Dialog::endDialog(INT_PTR result)
{
    result_ = result;
    if (!hwnd_)
        return;
    if (modal_)
        EndDialog(hwnd_, result);
    else
        DestroyWindow(hwnd_);
}

bool Dialog::updateData(bool save)
{
    DataExchange dx(hwnd_, save);
    DoDataExchange(dx);
    if (!dx.failed())
        return true;
    showMessage(dx.message(), MB_OK | MB_ICONEXCLAMATION);
    HWND control = GetDlgItem(hwnd_, dx.failedControl());
    if (control && IsWindowVisible(control)) {
        SetFocus(control);
        SendMessageW(control, EM_SETSEL, 0, -1);
    }
    return false;
}

bool Dialog::OnInitDialog()
{
    updateData(false);
    return true;
}

bool Dialog::OnCommand(UINT, UINT id, HWND)
{
    if (window().style() & WS_CHILD)
        return false;
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

void Dialog::OnOK()
{
    if (updateData(true))
        endDialog(IDOK);
}

void Dialog::OnCancel()
{
    endDialog(IDCANCEL);
}

void Dialog::DoDataExchange(DataExchange&)
{
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

INT_PTR CALLBACK Dialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->hwnd_ = window;
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (!self)
        return FALSE;
    try {
        return self->dispatch(message, wParam, lParam);
    } catch (const std::exception& e) {
        reportException(e);
    } catch (...) {
        reportException(std::runtime_error("unknown exception"));
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

INT_PTR Dialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    App* app = App::current();
    if (message == WM_INITDIALOG) {
        if (app && app->mainDialog() == this)
            app->setMainWindow(hwnd_);
        return OnInitDialog() ? TRUE : FALSE;
    }
    if (message == WM_NCDESTROY) {
        if (app && app->mainDialog() == this && app->mainWindow() == hwnd_)
            app->setMainWindow(nullptr);
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        hwnd_ = nullptr;
        return FALSE;
    }
    LRESULT result = 0;
    bool handled = OnMessage(message, wParam, lParam, result);
    if (!handled && message == WM_COMMAND)
        handled = OnCommand(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam));
    if (!handled)
        return FALSE;
    if (returnsResultDirectly(message))
        return static_cast<INT_PTR>(result);
    if (hwnd_)
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

} // namespace fw
