// The generated artwork is linked into programs with the installer's resources
// and loads the way the wizard uses it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "resources/resource.h"
#include "support/handles.h"

namespace {

struct IconEntry {
    int width;
    int height;
    int bits;
};

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// The images an icon resource offers, read from its group directory.
std::vector<IconEntry> iconEntries(int id)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    if (!info)
        return {};
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
    const auto* header = reinterpret_cast<const GroupIconHeader*>(data);
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(data + sizeof(GroupIconHeader));
    std::vector<IconEntry> result;
    for (WORD i = 0; i < header->count; ++i) {
        const GroupIconEntry& e = entries[i];
        result.push_back({e.width ? e.width : 256, e.height ? e.height : 256, e.bitCount});
    }
    return result;
}

bool hasEntry(const std::vector<IconEntry>& entries, int width, int height, int bits)
{
    for (const IconEntry& e : entries)
        if (e.width == width && e.height == height && e.bits == bits)
            return true;
    return false;
}

HICON loadIcon(int id, int width, int height)
{
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, 0));
}

// The 16 x 12 flag drawn over white, as 0x00RRGGBB values row by row.
std::vector<std::uint32_t> renderFlag(HICON icon)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -12; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    ar::unique_hdc dc(CreateCompatibleDC(nullptr));
    ar::unique_hgdiobj bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    std::vector<std::uint32_t> pixels;
    if (!dc || !bitmap)
        return pixels;
    HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
    RECT all{0, 0, 16, 12};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc.get(), 0, 0, icon, 16, 12, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < 16 * 12; ++i)
        pixels.push_back(p[i] & 0xFFFFFF);
    SelectObject(dc.get(), old);
    return pixels;
}

// The nearest of a few plain colours, enough to tell the flags apart.
char colourName(std::uint32_t rgb)
{
    struct Named {
        char name;
        int r, g, b;
    };
    static const Named names[] = {{'W', 255, 255, 255}, {'K', 0, 0, 0},    {'R', 215, 25, 40},
                                  {'B', 20, 55, 150},   {'G', 0, 130, 70}, {'Y', 250, 205, 10}};
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    char best = '?';
    int bestDistance = 1 << 30;
    for (const Named& n : names) {
        const int d = (r - n.r) * (r - n.r) + (g - n.g) * (g - n.g) + (b - n.b) * (b - n.b);
        if (d < bestDistance) {
            bestDistance = d;
            best = n.name;
        }
    }
    return best;
}

TEST(Artwork, AppIconOffersThreeSizesWithAlpha)
{
    const std::vector<IconEntry> entries = iconEntries(IDI_APP);
    EXPECT_TRUE(hasEntry(entries, 16, 16, 32));
    EXPECT_TRUE(hasEntry(entries, 32, 32, 32));
    EXPECT_TRUE(hasEntry(entries, 48, 48, 32));
    for (int size : {16, 32, 48}) {
        ar::unique_hicon icon(loadIcon(IDI_APP, size, size));
        EXPECT_TRUE(icon) << size;
    }
}

TEST(Artwork, WizardPictureFitsItsArea)
{
    ar::unique_hgdiobj bitmap(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_WIZARD),
                                         IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_TRUE(bitmap);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(bitmap.get(), sizeof(info), &info), int(sizeof(info)));
    EXPECT_EQ(info.bmBitsPixel, 24);

    // The picture's area is 58 x 105 dialog units in a dialog using "MS Shell Dlg"
    // 8 pt; the frame shows the 100 % picture unscaled at 96 DPI, so a larger one
    // would be cut. The bitmap is drawn for the standard 6 x 13 base
    // units of that font on Windows (87 x 171 pixels); Wine's substitute font is
    // wider (7 x 13), so there the control is wider than the picture.
    struct {
        DLGTEMPLATE dialog;
        WORD menu, windowClass, title, pointSize;
        wchar_t font[13];
    } templ{};
    templ.dialog.style = DS_SETFONT | WS_POPUP;
    templ.pointSize = 8;
    lstrcpyW(templ.font, L"MS Shell Dlg");
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &templ.dialog, nullptr, nullptr, 0);
    ASSERT_NE(dialog, nullptr);
    RECT control{0, 0, 58, 105};
    MapDialogRect(dialog, &control);
    DestroyWindow(dialog);
    EXPECT_LE(info.bmWidth, control.right);
    EXPECT_EQ(info.bmHeight, control.bottom);
    EXPECT_EQ(info.bmWidth, MulDiv(58, 6, 4));
}

TEST(Artwork, EveryFlagIsATrue16By12Icon)
{
    for (int id = IDI_FLAG_FIRST; id <= IDI_FLAG_LAST; ++id) {
        EXPECT_TRUE(hasEntry(iconEntries(id), 16, 12, 32)) << id;
        ar::unique_hicon icon(loadIcon(id, 16, 12));
        ASSERT_TRUE(icon) << id;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon.get(), &info)) << id;
        BITMAP mask{};
        GetObjectW(info.hbmMask, sizeof(mask), &mask);
        EXPECT_EQ(mask.bmWidth, 16) << id;
        // Without a colour bitmap the mask holds both halves.
        EXPECT_EQ(mask.bmHeight, info.hbmColor ? 12 : 24) << id;
        DeleteObject(info.hbmMask);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
    }
}

