// Process-wide state that the support routines share with the dialog framework:
// the module that holds the string resources and the application name that
// captions message boxes.
#pragma once

#include <windows.h>

#include <string>

namespace ar {

// The module whose resources are used; the executable itself unless set.
HMODULE resourceModule();
void setResourceModule(HMODULE module);

// Caption of message boxes without an explicit caption.
std::wstring applicationName();
void setApplicationName(std::wstring name);

// The application's main window (owner of message boxes when no window is active).
HWND mainWindow();
void setMainWindow(HWND window);

// Loads string resource `id` from `module`; empty when it does not exist.
std::wstring loadResourceString(HMODULE module, UINT id);

// Looks a string up in the resource module, then in the executable.
std::wstring loadResourceString(UINT id);

} // namespace ar
