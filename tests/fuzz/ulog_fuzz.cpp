// The uninstall log's reader (splitLogLines, LogParser, parseRecordLine) over any
// bytes, as the installer and the uninstaller read Uninstall.ulog (8-bit text here
// taken as Latin-1). Every record it takes, written again, reads the same.
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

// 8-bit text taken as Latin-1 (the installer's reader takes the ANSI code page).
std::wstring latin1(const std::string& bytes)
{
    std::wstring text;
    for (char c : bytes)
        text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ar::LogParser parser;
    for (const std::wstring& line : ar::splitLogLines(std::string(reinterpret_cast<const char*>(data), size), latin1))
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
