#include "framework/data_exchange.h"

#include "framework/window.h"
#include "support/format.h"

namespace fw {

std::wstring maxCharsMessage(size_t maximum)
{
    return ar::formatMessage(L"Enter no more than %1 characters.", {std::to_wstring(maximum)});
}

void DataExchange::control(int id, Window& view)
{
    view.attach(GetDlgItem(dialog_, id));
}

void DataExchange::text(int id, std::wstring& value)
{
    if (skip())
        return;
    Window item(GetDlgItem(dialog_, id));
    if (saving_)
        value = item.text();
    else
        item.setText(value);
}

void DataExchange::maxChars(int id, const std::wstring& value, size_t maximum)
{
    if (skip())
        return;
    if (!saving_) {
        Window item(GetDlgItem(dialog_, id));
        wchar_t cls[16] = {};
        GetClassNameW(item.hwnd(), cls, 16);
        if (lstrcmpiW(cls, L"Edit") == 0)
            item.send(EM_LIMITTEXT, maximum);
        return;
    }
    if (value.size() > maximum)
        fail(id, maxCharsMessage(maximum));
}

void DataExchange::check(int id, int& state)
{
    if (skip())
        return;
    Button box(GetDlgItem(dialog_, id));
    if (saving_)
        state = box.checkState();
    else
        box.setCheckState(state);
}

void DataExchange::radio(int firstId, int& value)
{
    if (skip())
        return;
    HWND button = GetDlgItem(dialog_, firstId);
    if (saving_)
        value = -1;
    // The group runs from the first button up to the next control with WS_GROUP.
    for (int position = 0; button; ++position) {
        if (!(SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON))
            break;
        if (saving_) {
            if (SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED)
                value = position;
        } else {
            SendMessageW(button, BM_SETCHECK, position == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        button = GetWindow(button, GW_HWNDNEXT);
        if (button && (GetWindowLongPtrW(button, GWL_STYLE) & WS_GROUP))
            break;
    }
}

void DataExchange::fail(int id, std::wstring message)
{
    if (failed())
        return;
    failedControl_ = id;
    message_ = std::move(message);
}

} // namespace fw
