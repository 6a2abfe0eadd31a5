// The application object: one per process. It owns the application's name (the
// caption of message boxes) and main window, runs InitInstance and, when that
// asks for it, a message loop; and it pre-translates messages for dialog keyboard
// navigation wherever messages are pumped.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace fw {

class Dialog;

class App {
public:
    App();
    virtual ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The application object of this process, or nullptr.
    static App* current();

    // InitInstance; then, only when it returns true, the message loop; then ExitInstance.
    int run();

    virtual bool InitInstance();
    virtual int ExitInstance();
    // True when the message was handled and must not be dispatched. Default: dialog
    // keyboard navigation (Tab, arrows, Enter, Escape, access keys) for the dialog
    // that holds the message's window.
    virtual bool PreTranslateMessage(MSG& message);
    // An exception stopped a handler; the default shows its text.
    virtual void OnException(const std::exception& error);

    // The name also captions message boxes without a caption of their own.
    const std::wstring& name() const { return name_; }
    void setName(std::wstring name);
    HWND mainWindow() const { return mainWindow_; }
    void setMainWindow(HWND window);
    // A dialog that becomes the main window when its window is created and stops
    // being it when the window is destroyed (a modal main dialog).
    Dialog* mainDialog() const { return mainDialog_; }
    void setMainDialog(Dialog* dialog) { mainDialog_ = dialog; }

private:
    std::wstring name_;
    HWND mainWindow_ = nullptr;
    Dialog* mainDialog_ = nullptr;
};

// Dispatches every pending message of this thread, with the application's
// pre-translation. A WM_QUIT is posted again and ends the pumping.
void pumpMessages();

// Dialog keyboard navigation for `message` (used when there is no application object).
bool preTranslateDialogMessage(MSG& message);

// Reports an exception caught at a window procedure through the application.
void reportException(const std::exception& error);

// A message box captioned with the application name (validation and error messages).
int showMessage(const std::wstring& text, UINT type);

} // namespace fw
