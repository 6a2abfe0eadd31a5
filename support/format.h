// Message formatting with numbered inserts (%1, %2, ...), as FormatMessage does it.
#pragma once

#include <initializer_list>
#include <string>

namespace ar {

// Fills %1.. of `format` with `inserts`. Throws std::invalid_argument for an
// empty format (a missing string resource).
std::wstring formatMessage(const std::wstring& format, std::initializer_list<std::wstring> inserts = {});

// The text in UTF-8, and back.
std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

// printf-style formatting into a wide string.
std::wstring formatPrintf(const wchar_t* format, ...);

// Whether two names are equal when case is ignored, as the file system compares them
// (ordinal, the same in every locale).
bool equalIgnoringCase(const std::wstring& a, const std::wstring& b);

// `caption` (a control's text) as it reads: "&&" stands for "&", the "&" that marks
// the access key goes.
std::wstring withoutAccessKey(const std::wstring& caption);
// The access key that `caption` marks, in upper case; 0 for none.
wchar_t accessKey(const std::wstring& caption);

} // namespace ar
