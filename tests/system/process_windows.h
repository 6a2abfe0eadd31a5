// Driving another process's windows as a user would: start the program, find its
// windows, press its buttons, read its texts, and take pictures of them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "support/handles.h"

namespace ar::test {

struct Outcome {
    DWORD exitCode = 0xFFFFFFFF;
    bool windowShown = false; // a visible top-level window of the process appeared
};

// Runs `program` with `arguments` until it ends, watching for its windows; a run
// that has not ended after two minutes is ended with exit code 99.
Outcome runWatched(const std::wstring& program, const std::wstring& arguments);

// A program started without waiting for it; one still running when this ends is
// ended with it, so that a failed test never leaves a window behind.
struct Started {
    unique_handle process;
    DWORD id = 0;

    Started() = default;
    Started(unique_handle handle, DWORD processId) : process(std::move(handle)), id(processId) {}
    Started(Started&&) = default;
    Started& operator=(Started&&) = default;
    ~Started();
};
Started startProcess(const std::wstring& program, const std::wstring& arguments = {});

// Whether a process that `parent` started is running.
bool hasChildProcess(DWORD parent);

// Waits up to `milliseconds` for a visible top-level window of process `id` that
// `accept` takes; null when none came.
HWND waitForWindow(DWORD id, const std::function<bool(HWND)>& accept, DWORD milliseconds = 20000);

// A visible dialog box of the process showing a control with `controlId` (message
// boxes: IDRETRY, IDYES...; the wizard frame: its Back button).
HWND waitForDialog(DWORD id, int controlId, DWORD milliseconds = 20000);

// The visible control with `controlId` anywhere below `window`, or null.
HWND visibleControl(HWND window, int controlId);

// Waits until `condition` holds, up to `milliseconds`.
bool waitUntil(const std::function<bool()>& condition, DWORD milliseconds = 20000);

// Everything a message box says (its static texts).
std::wstring boxText(HWND box);

// Clicks a button as the mouse would (posted, so that a modal loop it starts
// never blocks the caller).
void press(HWND button);
// Types `text` into an edit control, replacing what it held.
void type(HWND edit, const std::wstring& text);

// Makes `window` the one that receives the keyboard; false when it did not become it.
bool bringToFront(HWND window);
// Presses and releases `key` (a virtual key) as the keyboard does, with `modifier`
// (VK_SHIFT, VK_MENU for Alt) held when not 0. The focus of the front window gets it.
void pressKey(WORD key, WORD modifier = 0);
// The control with the keyboard focus in the thread of `window`, or null.
HWND focusOf(HWND window);

// Saves what the screen shows of `window` as a 24-bit BMP file.
bool saveScreenshot(HWND window, const std::wstring& file);

} // namespace ar::test
