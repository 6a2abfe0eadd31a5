#include "engine/log_file.h"

#include <windows.h>
#include <objbase.h>

#include "support/format.h"

namespace ar {
std::wstring logTimeStamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return formatPrintf(L"%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay, now.wHour,
                        now.wMinute, now.wSecond, now.wMilliseconds);
}

bool LogFile::open(const std::wstring& path)
{
    file_.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_)
        return false;
    path_ = path;
    return true;
}

bool LogFile::create(const std::wstring& path)
{
    // CREATE_NEW fails on any name that stands, a link's too; the flag keeps a
    // dangling link from being followed to create its target.
    file_.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file_)
        return false;
    path_ = path;
    return true;
}

bool LogFile::createIn(const std::wstring& folder, const std::wstring& stem)
{
    std::wstring prefix = folder;
    if (!prefix.empty() && prefix.back() != L'\\')
        prefix += L'\\';
    prefix += stem + L'-';
    for (int attempt = 0; attempt < 5; ++attempt) {
        GUID guid{};
        wchar_t text[40] = {};
        if (FAILED(CoCreateGuid(&guid)) || !StringFromGUID2(guid, text, 40))
            return false;
        if (create(prefix + text + L".log"))
            return true;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

void LogFile::line(const std::wstring& text)
{
    if (!file_)
        return;
    size_t start = 0;
    do {
        size_t end = text.find(L"\r\n", start);
        std::wstring part = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        std::string bytes = toUtf8(logTimeStamp() + part) + "\r\n";
        DWORD written = 0;
        WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        start = end == std::wstring::npos ? std::wstring::npos : end + 2;
    } while (start != std::wstring::npos && start < text.size());
}

LogFileView::~LogFileView()
{
    flushStatus();
    if (!pending_.empty())
        log_.line(pending_);
}

void LogFileView::flushStatus()
{
    if (!status_.empty())
        log_.line(status_);
    status_.clear();
}

void LogFileView::setStatus(const std::wstring& text)
{
    // A status that the log repeats right after it is written once, as the log line.
    if (text == status_)
        return;
    flushStatus();
    status_ = text;
}

void LogFileView::appendLogLine(const std::wstring& text, bool ruled)
{
    if (text == status_)
        status_.clear();
    flushStatus();
    if (text.empty() || ruled) {
        log_.line(text.empty() ? std::wstring(40, L'-') : L"---- " + text + L" ----");
        return;
    }
    pending_ += text;
    size_t end;
    while ((end = pending_.find(L"\r\n")) != std::wstring::npos) {
        log_.line(pending_.substr(0, end));
        pending_.erase(0, end + 2);
    }
}

} // namespace ar
