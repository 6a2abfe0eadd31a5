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

// Far more than any log holds (a line per file, each at most 1 KB); a longer file
// is read that far.
constexpr std::size_t maxLogBytes = 64u << 20;

// The file's bytes through the handle it was opened with, up to a read that fails.
std::string readAll(HANDLE file)
{
    std::string bytes;
    char block[4096];
    DWORD read = 0;
    while (bytes.size() < maxLogBytes && ReadFile(file, block, sizeof block, &read, nullptr) && read > 0)
        bytes.append(block, read);
    return bytes;
}

// 8-bit text in the ANSI code page.
std::wstring fromAnsi(const std::string& bytes)
{
    const int length =
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

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

    LogParser parser;
    for (std::wstring& line : splitLogLines(readAll(in.get()), fromAnsi))
        if (!parser.feed(std::move(line)))
            break;

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
