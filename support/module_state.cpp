#include "support/module_state.h"

#include <mutex>

namespace ar {
namespace {

struct ModuleState {
    std::mutex lock;
    HMODULE resources = nullptr;
    std::wstring applicationName;
    HWND mainWindow = nullptr;
};

ModuleState& state()
{
    static ModuleState s;
    return s;
}

} // namespace

HMODULE resourceModule()
{
    std::lock_guard<std::mutex> guard(state().lock);
    return state().resources ? state().resources : GetModuleHandleW(nullptr);
}

void setResourceModule(HMODULE module)
{
    std::lock_guard<std::mutex> guard(state().lock);
    state().resources = module;
}

std::wstring applicationName()
{
    std::lock_guard<std::mutex> guard(state().lock);
    return state().applicationName;
}

void setApplicationName(std::wstring name)
{
    std::lock_guard<std::mutex> guard(state().lock);
    state().applicationName = std::move(name);
}

HWND mainWindow()
{
    std::lock_guard<std::mutex> guard(state().lock);
    return state().mainWindow;
}

void setMainWindow(HWND window)
{
    std::lock_guard<std::mutex> guard(state().lock);
    state().mainWindow = window;
}

std::wstring loadResourceString(HMODULE module, UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return {};
    return std::wstring(text, static_cast<size_t>(length));
}

std::wstring loadResourceString(UINT id)
{
    HMODULE module = resourceModule();
    std::wstring text = loadResourceString(module, id);
    HMODULE exe = GetModuleHandleW(nullptr);
    if (text.empty() && module != exe)
        text = loadResourceString(exe, id);
    return text;
}

} // namespace ar
