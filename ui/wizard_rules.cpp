#include "ui/wizard_rules.h"

#include <algorithm>
#include <cstdlib>

namespace ar::wizard {

int targetPage(int current, int requested, bool advancedMode)
{
    if (advancedMode || requested == current)
        return requested;
    int step = requested > current ? 1 : -1;
    while (requested == pathPage || requested == shortcutPage)
        requested += step;
    return requested;
}

bool backEnabled(int page, bool installSucceeded)
{
    return (page > startPage && !installSucceeded) || page > progressPage;
}

bool nextEnabled(int page)
{
    return page < endPage;
}

bool nextIsInstall(int page, bool installSucceeded)
{
    return page == progressPage && !installSucceeded;
}

bool exitNeedsConfirmation(InstallState state, int page, bool installSucceeded)
{
    if (installSucceeded || state == InstallState::NewerInstalled)
        return false;
    return !(state == InstallState::Same && page == startPage);
}

std::wstring aboutMenuText(const std::wstring& about, bool rightToLeft)
{
    if (about.empty())
        return {};
    return rightToLeft ? L"..." + about : L"&" + about + L"...";
}

int nearestArtScale(int dpi)
{
    int best = artScales.front();
    for (int scale : artScales)
        if (std::abs(scale * 96 - dpi * 100) < std::abs(best * 96 - dpi * 100))
            best = scale;
    return best;
}

RECT placePicture(SIZE picture, const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    SIZE shown = picture;
    if (picture.cx > 0 && picture.cy > 0) {
        double scale =
            std::min(static_cast<double>(width) / picture.cx, static_cast<double>(height) / picture.cy);
        // A picture a few per cent larger than the area loses a pixel row at its edges
        // rather than being resampled, which would blur it.
        if (scale < 0.97) {
            shown.cx = static_cast<LONG>(picture.cx * scale + 0.5);
            shown.cy = static_cast<LONG>(picture.cy * scale + 0.5);
        }
    }
    const LONG left = area.left + (width - shown.cx) / 2;
    const LONG top = area.top + (height - shown.cy) / 2;
    return {left, top, left + shown.cx, top + shown.cy};
}

} // namespace ar::wizard
