#include "framework/app.h"

#include "support/error.h"
#include "support/format.h"
#include "support/module_state.h"

namespace fw {
namespace {

App* currentApp = nullptr;

} // namespace

App::App()
{
    currentApp = this;
}

App::~App()
{
    if (currentApp == this)
        currentApp = nullptr;
    if (ar::mainWindow() == mainWindow_)
        ar::setMainWindow(nullptr);
}

App* App::current()
{
    return currentApp;
}

int App::run()
{
    if (InitInstance()) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!PreTranslateMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    return ExitInstance();
}

// The common controls are loaded with the first dialog: a run that shows none (an
// unattended installation) does not pay for them.
bool App::InitInstance()
{
    return true;
}

int App::ExitInstance()
{
    return 0;
}

bool App::PreTranslateMessage(MSG& message)
{
    return preTranslateDialogMessage(message);
}

void App::OnException(const std::exception& error)
{
    showMessage(ar::fromUtf8(error.what()), MB_OK | MB_ICONERROR);
}

void App::setName(std::wstring name)
{
    name_ = std::move(name);
    ar::setApplicationName(name_);
}

void App::setMainWindow(HWND window)
{
    mainWindow_ = window;
    ar::setMainWindow(window);
}

bool preTranslateDialogMessage(MSG& message)
{
    if (!message.hwnd || message.message < WM_KEYFIRST || message.message > WM_KEYLAST)
        return false;
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    wchar_t cls[16] = {};
    if (!root || !GetClassNameW(root, cls, 16) || lstrcmpW(cls, L"#32770") != 0)
        return false;
    return IsDialogMessageW(root, &message) != FALSE;
}

void pumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        App* app = App::current();
        bool handled = app ? app->PreTranslateMessage(message) : preTranslateDialogMessage(message);
        if (handled)
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void reportException(const std::exception& error)
{
    if (App* app = App::current()) {
        try {
            app->OnException(error);
            return;
        } catch (const std::exception&) {
            // Reporting failed as well; fall through to the debugger output.
        }
    }
    OutputDebugStringA(error.what());
}

int showMessage(const std::wstring& text, UINT type)
{
    return ar::messageBox(text, {}, type);
}

} // namespace fw
