#include "framework/common_controls.h"

#include "support/system_library.h"

namespace fw {
namespace {

constexpr wchar_t libraryName[] = L"comctl32.dll";

// With an activation context that redirects comctl32 (the manifest's version-6
// dependency), the loader resolves the bare name to that assembly in the system's
// side-by-side store, never to the application folder. Loading it that way first
// lets the system-folder lookup below find the redirected module already loaded.
void loadRedirectedLibrary()
{
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof(data);
    if (FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, libraryName, &data))
        LoadLibraryW(libraryName);
}

template <typename Fn> void bind(Fn& target, const char* name)
{
    target = ar::systemFunction<Fn>(libraryName, name);
}

CommonControls load()
{
    loadRedirectedLibrary();
    CommonControls table;
    table.module = ar::systemLibrary(libraryName);
    if (!table.module)
        return table;
    bind(table.initCommonControlsEx, "InitCommonControlsEx");
    bind(table.imageListCreate, "ImageList_Create");
    bind(table.imageListDestroy, "ImageList_Destroy");
    bind(table.imageListReplaceIcon, "ImageList_ReplaceIcon");
    bind(table.imageListGetImageCount, "ImageList_GetImageCount");
    bind(table.setWindowSubclass, "SetWindowSubclass");
    bind(table.removeWindowSubclass, "RemoveWindowSubclass");
    bind(table.defSubclassProc, "DefSubclassProc");
    if (table.initCommonControlsEx) {
        INITCOMMONCONTROLSEX init{sizeof(init), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES |
                                                    ICC_USEREX_CLASSES | ICC_PROGRESS_CLASS | ICC_LINK_CLASS};
        table.initCommonControlsEx(&init);
    }
    return table;
}

} // namespace

const CommonControls& commonControls()
{
    static const CommonControls table = load();
    return table;
}

ImageList::ImageList(int width, int height, UINT flags, int initial, int grow)
{
    const CommonControls& table = commonControls();
    if (table.imageListCreate)
        list_ = table.imageListCreate(width, height, flags, initial, grow);
}

ImageList::~ImageList()
{
    destroy();
}

void ImageList::destroy()
{
    if (list_ && commonControls().imageListDestroy)
        commonControls().imageListDestroy(list_);
    list_ = nullptr;
}

ImageList& ImageList::operator=(ImageList&& other) noexcept
{
    if (this != &other) {
        destroy();
        list_ = other.list_;
        other.list_ = nullptr;
    }
    return *this;
}

int ImageList::addIcon(HICON icon) const
{
    if (!list_ || !commonControls().imageListReplaceIcon)
        return -1;
    return commonControls().imageListReplaceIcon(list_, -1, icon);
}

int ImageList::count() const
{
    if (!list_ || !commonControls().imageListGetImageCount)
        return 0;
    return commonControls().imageListGetImageCount(list_);
}

} // namespace fw
