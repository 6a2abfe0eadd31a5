// RAII owners for Win32 handles: one move-only template, one alias per kind; the
// kind says how a value is closed and which value means none.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace ar {

namespace detail {
// The value that means "no handle": null for most kinds, INVALID_HANDLE_VALUE for
// files and searches (not a constant expression, hence a function).
template <typename T>
struct null_value {
    static T get() noexcept { return nullptr; }
};
struct invalid_handle_value {
    static HANDLE get() noexcept { return INVALID_HANDLE_VALUE; }
};
} // namespace detail

template <typename T, typename Close, typename None = detail::null_value<T>>
class unique_any {
public:
    using pointer = T;

    unique_any() noexcept = default;
    explicit unique_any(T value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != None::get(); }

    T release() noexcept { return std::exchange(value_, None::get()); }

    // Closes the held value; the thread's last error survives the close.
    void reset(T value = None::get()) noexcept
    {
        T old = std::exchange(value_, value);
        if (old != None::get()) {
            DWORD error = GetLastError();
            Close{}(old);
            SetLastError(error);
        }
    }

    // Address for an out-parameter; closes what was held before.
    T* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    T value_ = None::get();
};

namespace detail {
struct close_handle { void operator()(HANDLE h) const noexcept { CloseHandle(h); } };
struct close_hkey { void operator()(HKEY h) const noexcept { RegCloseKey(h); } };
struct free_library { void operator()(HMODULE h) const noexcept { FreeLibrary(h); } };
struct local_free { void operator()(HLOCAL h) const noexcept { LocalFree(h); } };
struct find_close { void operator()(HANDLE h) const noexcept { FindClose(h); } };
struct delete_object { void operator()(HGDIOBJ h) const noexcept { DeleteObject(h); } };
struct destroy_icon { void operator()(HICON h) const noexcept { DestroyIcon(h); } };
struct co_task_mem_free { void operator()(void* p) const noexcept { CoTaskMemFree(p); } };
// For device contexts that were created (CreateCompatibleDC); those of GetDC go back with ReleaseDC.
struct delete_dc { void operator()(HDC h) const noexcept { DeleteDC(h); } };
} // namespace detail

using unique_handle = unique_any<HANDLE, detail::close_handle>;
using unique_hfile = unique_any<HANDLE, detail::close_handle, detail::invalid_handle_value>; // CreateFile's
using unique_hfind = unique_any<HANDLE, detail::find_close, detail::invalid_handle_value>;  // FindFirstFile's
using unique_hkey = unique_any<HKEY, detail::close_hkey>;
using unique_hmodule = unique_any<HMODULE, detail::free_library>;
using unique_hlocal = unique_any<HLOCAL, detail::local_free>;
using unique_hgdiobj = unique_any<HGDIOBJ, detail::delete_object>;
using unique_hicon = unique_any<HICON, detail::destroy_icon>;
using unique_hdc = unique_any<HDC, detail::delete_dc>; // a created device context
template <typename T> // memory the COM task allocator gave, such as the shell's item lists
using unique_cotaskmem = unique_any<T, detail::co_task_mem_free>;

// The process and thread handles that CreateProcess fills in, closed together.
struct unique_process_information : PROCESS_INFORMATION {
    unique_process_information() noexcept : PROCESS_INFORMATION{} {}
    unique_process_information(const unique_process_information&) = delete;
    unique_process_information& operator=(const unique_process_information&) = delete;
    ~unique_process_information()
    {
        unique_handle thread(hThread);
        unique_handle process(hProcess);
    }
};

// A COM interface pointer, released when it goes.
template <typename Interface>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(com_ptr&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ~com_ptr() { reset(); }

    Interface* get() const noexcept { return p_; }
    Interface* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void reset(Interface* p = nullptr) noexcept
    {
        if (Interface* old = std::exchange(p_, p))
            old->Release();
    }
    // Address for CoCreateInstance and QueryInterface; releases what was held before.
    void** put_void() noexcept
    {
        reset();
        return reinterpret_cast<void**>(&p_);
    }

private:
    Interface* p_ = nullptr;
};

// Balances a CoInitialize(Ex) call that succeeded (S_OK or S_FALSE) when it goes.
class unique_couninitialize {
public:
    explicit unique_couninitialize(HRESULT init) noexcept : active_(SUCCEEDED(init)) {}
    unique_couninitialize(const unique_couninitialize&) = delete;
    unique_couninitialize& operator=(const unique_couninitialize&) = delete;
    ~unique_couninitialize()
    {
        if (active_)
            CoUninitialize();
    }
    explicit operator bool() const noexcept { return active_; }

private:
    bool active_;
};

} // namespace ar
