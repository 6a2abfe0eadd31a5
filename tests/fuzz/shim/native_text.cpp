// support/format.h's UTF-8 conversions for the native fuzz targets, by the payload
// builder's code (tools/archive_builder.h): Windows' CP_UTF8 conversions turn a
// malformed sequence or an unpaired surrogate into U+FFFD, as these do. Text is
// UTF-16 code units, one per wchar_t, as on Windows.
#include "support/format.h"

#include "tools/archive_builder.h"

namespace ar {

std::string toUtf8(const std::wstring& text)
{
    return tools::utf8(text);
}

std::wstring fromUtf8(const std::string& text)
{
    return tools::utf16(text);
}

} // namespace ar