TEST(Artwork, PictureAndFlagsAreDrawnForEachScreenScale)
{
    // The wizard shows the one nearest its DPI unstretched: each has the shape of the 100 % one.
    const struct {
        int percent, picture;
    } scales[] = {{100, IDB_WIZARD}, {125, IDB_WIZARD_125}, {150, IDB_WIZARD_150}, {200, IDB_WIZARD_200}};
    for (const auto& scale : scales) {
        ar::unique_hgdiobj bitmap(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(scale.picture),
                                             IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_TRUE(bitmap) << scale.percent;
        BITMAP info{};
        ASSERT_EQ(GetObjectW(bitmap.get(), sizeof(info), &info), int(sizeof(info)));
        EXPECT_EQ(info.bmWidth, (87 * scale.percent + 50) / 100) << scale.percent;
        EXPECT_EQ(info.bmHeight, (171 * scale.percent + 50) / 100) << scale.percent;
        for (int id = IDI_FLAG_FIRST; id <= IDI_FLAG_LAST; ++id)
            EXPECT_TRUE(hasEntry(iconEntries(id), 16 * scale.percent / 100, 12 * scale.percent / 100, 32))
                << id << " at " << scale.percent;
    }
}

TEST(Artwork, EachLanguageHasItsOwnFlag)
{
    // A few points of each flag and the plain colour expected there (W white,
    // K black, R red, B blue, G green, Y yellow): a flag stored under another
    // language's id fails here.
    struct Probe {
        int id;
        struct {
            int x, y;
            char colour;
        } points[3];
    };
    const Probe probes[] = {
        {IDI_FLAG_FRENCH, {{2, 6, 'B'}, {8, 6, 'W'}, {13, 6, 'R'}}},
        {IDI_FLAG_ENGLISH, {{2, 3, 'B'}, {10, 2, 'R'}, {10, 3, 'W'}}},
        {IDI_FLAG_GERMAN, {{8, 2, 'K'}, {8, 6, 'R'}, {8, 9, 'Y'}}},
        {IDI_FLAG_SPANISH, {{8, 1, 'R'}, {10, 6, 'Y'}, {8, 10, 'R'}}},
        {IDI_FLAG_PORTUGUESE, {{2, 3, 'G'}, {12, 6, 'R'}, {2, 9, 'G'}}},
        {IDI_FLAG_DUTCH, {{8, 2, 'R'}, {8, 6, 'W'}, {8, 9, 'B'}}},
        {IDI_FLAG_DANISH, {{2, 2, 'R'}, {5, 9, 'W'}, {12, 6, 'W'}}},
        {IDI_FLAG_TURKISH, {{2, 6, 'W'}, {6, 6, 'R'}, {13, 2, 'R'}}},
        {IDI_FLAG_BULGARIAN, {{8, 2, 'W'}, {8, 6, 'G'}, {8, 9, 'R'}}},
        {IDI_FLAG_ROMANIAN, {{2, 6, 'B'}, {8, 6, 'Y'}, {13, 6, 'R'}}},
        {IDI_FLAG_CHINESE, {{3, 3, 'Y'}, {12, 8, 'R'}, {3, 9, 'R'}}},
        {IDI_FLAG_ITALIAN, {{2, 6, 'G'}, {8, 6, 'W'}, {13, 6, 'R'}}},
        {IDI_FLAG_CZECH, {{1, 6, 'B'}, {12, 2, 'W'}, {12, 9, 'R'}}},
        {IDI_FLAG_NORWEGIAN, {{2, 2, 'R'}, {4, 2, 'W'}, {5, 9, 'B'}}},
        {IDI_FLAG_GREEK, {{1, 1, 'B'}, {2, 1, 'W'}, {10, 3, 'W'}}},
        {IDI_FLAG_POLISH, {{8, 3, 'W'}, {8, 9, 'R'}, {2, 4, 'W'}}},
        {IDI_FLAG_HEBREW, {{8, 2, 'B'}, {2, 6, 'W'}, {8, 10, 'B'}}},
        {IDI_FLAG_VIETNAMESE, {{2, 2, 'R'}, {8, 6, 'Y'}, {13, 9, 'R'}}},
    };
    for (const Probe& probe : probes) {
        ar::unique_hicon icon(loadIcon(probe.id, 16, 12));
        ASSERT_TRUE(icon) << probe.id;
        const std::vector<std::uint32_t> pixels = renderFlag(icon.get());
        ASSERT_EQ(pixels.size(), 16u * 12u);
        for (const auto& point : probe.points)
            EXPECT_EQ(colourName(pixels[point.y * 16 + point.x]), point.colour)
                << "flag " << probe.id << " at " << point.x << "," << point.y;
    }
}

} // namespace
