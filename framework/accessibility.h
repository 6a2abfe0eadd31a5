// What controls tell the keyboard and screen readers beyond what the system
// knows of them: message hooks on a control, the dialog keys a read-only text
// leaves to its dialog, accessible names and values, and announced changes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace fw {

// Sees the messages of a window before its own procedure. It returns the result
// of what it takes and calls `next()` (the window's own handling) for the rest.
using MessageHook =
    std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam, const std::function<LRESULT()>& next)>;
// Puts `hook` in front of `window`'s procedure until the window goes. False when
// the common controls library offers no subclassing.
bool hookMessages(HWND window, MessageHook hook);

// A multi-line read-only edit takes Tab, Enter and Escape for itself, which traps
// the keyboard in it: with this it leaves them to its dialog (Tab moves on, Enter
// presses the default button) and keeps the arrow keys for scrolling.
bool leaveDialogKeysToDialog(HWND edit);

// What a screen reader reads of a control; an empty function keeps the system's answer.
struct AccessibleText {
    std::function<std::wstring()> name;
    std::function<std::wstring()> value;
};
// Answers the accessibility queries for `control` with the system's own object,
// but with `text`'s name and value. False when the system cannot.
bool annotateAccessible(HWND control, AccessibleText text);

// The text of the label just before `control` in its dialog's order (a static
// control, shown or hidden), as it reads: without its access key mark.
std::wstring labelOf(HWND control);

// Tells screen readers that `window`'s text changed (a status line's new words).
void announceNameChange(HWND window);

} // namespace fw
