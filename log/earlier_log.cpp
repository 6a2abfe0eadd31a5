// Reading an earlier "Uninstall.ulog". Kept apart from the recording so that the
// uninstaller can read logs without the installer's machinery.
#include "log/earlier_log.h"

#include "log/log_format.h"
#include "support/handles.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <utility>

namespace ar {

namespace {

// Reads the lines of a log file: 8-bit text in the ANSI code page until a byte-order
// mark starts the first line, then UTF-16LE. A line, with its line end and a
// terminating zero, must fit into 1024 bytes.
class LogLineReader {
public:
    enum class Result { Line, End, Stop };

    explicit LogLineReader(HANDLE file) : file_(file) {}

    // The next line, with its line end. `firstLine`: a byte-order mark may start it.
    Result next(std::wstring& line, bool firstLine)
    {
        line.clear();
        std::size_t budget = lineBufferBytes - 1; // room for the terminating zero
        if (firstLine && !utf16_ && startsWithByteOrderMark()) {
            utf16_ = true;
            budget -= 2;
        }
        return utf16_ ? nextUtf16(line, budget) : next8Bit(line, budget);
    }

private:
    static constexpr std::size_t lineBufferBytes = 1024;

    Result next8Bit(std::wstring& line, std::size_t budget)
    {
        std::string bytes;
        for (;;) {
            int byte = get();
            if (byte == readFailed)
                return Result::Stop;
            if (byte == endOfFile)
                break;
            if (bytes.size() == budget)
                return Result::Stop; // longer than the buffer
            bytes += static_cast<char>(byte);
            if (byte == 0x0A)
                break;
        }
        if (bytes.empty())
            return Result::End;
        int length = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
        line.resize(static_cast<std::size_t>(length));
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes.data(), static_cast<int>(bytes.size()), line.data(),
                            length);
        return Result::Line;
    }

    Result nextUtf16(std::wstring& line, std::size_t budget)
    {
        for (;;) {
            int low = get();
            if (low == readFailed)
                return Result::Stop;
            if (low == endOfFile)
                break;
            int high = get();
            if (high == readFailed)
                return Result::Stop;
            if (high == endOfFile)
                break; // half a unit at the end is dropped
            if ((line.size() + 1) * sizeof(wchar_t) > budget)
                return Result::Stop; // longer than the buffer
            auto unit = static_cast<wchar_t>(low | high << 8);
            line += unit;
            if (unit == L'\n')
                break;
        }
        return line.empty() ? Result::End : Result::Line;
    }

    bool startsWithByteOrderMark()
    {
        if (!fill(2))
            return false;
        if (static_cast<BYTE>(chunk_[position_]) != 0xFF || static_cast<BYTE>(chunk_[position_ + 1]) != 0xFE)
            return false;
        position_ += 2;
        return true;
    }

    static constexpr int endOfFile = -1;
    static constexpr int readFailed = -2;

    int get()
    {
        if (!fill(1))
            return failed_ ? readFailed : endOfFile;
        return static_cast<BYTE>(chunk_[position_++]);
    }

    // At least `count` bytes ready, unless the file ends first or a read fails.
    bool fill(std::size_t count)
    {
        while (chunk_.size() - position_ < count && !ended_ && !failed_) {
            chunk_.erase(0, position_);
            position_ = 0;
            char block[4096];
            DWORD read = 0;
            if (!ReadFile(file_, block, sizeof block, &read, nullptr))
                failed_ = true;
            else if (read == 0)
                ended_ = true;
            else
                chunk_.append(block, read);
        }
        return chunk_.size() - position_ >= count;
    }

    HANDLE file_;
    std::string chunk_;
    std::size_t position_ = 0;
    bool utf16_ = false;
    bool ended_ = false;
    bool failed_ = false;
};

} // namespace

EarlierLog::EarlierLog(std::wstring product, std::wstring installPath, std::wstring shortcutPath,
                       LogRecords records)
    : product_(std::move(product)), installPath_(std::move(installPath)), shortcutPath_(std::move(shortcutPath)),
      records_(std::move(records))
{
}

EarlierLog EarlierLog::read(const std::wstring& file)
{
    unique_hfile in(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in)
        return {};

    LogLineReader reader(in.get());
    LogParser parser;
    std::wstring line;
    while (reader.next(line, parser.lineCount() == 0) == LogLineReader::Result::Line && parser.feed(line)) {
    }

    // The folders count only while they still exist.
    const auto existing = [](std::wstring& folder) {
        return !folder.empty() && PathIsDirectoryW(folder.c_str()) ? std::move(folder) : std::wstring();
    };
    return EarlierLog(std::move(parser.previousProduct), existing(parser.installPath),
                      existing(parser.shortcutPath),
                      LogRecords(std::make_move_iterator(parser.records.begin()),
                                 std::make_move_iterator(parser.records.end())));
}

EarlierLog EarlierLog::trusted(std::size_t records, std::wstring shortcutPath) const
{
    EarlierLog judged = *this;
    if (judged.records_.size() > records)
        judged.records_.resize(records);
    judged.shortcutPath_ = std::move(shortcutPath);
    return judged;
}

bool EarlierLog::isKeptFile(const std::wstring& path) const
{
    return std::any_of(records_.begin(), records_.end(), [&](const UninstallLogRecord& r) {
        return r.recordKind == RecordKind::InstalledFile && r.succeeded && r.path == path;
    });
}

bool EarlierLog::succeeded(RecordKind kind) const
{
    return std::any_of(records_.begin(), records_.end(),
                       [&](const UninstallLogRecord& r) { return r.recordKind == kind && r.succeeded; });
}

} // namespace ar
