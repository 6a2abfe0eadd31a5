// The text of "Uninstall.ulog": forming its lines and understanding them again.
// Pure functions of values; the file itself is read by EarlierLog and written by writeUninstallLog.
#pragma once

#include "log/log_record.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ar {

// Registry texts that UninstallKey and SelfRegistration records carry in the file.
std::wstring uninstallKeyText();
inline constexpr wchar_t selfRegistrationText[] = L"HKEY_CLASSES_ROOT\\...";

// The six header lines, each ending with CR LF. `previousProduct` (when not empty)
// names the installation that this one updates.
std::vector<std::wstring> formatLogHeader(const std::wstring& displayName,
                                          const std::wstring& previousProduct,
                                          const std::wstring& installFolder,
                                          const std::wstring& shortcutFolder);

// One record line, "0002:0101:1 -- C:\Apps\Pelorium\Pelorium.exe" and CR LF.
std::wstring formatRecordLine(std::size_t number, const UninstallLogRecord& record);

// A record line as read (trailing white space already removed); nothing when it
// is malformed.
std::optional<UninstallLogRecord> parseRecordLine(const std::wstring& line);

// The lines of a log file's bytes as the reader takes them, each with its line end:
// 8-bit text, converted by `eightBit`, unless a byte-order mark starts the file,
// then UTF-16LE (half a unit at the end is dropped). A line, with its end and a
// terminating zero, must fit into 1024 bytes: the lines end before the first that
// does not.
std::vector<std::wstring> splitLogLines(const std::string& bytes,
                                        const std::function<std::wstring(const std::string&)>& eightBit);

// What the lines of a log say, taken in one at a time.
class LogParser {
public:
    // Handles one line that is not empty; false when reading must stop.
    bool feed(std::wstring line);

    std::wstring previousProduct; // as written after "Install"
    std::wstring installPath;     // as written after "Install Path : "
    std::wstring shortcutPath;    // as written after "Shortcut Path : "
    std::vector<UninstallLogRecord> records;

    // Lines handled so far (the header lines are known by their position).
    int lineCount() const { return lineNumber_; }

private:
    bool headerLine(std::wstring text);

    int version_ = 0;
    int lineNumber_ = 0;
};

} // namespace ar
