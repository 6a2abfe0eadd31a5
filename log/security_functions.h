// Functions of the security library (advapi32.dll) bound by name at first use, with
// their failures turned into HRESULTs: E_UNEXPECTED when the library cannot be
// loaded, E_NOTIMPL when the function is missing, the thread's last error otherwise.
#pragma once

#include "support/system_library.h"

#include <windows.h>

namespace ar {

// HRESULT_FROM_WIN32 of the thread's last error; a value of 0 or less is kept as it is.
inline HRESULT lastErrorResult()
{
    return HRESULT_FROM_WIN32(GetLastError());
}

template <typename Fn> class SecurityFunction {
public:
    explicit constexpr SecurityFunction(const char* name) : name_(name) {}

    // The function, or nullptr with `error` set.
    Fn get(HRESULT& error)
    {
        if (!fn_) {
            if (!systemLibrary(L"advapi32.dll")) {
                error = E_UNEXPECTED;
                return nullptr;
            }
            fn_ = systemFunction<Fn>(L"advapi32.dll", name_);
            if (!fn_) {
                error = E_NOTIMPL;
                return nullptr;
            }
        }
        return fn_;
    }

    // Calls a function that reports failure by returning FALSE.
    template <typename... Args> HRESULT call(Args... args)
    {
        HRESULT error = S_OK;
        Fn fn = get(error);
        if (!fn)
            return error;
        return fn(args...) ? S_OK : lastErrorResult();
    }

private:
    const char* name_;
    Fn fn_ = nullptr;
};

} // namespace ar
