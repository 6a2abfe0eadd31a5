// Every text of the wizard and the About box fits its control, in every language
// that has texts: measured with the control's own font and wrapping style, on the
// real windows with the texts the pages set.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "product/language.h"
#include "tests/support/test_support.h"
#include "tests/ui/fake_installation_run.h"
#include "ui/about_dlg.h"
#include "engine/startup.h"
#include "framework/app.h"
#include "ui/install_dlg.h"
#include "ui/wizard_rules.h"

namespace {

using ar::test::narrow;
using ar::test::textOf;

// The room a text needs in `control`, against the room it has; empty when it fits.
std::string misfit(HWND control)
{
    const std::wstring text = textOf(control);
    if (text.empty())
        return {};
    wchar_t className[32] = {};
    GetClassNameW(control, className, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    RECT client{};
    GetClientRect(control, &client);
    // Where the text may go, and how it is drawn.
    RECT room = client;
    UINT flags = DT_CALCRECT | DT_EXPANDTABS;
    if (_wcsicmp(className, L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP &&
            type != SS_SIMPLE)
            return {};
        if (style & SS_ELLIPSISMASK) // shortened to fit by design
            return {};
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT)
            flags |= DT_WORDBREAK;
        if (style & SS_NOPREFIX)
            flags |= DT_NOPREFIX;
    } else if (_wcsicmp(className, L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        const int edge = 2 * GetSystemMetrics(SM_CXEDGE);
        switch (type) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            InflateRect(&room, -(edge + 2), -edge); // border and focus rectangle
            break;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            room.left += GetSystemMetrics(SM_CXMENUCHECK) + edge; // the box and its gap
            break;
        case BS_GROUPBOX:
            InflateRect(&room, -8, 0); // the caption sits in the frame's top line
            room.bottom = room.top + 1000;
            break;
        default:
            return {};
        }
        if (style & BS_MULTILINE)
            flags |= DT_WORDBREAK;
        else
            flags |= DT_SINGLELINE;
    } else {
        return {};
    }
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, room.right - room.left, 0};
    DrawTextW(dc, text.c_str(), -1, &needed, flags);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    const int width = room.right - room.left, height = room.bottom - room.top;
    if (needed.right <= width && needed.bottom <= height)
        return {};
    return "control " + std::to_string(GetDlgCtrlID(control)) + " \"" + narrow(text) + "\" needs " +
           std::to_string(needed.right) + "x" + std::to_string(needed.bottom) + ", has " +
           std::to_string(width) + "x" + std::to_string(height);
}

// The misfits among the children of `window`.
std::vector<std::string> misfits(HWND window, const std::string& where)
{
    std::vector<std::string> found;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::string why = misfit(child);
        if (!why.empty())
            found.push_back(where + ": " + why);
    }
    return found;
}

class TextFit : public ::testing::TestWithParam<int> {
protected:
    TextFit()
    {
        ar::setLanguage(GetParam());
        app.setName(ar::applicationTitle());
        context.installFolder = ar::test::programFiles + L"\\Ardenvale\\Pelorium 7";
        context.shortcutFolder = ar::test::specialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale\\Pelorium 7";
        context.createMenuShortcut = true;
        context.createDesktopShortcut = true;
        context.advancedMode = true;
        // The Path page shows the space that this takes.
        context.payloadEntries = {
            {L"Pelorium.exe", L"<InstallPath>", ar::FileKind::MainProgram, 22u << 20, 0}};
    }
    ~TextFit() override { ar::setLanguage(ar::english); }

    fw::App app;
    ar::InstallContext context;
    ar::test::FakeRun fakeRun;
    ar::test::BoxAnswerer answerer{IDOK};
};

TEST_P(TextFit, EveryPageAndTheAboutBox)
{
    std::vector<std::string> found;
    const std::pair<ar::InstallState, const char*> states[] = {{ar::InstallState::None, "new"},
                                                               {ar::InstallState::Update, "update"},
                                                               {ar::InstallState::Same, "same"},
                                                               {ar::InstallState::NewerInstalled, "newer"}};
    for (auto [state, name] : states) {
        context.installState = state;
        context.installedVersionText = state == ar::InstallState::Update ? L"7.05" : L"7.10";
        context.installSucceeded = false;
        CInstallDlg wizard(context, fakeRun);
        ASSERT_TRUE(wizard.create(nullptr));
        const std::string where = std::string(name) + " page ";
        for (int page = 0; page < ar::wizard::pageCount; ++page) {
            ASSERT_TRUE(wizard.setActivePage(page));
            for (auto& why : misfits(wizard.page(page).hwnd(), where + std::to_string(page)))
                found.push_back(why);
            for (auto& why : misfits(wizard.hwnd(), where + std::to_string(page) + " frame"))
                found.push_back(why);
        }
        // After a successful run: Exit in place of Cancel, and the End page.
        context.installSucceeded = true;
        wizard.setActivePage(ar::wizard::progressPage);
        for (auto& why : misfits(wizard.hwnd(), where + "after the run, frame"))
            found.push_back(why);
        DestroyWindow(wizard.hwnd());
    }
    // The status line of the run's phases.
    {
        context.installState = ar::InstallState::None;
        CInstallDlg wizard(context, fakeRun);
        ASSERT_TRUE(wizard.create(nullptr));
        wizard.setActivePage(ar::wizard::progressPage);
        HWND status = GetDlgItem(wizard.page(ar::wizard::progressPage).hwnd(), IDC_STATUS);
        const std::wstring statuses[] = {ar::loadString(IDS_PREPARING),
                                         ar::loadString(IDS_SHORTCUTS_CREATION),
                                         ar::loadString(IDS_REGISTRY_WRITING),
                                         ar::loadString(IDS_DATA_WRITING),
                                         ar::loadString(IDS_DIRECTX_UPDATE),
                                         ar::formatString(IDS_INSTALLATION_FAILED, {L"1:80070070"}),
                                         ar::formatString(IDS_CLICK_CONTINUE, {ar::loadString(IDS_NEXT)})};
        for (const std::wstring& text : statuses) {
            SetWindowTextW(status, text.c_str());
            std::string why = misfit(status);
            if (!why.empty())
                found.push_back("run status: " + why);
        }
        DestroyWindow(wizard.hwnd());
    }
    CAboutDlg about;
    ASSERT_TRUE(about.create(nullptr));
    for (auto& why : misfits(about.hwnd(), "about"))
        found.push_back(why);
    DestroyWindow(about.hwnd());

    std::string report;
    for (const std::string& why : found)
        report += why + "\n";
    EXPECT_TRUE(found.empty()) << report;
}

// The eight languages with installer texts, offered or not.
INSTANTIATE_TEST_SUITE_P(Languages, TextFit, ::testing::Values(0, 1, 2, 3, 4, 7, 9, 11),
                         [](const ::testing::TestParamInfo<int>& info) {
                             switch (info.param) {
                             case 0:
                                 return std::string("French");
                             case 1:
                                 return std::string("English");
                             case 2:
                                 return std::string("German");
                             case 3:
                                 return std::string("Spanish");
                             case 4:
                                 return std::string("Portuguese");
                             case 7:
                                 return std::string("Turkish");
                             case 9:
                                 return std::string("Romanian");
                             default:
                                 return std::string("Italian");
                             }
                         });

} // namespace
