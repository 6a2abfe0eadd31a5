#include "ui/wizard_rules.h"

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

} // namespace ar::wizard
