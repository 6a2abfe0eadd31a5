#include "engine/files_in_use.h"

#include <windows.h>
#include <restartmanager.h>

#include <algorithm>

#include "product/language.h"
#include "resources/resource.h"
#include "support/format.h"
#include "support/handles.h"
#include "support/system_library.h"

namespace ar {

namespace {

// At most this many files are named in the message; the log lists them all.
constexpr std::size_t namedInMessage = 10;

bool heldOpen(const std::wstring& path)
{
    unique_hfile file(CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                  nullptr));
    return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

// The Restart Manager's session, ended when it goes.
class RestartManagerSession {
public:
    RestartManagerSession()
    {
        start_ = systemFunction<decltype(&RmStartSession)>(L"rstrtmgr.dll", "RmStartSession");
        end_ = systemFunction<decltype(&RmEndSession)>(L"rstrtmgr.dll", "RmEndSession");
        register_ = systemFunction<decltype(&RmRegisterResources)>(L"rstrtmgr.dll", "RmRegisterResources");
        list_ = systemFunction<decltype(&RmGetList)>(L"rstrtmgr.dll", "RmGetList");
        WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
        open_ = start_ && end_ && register_ && list_ && start_(&session_, 0, key) == ERROR_SUCCESS;
    }
    ~RestartManagerSession()
    {
        if (open_)
            end_(session_);
    }
    RestartManagerSession(const RestartManagerSession&) = delete;
    RestartManagerSession& operator=(const RestartManagerSession&) = delete;

    std::vector<std::wstring> programs(const std::vector<std::wstring>& files)
    {
        std::vector<std::wstring> names;
        std::vector<LPCWSTR> paths;
        for (const std::wstring& file : files)
            paths.push_back(file.c_str());
        if (!open_ || paths.empty() ||
            register_(session_, static_cast<UINT>(paths.size()), paths.data(), 0, nullptr, 0, nullptr) !=
                ERROR_SUCCESS)
            return names;
        std::vector<RM_PROCESS_INFO> found(8);
        for (int tries = 0; tries < 3; ++tries) {
            UINT needed = 0, count = static_cast<UINT>(found.size());
            DWORD reasons = 0;
            const DWORD result = list_(session_, &needed, &count, found.data(), &reasons);
            if (result == ERROR_MORE_DATA) {
                found.resize(needed);
                continue;
            }
            if (result != ERROR_SUCCESS)
                break;
            for (UINT i = 0; i < count; ++i)
                names.push_back(formatPrintf(L"%ls (%lu)", found[i].strAppName,
                                             static_cast<unsigned long>(found[i].Process.dwProcessId)));
            break;
        }
        return names;
    }

private:
    decltype(&RmStartSession) start_ = nullptr;
    decltype(&RmEndSession) end_ = nullptr;
    decltype(&RmRegisterResources) register_ = nullptr;
    decltype(&RmGetList) list_ = nullptr;
    DWORD session_ = 0;
    bool open_ = false;
};

} // namespace

std::vector<std::wstring> heldFiles(const std::vector<std::wstring>& paths)
{
    std::vector<std::wstring> held;
    std::copy_if(paths.begin(), paths.end(), std::back_inserter(held), heldOpen);
    return held;
}

bool heldAgainstReading(const std::wstring& path)
{
    unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

std::vector<std::wstring> programsHolding(const std::vector<std::wstring>& files)
{
    return RestartManagerSession().programs(files);
}

std::wstring filesInUseText(const std::vector<std::wstring>& files, const std::vector<std::wstring>& programs)
{
    std::wstring named;
    for (std::size_t i = 0; i < files.size() && i < namedInMessage; ++i)
        named += files[i] + L"\r\n";
    if (files.size() > namedInMessage)
        named += formatPrintf(L"(+%u)\r\n", static_cast<unsigned>(files.size() - namedInMessage));
    std::wstring holders;
    for (const std::wstring& program : programs)
        holders += (holders.empty() ? L"" : L", ") + program;
    return formatString(IDS_FILES_IN_USE, {named}) +
           (holders.empty() ? std::wstring() : L"\r\n" + formatString(IDS_FILES_IN_USE_PROGRAMS, {holders}));
}

} // namespace ar
