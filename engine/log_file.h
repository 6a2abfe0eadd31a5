// The installation log file of unattended (and, on request, wizard) installations:
// UTF-8 text, a time stamp on every line. It receives everything the progress page
// shows, every refusal and error text, and the final result.
#pragma once

#include <string>

#include "engine/installation.h"
#include "support/handles.h"

namespace ar {

class LogFile {
public:
    LogFile() = default;
    // Appends to `path` (created when missing): the file an administrator named with
    // /LOG=. False when it cannot be opened.
    bool open(const std::wstring& path);
    // Creates `path`, which must not exist: a file, a link or a dangling link of that
    // name is never opened or written through. False with the last error set
    // (ERROR_FILE_EXISTS for a name that is taken).
    bool create(const std::wstring& path);
    // Creates a log of a name nobody can foresee in `folder`, where others may write
    // (the temporary folder): `stem` + "-" + a random GUID + ".log", as create() does;
    // a name that is taken gives way to a new one, a few times. False when none could
    // be created.
    bool createIn(const std::wstring& folder, const std::wstring& stem);
    bool isOpen() const { return static_cast<bool>(file_); }
    const std::wstring& path() const { return path_; }

    // Writes one line with its time stamp; "\r\n" inside the text starts new lines.
    void line(const std::wstring& text);

private:
    unique_hfile file_;
    std::wstring path_;
};

// The installation run written to a log file: the log page's lines, each completed
// line once, and the status texts.
class LogFileView : public InstallView {
public:
    explicit LogFileView(LogFile& log) : log_(log) {}
    ~LogFileView() override;

    void setStatus(const std::wstring& text) override;
    void appendLogLine(const std::wstring& text, bool ruled = false) override;
    void showProgress(bool) override {}
    void setProgress(int) override {}

private:
    void flushStatus();

    LogFile& log_;
    std::wstring pending_; // a phase title waiting for its verdict
    std::wstring status_;  // the status, until the log shows whether it repeats it
};

// Timestamped line prefix, "2026-12-08 19:07:21.042 " (local time).
std::wstring logTimeStamp();

} // namespace ar
