#include "payload/folder_tokens.h"

#include <shlobj.h>

#include <map>
#include <mutex>

#include <boost/filesystem/path.hpp>

namespace ar {
namespace {

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// Appends one element with a single separator between (none onto an empty base).
void join(std::wstring& base, std::wstring_view element)
{
    if (element.empty())
        return;
    if (!base.empty() && !isSeparator(base.back()) && !isSeparator(element.front()))
        base += L'\\';
    base += element;
}

struct SpecialFolder {
    int csidl;
    int fallback; // 0: none
};

SpecialFolder specialFolder(FolderToken token)
{
    switch (token) {
    case FolderToken::ProgramFiles:
        return {CSIDL_PROGRAM_FILES, 0};
    case FolderToken::ProgramCommon:
        return {CSIDL_PROGRAM_FILES_COMMON, 0};
    case FolderToken::CommonData:
        return {CSIDL_COMMON_APPDATA, CSIDL_APPDATA};
    case FolderToken::UserData:
        return {CSIDL_APPDATA, 0};
    case FolderToken::CommonDocuments:
        return {CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL};
    case FolderToken::Documents:
        return {CSIDL_PERSONAL, 0};
    case FolderToken::CommonDesktop:
        return {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY};
    case FolderToken::Desktop:
        return {CSIDL_DESKTOPDIRECTORY, 0};
    case FolderToken::WinDir:
        return {CSIDL_WINDOWS, 0};
    case FolderToken::System:
        return {CSIDL_SYSTEM, 0};
    default:
        return {0, 0};
    }
}

std::wstring tokenBase(FolderToken token, const PayloadFolders& folders)
{
    switch (token) {
    case FolderToken::InstallPath:
        return folders.installFolder;
    case FolderToken::Temporary:
        return folders.tempFolder.empty() ? folders.installFolder : folders.tempFolder;
    case FolderToken::SamplePath: {
        if (is_absolute_path(folders.sampleFolder))
            return folders.sampleFolder;
        std::wstring desktop = known_folder(CSIDL_COMMON_DESKTOPDIRECTORY, true, CSIDL_DESKTOPDIRECTORY);
        join(desktop, folders.sampleFolder);
        return desktop;
    }
    default: {
        SpecialFolder folder = specialFolder(token);
        return known_folder(folder.csidl, folder.fallback != 0, folder.fallback);
    }
    }
}

BOOL CALLBACK findCaptionedRoot(HWND window, LPARAM found)
{
    HWND root = GetAncestor(window, GA_ROOTOWNER);
    if (root && (GetWindowLongW(root, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        *reinterpret_cast<HWND*>(found) = root;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::wstring resolve_folder(const std::wstring& path, const PayloadFolders& folders)
{
    if (path.empty())
        return path;
    std::size_t end = 0;
    while (end < path.size() && !isSeparator(path[end]))
        ++end;
    std::wstring_view first(path.data(), end);
    if (!looks_like_folder_token(first))
        return path;

    auto token = folder_token(first);
    std::wstring result = token ? tokenBase(*token, folders) : std::wstring();
    while (end < path.size()) {
        std::size_t start = end + 1;
        end = start;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        join(result, std::wstring_view(path.data() + start, end - start));
    }
    return result;
}

std::wstring known_folder(int csidl, bool fallbackAllowed, int fallbackCsidl)
{
    // A run resolves every entry's destination several times, and a query costs up
    // to a millisecond or two under Wine: each folder that was found is asked once
    // in the process's life (special folders do not move while an installer runs).
    static std::mutex lock;
    static std::map<int, std::wstring> found;
    auto query = [](int id) {
        {
            std::lock_guard<std::mutex> hold(lock);
            if (auto at = found.find(id); at != found.end())
                return at->second;
        }
        wchar_t buffer[MAX_PATH] = {};
        // The return code is not consulted: an empty buffer is the failure.
        SHGetFolderPathW(dialog_owner_window(), id, nullptr, SHGFP_TYPE_CURRENT, buffer);
        std::wstring folder(buffer);
        if (!folder.empty()) {
            std::lock_guard<std::mutex> hold(lock);
            found.emplace(id, folder);
        }
        return folder;
    };
    std::wstring folder = query(csidl);
    if (folder.empty() && fallbackAllowed)
        folder = query(fallbackCsidl);
    if (folder.empty())
        throw_compress_error(compress_errc::unexpected_error);
    return folder;
}

HWND dialog_owner_window()
{
    // A thread that never touched a window owns none; enumerating would set up the
    // desktop for it (tens of milliseconds under Wine) only to find none.
    if (!IsGUIThread(FALSE))
        return nullptr;
    HWND window = GetActiveWindow();
    if (window)
        window = GetAncestor(window, GA_ROOTOWNER);
    else
        EnumThreadWindows(GetCurrentThreadId(), findCaptionedRoot, reinterpret_cast<LPARAM>(&window));
    return window ? GetLastActivePopup(window) : nullptr;
}

bool is_absolute_path(const std::wstring& path)
{
    return boost::filesystem::path(path).is_absolute();
}

std::wstring resolve_destination(const PayloadEntry& entry, const PayloadFolders& folders)
{
    std::wstring name = file_name_of(entry.sourcePath);
    if (!is_plain_file_name(name))
        throw_compress_error(compress_errc::unexpected_error);
    std::wstring path = resolve_folder(entry.destination, folders);
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    path += name;
    if (!is_absolute_path(path) || path.find(L'\0') != std::wstring::npos)
        throw_compress_error(compress_errc::unexpected_error);
    return path;
}

} // namespace ar
