// The common controls library (comctl32), bound at run time: it is not a known DLL,
// so it is never imported statically. With the executable's manifest asking for
// version 6, the themed version-6 library is the one bound.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace fw {

struct CommonControls {
    HMODULE module = nullptr;
    BOOL(WINAPI* initCommonControlsEx)(const INITCOMMONCONTROLSEX*) = nullptr;
    HIMAGELIST(WINAPI* imageListCreate)(int, int, UINT, int, int) = nullptr;
    BOOL(WINAPI* imageListDestroy)(HIMAGELIST) = nullptr;
    int(WINAPI* imageListReplaceIcon)(HIMAGELIST, int, HICON) = nullptr;
    int(WINAPI* imageListGetImageCount)(HIMAGELIST) = nullptr;
    BOOL(WINAPI* setWindowSubclass)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR) = nullptr;
    BOOL(WINAPI* removeWindowSubclass)(HWND, SUBCLASSPROC, UINT_PTR) = nullptr;
    LRESULT(WINAPI* defSubclassProc)(HWND, UINT, WPARAM, LPARAM) = nullptr;

    bool complete() const
    {
        return initCommonControlsEx && imageListCreate && imageListDestroy && imageListReplaceIcon &&
               imageListGetImageCount;
    }
};

// The bound functions; loads the library and registers the control classes that
// the dialog templates use (once per process). Functions that are missing stay null.
const CommonControls& commonControls();

// An owned image list.
class ImageList {
public:
    ImageList() = default;
    ImageList(int width, int height, UINT flags, int initial, int grow);
    ~ImageList();
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;
    ImageList(ImageList&& other) noexcept : list_(other.list_) { other.list_ = nullptr; }
    ImageList& operator=(ImageList&& other) noexcept;

    HIMAGELIST get() const { return list_; }
    explicit operator bool() const { return list_ != nullptr; }
    // Adds an icon; returns its image index, or -1.
    int addIcon(HICON icon) const;
    int count() const;

private:
    void destroy();

    HIMAGELIST list_ = nullptr;
};

} // namespace fw
