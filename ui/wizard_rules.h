// The wizard's rules as plain functions: page order, button states and captions,
// the exit confirmation, the About menu entry and where the artwork goes.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "product/version_info.h"

namespace ar::wizard {

constexpr int startPage = 0;
constexpr int modePage = 1;
constexpr int pathPage = 2;
constexpr int shortcutPage = 3;
constexpr int progressPage = 4;
constexpr int endPage = 5;
constexpr int pageCount = 6;

// The page actually shown when `requested` is asked for from `current`: quick
// mode skips the Path and Shortcut pages in the direction of travel.
int targetPage(int current, int requested, bool advancedMode);

bool backEnabled(int page, bool installSucceeded);
bool nextEnabled(int page);
// Next reads "Install" on the progress page until the installation succeeded.
bool nextIsInstall(int page, bool installSucceeded);

// Whether leaving the wizard needs the user's confirmation.
bool exitNeedsConfirmation(InstallState state, int page, bool installSucceeded);

// The system-menu entry for "About '…'": "&About 'Installer'..." left to right,
// "...About" without an access key right to left.
std::wstring aboutMenuText(const std::wstring& about, bool rightToLeft);

// The sizes the artwork is drawn in, in per cent of 96 DPI, and the one drawn
// nearest to `dpi`.
constexpr std::array<int, 4> artScales{100, 125, 150, 200};
int nearestArtScale(int dpi);

// Where a picture of `picture` pixels goes in `area`: centred, at its own size
// when it (nearly) fits, else shrunk to fit without changing its shape; never
// enlarged. What lies outside `area` is cut.
RECT placePicture(SIZE picture, const RECT& area);

} // namespace ar::wizard
