// Error texts and message boxes.
//
// Error codes are signed 32-bit values: Win32 error numbers or HRESULTs. HRESULTs
// with the customer bit are the company's own; with bit 0x08000000 as well, their
// low word numbers a string resource holding the message.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ar {

constexpr LONG customerBit = 0x20000000;
constexpr LONG stringMessageBit = 0x08000000;

// The system's message for `code` in `language` (0 = neutral), without the
// trailing line break; falls back to the text of E_FAIL, then to "Error".
std::wstring systemErrorText(LONG code, LANGID language = 0);

// The text for any error code, following the company's conventions.
std::wstring errorText(LONG code);

// Adds the icon that a button set implies when `type` names none:
// OK and OK/Cancel get the exclamation mark, Yes/No(/Cancel) the question mark.
UINT withDefaultIcon(UINT type);

// True when the user's default language is written right to left.
bool userLanguageIsRightToLeft();

// Reading order for a box owned by `owner` (or, without owner, in the user's language).
UINT withReadingOrder(UINT type, HWND owner);

// The owner that message boxes of the application use: the active window's
// top-level owner, else the main window.
HWND safeOwnerWindow();

// Takes the place of every message box of messageBox, showErrorCode and
// showSystemError (unattended installations log the text and answer themselves);
// returns the button "pressed". An empty handler leaves the boxes to the system.
using MessageBoxHandler =
    std::function<int(const std::wstring& text, const std::wstring& caption, UINT type)>;
// Sets a handler for as long as it lives, then puts back the one that was set before.
class ScopedMessageBoxHandler {
public:
    explicit ScopedMessageBoxHandler(MessageBoxHandler handler);
    ScopedMessageBoxHandler(const ScopedMessageBoxHandler&) = delete;
    ScopedMessageBoxHandler& operator=(const ScopedMessageBoxHandler&) = delete;
    ~ScopedMessageBoxHandler();

private:
    MessageBoxHandler previous_;
};

// Shows a message box; an empty caption means the application name.
int messageBox(const std::wstring& text, const std::wstring& caption = {}, UINT type = MB_OK);
// The box itself, whatever handler is set (a handler that only watches shows it).
int showMessageBox(const std::wstring& text, const std::wstring& title, UINT type);
// Same as messageBox, with the text and caption taken from string resources (caption 0 = none).
int messageBox(UINT textId, UINT captionId = 0, UINT type = MB_OK);

void showErrorCode(LONG code);

// Shows the system text of `code` owned by `owner`, with the platform's caption.
// Always returns false.
bool showSystemError(HWND owner, LONG code);

} // namespace ar
