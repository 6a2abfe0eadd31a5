#include "support/format.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <stdexcept>
#include <vector>

#include "support/handles.h"

namespace ar {

std::wstring formatMessage(const std::wstring& format, std::initializer_list<std::wstring> inserts)
{
    if (format.empty())
        throw std::invalid_argument("message format is empty");
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& insert : inserts)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
    // FormatMessage reads up to 99 inserts; unused numbers must still point somewhere.
    static const wchar_t empty[] = L"";
    while (arguments.size() < 99)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(empty));
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  format.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&buffer), 0,
                                  reinterpret_cast<va_list*>(arguments.data()));
    unique_hlocal owner(buffer);
    if (length == 0 || !buffer)
        return format;
    return std::wstring(buffer, length);
}

std::string toUtf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& text)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring formatPrintf(const wchar_t* format, ...)
{
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        int n = vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size())
            return std::wstring(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

bool equalIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::wstring withoutAccessKey(const std::wstring& caption)
{
    std::wstring text;
    text.reserve(caption.size());
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size())
            ++i;
        else if (caption[i] == L'&')
            continue;
        text += caption[i];
    }
    return text;
}

wchar_t accessKey(const std::wstring& caption)
{
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != L'&')
            continue;
        if (caption[i + 1] != L'&') {
            wchar_t key[2] = {caption[i + 1], 0};
            CharUpperW(key);
            return key[0];
        }
        ++i;
    }
    return 0;
}

} // namespace ar
