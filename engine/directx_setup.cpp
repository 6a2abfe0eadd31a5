#include "engine/directx_setup.h"

namespace ar {
namespace {

using GetVersionFn = INT(WINAPI*)(DWORD*, DWORD*);
using SetCallbackFn = INT(WINAPI*)(void*);
using SetupFn = INT(WINAPI*)(HWND, LPWSTR, DWORD);

template <typename Fn>
Fn lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// What the running set-up's callback calls on progress: the library's callback
// takes no context of its own.
thread_local const std::function<void()>* runningPump = nullptr;

} // namespace

void DirectXRuntimeSetup::load(const std::wstring& folder)
{
    folder_ = folder;
    module_.reset();
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    path += L"DSetup.dll";
    // Only by its full path from the run's private folder, which only administrators
    // can change; its companion dsetup32.dll is found beside it, every other library
    // in the system folder. Never the legacy search order.
    unique_hmodule library(LoadLibraryExW(path.c_str(), nullptr, loadFlags));
    if (!library)
        return;
    auto getVersion = lookup<GetVersionFn>(library.get(), "DirectXSetupGetVersion");
    DWORD version = 0, revision = 0;
    if (getVersion && getVersion(&version, &revision) && version >= requiredVersion && revision >= requiredRevision)
        module_ = std::move(library);
}

bool DirectXRuntimeSetup::run(HWND owner, const std::function<void()>& pump)
{
    if (!module_)
        return false;
    auto setCallback = lookup<SetCallbackFn>(module_.get(), "DirectXSetupSetCallback");
    auto setup = lookup<SetupFn>(module_.get(), "DirectXSetupW");
    if (!setCallback || !setup)
        return false;
    setCallback(reinterpret_cast<void*>(&DirectXRuntimeSetup::dsetupCallback));
    runningPump = &pump;
    INT code = setup(owner, folder_.data(), setupFlags);
    runningPump = nullptr;
    return code == 0 || code == 1;
}

DWORD CALLBACK DirectXRuntimeSetup::dsetupCallback(DWORD reason, DWORD, LPSTR, LPSTR, void*)
{
    if (reason == progressReason && runningPump && *runningPump)
        (*runningPump)();
    return IDOK;
}

} // namespace ar
