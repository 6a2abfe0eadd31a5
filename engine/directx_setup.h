// The DirectX runtime set-up: the redistributable's set-up library, carried in the
// payload and written to the run's temporary folder, decides whether the system
// can take the runtime components and installs them silently.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "support/handles.h"

namespace ar {

class DirectXRuntimeSetup {
public:
    // Loads "DSetup.dll" from `folder` by its full path and keeps it when the system
    // already has DirectX 9 with revision 903 or later.
    void load(const std::wstring& folder);

    // Whether a usable set-up library was kept.
    bool loaded() const { return static_cast<bool>(module_); }

    // Runs the set-up with `owner` as its window, calling `pump` on its progress
    // reports: true for success and for success needing a restart (which is not
    // passed on to the user).
    bool run(HWND owner, const std::function<void()>& pump);

    // Releases the library.
    void release() { module_.reset(); }

    // The set-up library's progress and message callback: calls the running set-up's
    // pump on progress reports and answers every question with OK.
    static DWORD CALLBACK dsetupCallback(DWORD reason, DWORD messageType, LPSTR message, LPSTR name,
                                         void* info);

    static constexpr DWORD requiredVersion = 0x00040009; // DirectX 9
    static constexpr DWORD requiredRevision = 0x387;     // 903
    static constexpr DWORD setupFlags = 0x00010018;      // runtime, DirectDraw and DirectSound drivers
    static constexpr DWORD progressReason = 18;
    static constexpr DWORD loadFlags = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

private:
    std::wstring folder_;
    unique_hmodule module_;
};

} // namespace ar
