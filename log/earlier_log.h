// The earlier installation's "Uninstall.ulog", as read and judged: what an update
// or reinstallation builds on. It never changes once made; the run records its own
// changes apart (RunRecorder) and merges the two when it writes the new log.
#pragma once

#include "log/log_record.h"

#include <cstddef>
#include <string>

namespace ar {

class EarlierLog {
public:
    // No earlier log.
    EarlierLog() = default;
    EarlierLog(std::wstring product, std::wstring installPath, std::wstring shortcutPath, LogRecords records);

    // Reads a log file. Its folders count only while they exist. Reports nothing:
    // reading stops at the first thing it does not understand, and a file that
    // cannot be opened reads as no log.
    static EarlierLog read(const std::wstring& file);

    // The same log believed only as far as it was checked: its first `records`
    // records, and `shortcutPath` as its Start-menu folder.
    EarlierLog trusted(std::size_t records, std::wstring shortcutPath) const;

    // Display name of the installation that wrote it.
    const std::wstring& product() const { return product_; }
    // Its installation folder and Start-menu folder (empty when they no longer exist).
    const std::wstring& installPath() const { return installPath_; }
    const std::wstring& shortcutPath() const { return shortcutPath_; }
    const LogRecords& records() const { return records_; }

    // The log lists exactly this path as an installed file that succeeded.
    bool isKeptFile(const std::wstring& path) const;
    // A record of this kind succeeded.
    bool succeeded(RecordKind kind) const;

private:
    std::wstring product_;
    std::wstring installPath_;
    std::wstring shortcutPath_;
    LogRecords records_;
};

} // namespace ar
