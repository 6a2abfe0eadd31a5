// Helpers of the journal tests: a private temporary folder for backups, and log
// files written from lines.
#pragma once

#include "log/run_recorder.h"
#include "tests/support/test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ar::test {

// One record as the log reader gives it back.
inline UninstallLogRecord logRecord(RecordKind kind, const std::wstring& path, int fileKind = -1,
                                    bool succeeded = true)
{
    UninstallLogRecord record;
    record.recordKind = kind;
    record.path = path;
    record.fileKind = fileKind;
    record.succeeded = succeeded;
    return record;
}

// Points TMP and TEMP (and so the user's temporary folder) somewhere else while alive.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::wstring& folder) : tmp_(get(L"TMP")), temp_(get(L"TEMP"))
    {
        SetEnvironmentVariableW(L"TMP", folder.c_str());
        SetEnvironmentVariableW(L"TEMP", folder.c_str());
    }
    ~TempFolderOverride()
    {
        SetEnvironmentVariableW(L"TMP", tmp_.empty() ? nullptr : tmp_.c_str());
        SetEnvironmentVariableW(L"TEMP", temp_.empty() ? nullptr : temp_.c_str());
    }
    TempFolderOverride(const TempFolderOverride&) = delete;
    TempFolderOverride& operator=(const TempFolderOverride&) = delete;

private:
    static std::wstring get(const wchar_t* name)
    {
        wchar_t value[MAX_PATH * 2];
        DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
        return n && n < MAX_PATH * 2 ? std::wstring(value, n) : std::wstring();
    }
    std::wstring tmp_, temp_;
};

// A test whose backups go to a folder of its own.
class JournalTest : public ::testing::Test {
protected:
    TempDir dir{L"journal"};
    TempDir temp{L"journaltemp"};
    TempFolderOverride tempOverride{temp.path() + L"\\"};

    // Names in the private temporary folder.
    std::vector<std::wstring> tempFiles() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((temp.path() + L"\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                names.push_back(name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
        return names;
    }
};

// UTF-16LE bytes with a byte-order mark; each line gets CR LF.
inline std::string utf16File(const std::vector<std::wstring>& lines, bool byteOrderMark = true)
{
    std::string bytes = byteOrderMark ? std::string("\xFF\xFE", 2) : std::string();
    for (const std::wstring& line : lines) {
        for (wchar_t c : line + L"\r\n") {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
    }
    return bytes;
}

inline UninstallLogRecord makeRecord(RecordKind kind, std::wstring path, std::int32_t fileKind = -1,
                                     bool succeeded = true)
{
    UninstallLogRecord record;
    record.recordKind = kind;
    record.path = std::move(path);
    record.fileKind = fileKind;
    record.succeeded = succeeded;
    return record;
}

} // namespace ar::test
