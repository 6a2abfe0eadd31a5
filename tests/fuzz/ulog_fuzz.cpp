// The uninstall log's reader (LogParser, parseRecordLine) over any bytes, split into
// lines as the uninstaller reads Uninstall.ulog: UTF-16LE after a byte-order mark
// (else 8-bit text, here taken as Latin-1), a line with its end within 1024 bytes.
// Every record it takes, written again, reads the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "log/log_format.h"

namespace {

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "uninstall log: %s\n", what);
    std::abort();
}

std::vector<std::wstring> linesOf(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t budget = 1024 - 2; // a terminating zero
    std::vector<std::wstring> lines;
    const bool utf16 = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    std::size_t at = utf16 ? 2 : 0;
    std::wstring line;
    while (at < size) {
        wchar_t unit = data[at++];
        if (utf16) {
            if (at == size)
                break; // half a unit at the end is dropped
            unit = static_cast<wchar_t>(unit | data[at++] << 8);
        }
        if ((line.size() + 1) * (utf16 ? 2 : 1) > budget - (utf16 && lines.empty() ? 2 : 0))
            return lines; // longer than the reader's buffer: reading stops
        line += unit;
        if (unit == L'\n') {
            lines.push_back(std::move(line));
            line.clear();
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ar::LogParser parser;
    for (const std::wstring& line : linesOf(data, size))
        if (!parser.feed(line))
            break;
    for (std::size_t i = 0; i < parser.records.size(); ++i) {
        const ar::UninstallLogRecord& record = parser.records[i];
        std::wstring line = ar::formatRecordLine(i, record);
        line.erase(line.find_last_not_of(L"\r\n") + 1);
        std::optional<ar::UninstallLogRecord> again = ar::parseRecordLine(line);
        if (!again || again->recordKind != record.recordKind || again->fileKind != record.fileKind ||
            again->succeeded != record.succeeded || again->path != record.path)
            broken("a record, written again, reads otherwise");
    }
    return 0;
}
