// Choosing a folder with the platform's folder dialog. The product's folder name
// (the tail) is appended to whatever folder the user picks, and the choice can be
// kept inside one part of the folder tree (the root). The path rules are plain
// functions; the dialog is at the edge.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "support/handles.h"

namespace ar {

// Paths given to the platform's path functions fit in 260 UTF-16 code units.
constexpr size_t maxPathChars = 260;

// Error codes of a typed folder name that cannot be used.
constexpr LONG typedNameTooLong = static_cast<LONG>(0x800700CE);
constexpr LONG typedNameNotCopied = static_cast<LONG>(0xE8B0F109);
constexpr LONG typedNameInvalid = ERROR_BAD_PATHNAME; // 161

// True when every character may stand in a path (no wildcards, no characters
// that file names cannot hold, a colon only after a drive letter).
bool isValidPathText(const std::wstring& text);

// Appends the tail's components to `path` unless `path` already ends with them;
// when `path` ends with a leading part of the tail, only the rest is appended.
// Nothing is appended when the result would exceed 260 characters.
std::wstring applyTail(const std::wstring& path, const std::wstring& tail);

// `folder` relative to `base` (both folders): empty when they are the same, no
// leading ".\"; `folder` itself when it has no relative form (another drive).
std::wstring relativeFolder(const std::wstring& base, const std::wstring& folder);

// `base` combined with `relative` (an absolute `relative` stands alone); empty
// when the result would not fit in 260 characters.
std::wstring combineFolder(const std::wstring& base, const std::wstring& relative);

// A typed folder name made absolute: blanks trimmed, a trailing backslash removed,
// "X:" taken as "X:\", an empty text as `currentDirectory`, a relative name taken
// from `rootParent` (or from `currentDirectory` without a root). `error` is 0 when
// the folder is accepted: it lies inside `rootParent` (when given) and consists
// of valid path characters.
struct QualifiedFolder {
    std::wstring path;
    LONG error = 0;
};
QualifiedFolder qualifyTypedFolder(const wchar_t* typed, const std::wstring& rootParent,
                                   const std::wstring& currentDirectory);

struct StartMenuPick {
    std::wstring path;     // empty when cancelled
    std::wstring relative; // `path` relative to the Start-menu folder
};

class FolderPicker {
public:
    FolderPicker() = default;
    ~FolderPicker();
    FolderPicker(const FolderPicker&) = delete;
    FolderPicker& operator=(const FolderPicker&) = delete;

    // Any folder; returns the chosen folder, or empty when cancelled.
    std::wstring pickFolder(const std::wstring& current, const std::wstring& tail, const std::wstring& title);
    // A folder inside the common programs folder of the Start menu.
    StartMenuPick pickStartMenuFolder(const std::wstring& current, const std::wstring& tail,
                                      const std::wstring& title);

    // Creates a typed folder that does not exist (not used by the wizard's pages).
    void setCreateTypedFolder(bool create) { createTyped_ = create; }

private:
    enum : unsigned { comInitialised = 1, dialogInitialised = 2, typedAccepted = 4 };

    bool browse(const std::wstring& current, const std::wstring& tail);
    void setRoot(int csidl);
    static int CALLBACK callback(HWND dialog, UINT message, LPARAM lParam, LPARAM data);
    int onEvent(HWND dialog, UINT message, LPARAM lParam);
    std::wstring displayedPath(const std::wstring& folder) const;
    std::wstring absolutePath(const std::wstring& path) const;
    void showInEditBox(HWND dialog) const;

    std::wstring path_;
    std::wstring tail_;
    std::wstring title_;
    ar::unique_cotaskmem<PIDLIST_ABSOLUTE> root_;
    std::wstring rootParent_;
    std::wstring initialSelection_; // selected by the picker itself at the start
    unsigned options_ = 0;
    bool createTyped_ = false;
    HWND owner_ = nullptr;
};

// The picker's owner: the active window's top-level owner (or the thread's first
// top-level window), then its last active pop-up.
HWND pickerOwner();

inline std::wstring pickFolder(const std::wstring& current, const std::wstring& tail,
                               const std::wstring& title)
{
    return FolderPicker().pickFolder(current, tail, title);
}

inline StartMenuPick pickStartMenuFolder(const std::wstring& current, const std::wstring& tail,
                                         const std::wstring& title)
{
    return FolderPicker().pickStartMenuFolder(current, tail, title);
}

} // namespace ar
