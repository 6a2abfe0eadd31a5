#include "ui/folder_picker.h"

#include <shlwapi.h>

#include <vector>

#include "support/error.h"
#include "support/format.h"

namespace ar {
namespace {

bool isBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

std::vector<std::wstring> components(const std::wstring& path)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool isDriveOnly(const std::wstring& path)
{
    return path.size() == 2 && path[1] == L':' && iswalpha(path[0]);
}

std::wstring canonical(const std::wstring& path)
{
    if (path.size() >= maxPathChars)
        return path;
    wchar_t out[MAX_PATH] = {};
    if (!PathCanonicalizeW(out, path.c_str()))
        return path;
    return out;
}

std::wstring folderPath(PCIDLIST_ABSOLUTE item)
{
    wchar_t path[MAX_PATH] = {};
    if (!item || !SHGetPathFromIDListW(item, path))
        return {};
    return path;
}

BOOL CALLBACK firstTopLevelWindow(HWND window, LPARAM found)
{
    if (!(GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool isValidPathText(const std::wstring& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c < 32 || wcschr(L"<>\"|?*", c))
            return false;
        if (c == L':' && !(i == 1 && iswalpha(text[0])))
            return false;
    }
    return true;
}

std::wstring applyTail(const std::wstring& path, const std::wstring& tail)
{
    const std::vector<std::wstring> tailParts = components(tail);
    const std::vector<std::wstring> pathParts = components(path);
    const size_t k = tailParts.size();
    if (k == 0)
        return path;
    // The longest leading part of the tail that the path already ends with.
    size_t matched = 0;
    for (size_t length = k; length > 0; --length) {
        if (length > pathParts.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i)
            same = equalIgnoringCase(pathParts[pathParts.size() - length + i], tailParts[i]);
        if (same) {
            matched = length;
            break;
        }
    }
    if (matched == k)
        return path;
    std::wstring result = path;
    for (size_t i = matched; i < k; ++i) {
        if (!result.empty() && result.back() != L'\\')
            result += L'\\';
        result += tailParts[i];
    }
    return result.size() > maxPathChars ? path : result;
}

std::wstring relativeFolder(const std::wstring& base, const std::wstring& folder)
{
    if (base.empty() || folder.empty() || base.size() >= maxPathChars || folder.size() >= maxPathChars)
        return folder;
    wchar_t relative[MAX_PATH] = {};
    if (!PathRelativePathToW(relative, base.c_str(), FILE_ATTRIBUTE_DIRECTORY, folder.c_str(),
                             FILE_ATTRIBUTE_DIRECTORY))
        return folder;
    std::wstring text = relative;
    if (text == L"." || text == L".\\")
        return {};
    text = canonical(text);
    while (text.size() >= 2 && text[0] == L'.' && text[1] == L'\\')
        text.erase(0, 2);
    return text;
}

std::wstring combineFolder(const std::wstring& base, const std::wstring& relative)
{
    if (relative.empty())
        return base;
    if (base.size() >= maxPathChars || relative.size() >= maxPathChars)
        return {};
    wchar_t combined[MAX_PATH] = {};
    if (!PathCombineW(combined, base.empty() ? nullptr : base.c_str(), relative.c_str()))
        return {};
    return combined;
}

QualifiedFolder qualifyTypedFolder(const wchar_t* typed, const std::wstring& rootParent,
                                   const std::wstring& currentDirectory)
{
    if (!typed)
        return {{}, typedNameNotCopied};
    std::wstring text = typed;
    if (text.size() > maxPathChars)
        return {{}, typedNameTooLong};
    while (!text.empty() && isBlank(text.back()))
        text.pop_back();
    size_t first = 0;
    while (first < text.size() && isBlank(text[first]))
        ++first;
    text.erase(0, first);
    if (!text.empty() && text.back() == L'\\')
        text.pop_back();
    if (!isValidPathText(text))
        return {{}, typedNameInvalid};

    std::wstring path;
    if (text.empty())
        path = currentDirectory;
    else if (isDriveOnly(text))
        path = text + L'\\';
    else if (PathIsRelativeW(text.c_str()))
        path = combineFolder(rootParent.empty() ? currentDirectory : rootParent, text);
    else
        path = canonical(text);
    if (path.empty())
        return {{}, typedNameInvalid};

    if (!rootParent.empty()) {
        int common = PathCommonPrefixW(path.c_str(), rootParent.c_str(), nullptr);
        std::wstring parent = rootParent;
        while (parent.size() > 3 && parent.back() == L'\\')
            parent.pop_back();
        if (common < 0 || static_cast<size_t>(common) != parent.size())
            return {{}, typedNameInvalid};
    }
    return {path, 0};
}

HWND pickerOwner()
{
    HWND owner = GetActiveWindow();
    if (owner)
        owner = GetAncestor(owner, GA_ROOTOWNER);
    else
        EnumThreadWindows(GetCurrentThreadId(), &firstTopLevelWindow, reinterpret_cast<LPARAM>(&owner));
    return owner ? GetLastActivePopup(owner) : nullptr;
}

FolderPicker::~FolderPicker()
{
    root_.reset();
    if (options_ & comInitialised)
        CoUninitialize();
}

void FolderPicker::setRoot(int csidl)
{
    if (SHGetSpecialFolderLocation(nullptr, csidl, root_.put()) != S_OK) {
        root_.reset();
        return;
    }
    std::wstring rootPath = folderPath(root_.get());
    if (rootPath.empty())
        return;
    wchar_t parent[MAX_PATH] = {};
    lstrcpynW(parent, rootPath.c_str(), MAX_PATH);
    PathRemoveFileSpecW(parent);
    rootParent_ = parent;
}

std::wstring FolderPicker::absolutePath(const std::wstring& path) const
{
    if (!path.empty() && PathIsRelativeW(path.c_str()) && !rootParent_.empty())
        return combineFolder(rootParent_, path);
    return path;
}

std::wstring FolderPicker::displayedPath(const std::wstring& folder) const
{
    std::wstring path = applyTail(folder, tail_);
    if (root_ && !rootParent_.empty())
        path = relativeFolder(rootParent_, path);
    return path;
}

std::wstring FolderPicker::pickFolder(const std::wstring& current, const std::wstring& tail,
                                      const std::wstring& title)
{
    title_ = title;
    if (!browse(current, tail))
        return {};
    return path_;
}

StartMenuPick FolderPicker::pickStartMenuFolder(const std::wstring& current, const std::wstring& tail,
                                                const std::wstring& title)
{
    title_ = title;
    setRoot(CSIDL_COMMON_PROGRAMS);
    if (!browse(current, tail))
        return {};
    return {path_, relativeFolder(rootParent_, path_)};
}

bool FolderPicker::browse(const std::wstring& current, const std::wstring& tail)
{
    owner_ = pickerOwner();
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(result))
        return showSystemError(owner_, result);
    // Every successful initialisation, also a repeated one, is balanced.
    options_ |= comInitialised;

    path_ = current;
    if ((path_.empty() || PathIsRelativeW(path_.c_str())) && root_)
        path_ = folderPath(root_.get());
    if (isDriveOnly(path_))
        path_ += L'\\';
    tail_ = isValidPathText(tail) ? tail : std::wstring();
    path_ = displayedPath(path_);

    BROWSEINFOW info{};
    info.hwndOwner = owner_;
    info.pidlRoot = root_.get();
    info.lpszTitle = title_.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
    if (!tail_.empty())
        info.ulFlags |= BIF_EDITBOX | BIF_VALIDATE;
    info.lpfn = &FolderPicker::callback;
    info.lParam = reinterpret_cast<LPARAM>(this);
    const ar::unique_cotaskmem<PIDLIST_ABSOLUTE> picked(SHBrowseForFolderW(&info));
    std::wstring pickedPath = folderPath(picked.get());
    if (options_ & typedAccepted)
        return true;
    if (!picked)
        return false;
    path_ = pickedPath;
    return !path_.empty();
}

int CALLBACK FolderPicker::callback(HWND dialog, UINT message, LPARAM lParam, LPARAM data)
{
    auto* self = reinterpret_cast<FolderPicker*>(data);
    try {
        return self->onEvent(dialog, message, lParam);
    } catch (const std::exception& error) {
        OutputDebugStringA(error.what());
        return 0;
    }
}

void FolderPicker::showInEditBox(HWND dialog) const
{
    HWND edit = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
    if (!edit)
        return;
    SetWindowTextW(edit, path_.c_str());
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

int FolderPicker::onEvent(HWND dialog, UINT message, LPARAM lParam)
{
    switch (message) {
    case BFFM_INITIALIZED: {
        options_ |= dialogInitialised;
        std::wstring folder = absolutePath(path_);
        // The nearest folder that exists is selected and opened.
        while (!folder.empty() && !PathIsDirectoryW(folder.c_str())) {
            std::wstring parent = folder;
            wchar_t buffer[MAX_PATH] = {};
            lstrcpynW(buffer, parent.c_str(), MAX_PATH);
            if (!PathRemoveFileSpecW(buffer) || parent == buffer)
                folder.clear();
            else
                folder = buffer;
        }
        initialSelection_ = folder;
        if (!folder.empty()) {
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            SendMessageW(dialog, BFFM_SETEXPANDED, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        }
        if (!tail_.empty())
            showInEditBox(dialog);
        break;
    }
    case BFFM_SELCHANGED: {
        if (!(options_ & dialogInitialised))
            break;
        std::wstring folder = folderPath(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam));
        // Selecting the nearest existing folder at the start must not replace the
        // folder being chosen (C:\Program Files\Ardenvale\Pelorium 7 would become
        // C:\Program Files\Pelorium 7); only the user's own selections do.
        if (!initialSelection_.empty() && equalIgnoringCase(folder, initialSelection_))
            break;
        initialSelection_.clear();
        if (!folder.empty())
            path_ = displayedPath(folder);
        if (!tail_.empty())
            showInEditBox(dialog);
        else
            SendMessageW(dialog, BFFM_ENABLEOK, 0, folder.empty() ? FALSE : TRUE);
        break;
    }
    case BFFM_VALIDATEFAILEDW: {
        std::wstring currentDirectory;
        if (rootParent_.empty()) {
            wchar_t buffer[MAX_PATH] = {};
            DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
            if (length == 0 || length >= MAX_PATH) {
                showSystemError(dialog,
                                static_cast<LONG>(length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE));
                return 1;
            }
            currentDirectory = buffer;
        }
        QualifiedFolder typed =
            qualifyTypedFolder(reinterpret_cast<const wchar_t*>(lParam), rootParent_, currentDirectory);
        if (typed.error == 0 && createTyped_ && !PathIsDirectoryW(typed.path.c_str())) {
            int created = SHCreateDirectoryExW(dialog, typed.path.c_str(), nullptr);
            if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS)
                typed.error = created;
        }
        if (typed.error != 0) {
            showSystemError(dialog, typed.error);
            return 1;
        }
        path_ = typed.path;
        options_ |= typedAccepted;
        return 0;
    }
    default:
        break;
    }
    return 0;
}

} // namespace ar
