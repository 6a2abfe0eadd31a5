// The dialog framework, driven through the installer's own templates.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "framework/app.h"
#include "framework/common_controls.h"
#include "framework/dialog.h"
#include "resources/resource.h"
#include "support/module_state.h"
#include "tests/support/test_support.h"

namespace {

// Records what the framework reports instead of showing it.
class TestApp : public fw::App {
public:
    void OnException(const std::exception& error) override { exceptions.push_back(error.what()); }
    std::vector<std::string> exceptions;
};

// A top-level window to hold child dialogs.
class HostWindow {
public:
    HostWindow()
    {
        hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    }
    ~HostWindow() { DestroyWindow(hwnd_); }
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_;
};

void click(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The Path page template: one edit (1007) with a 260-character limit.
class FolderDialog : public fw::Dialog {
public:
    FolderDialog() : fw::Dialog(IDD_PATH) {}
    std::wstring folder = L"C:\\Apps";
    std::wstring saved;
    int browseClicks = 0;
    std::vector<UINT> otherCommands;

private:
    void DoDataExchange(fw::DataExchange& dx) override
    {
        dx.text(IDC_FOLDER, folder);
        dx.maxChars(IDC_FOLDER, folder, 260);
        if (dx.saving() && !dx.failed())
            saved = folder;
    }
    bool OnCommand(UINT code, UINT id, HWND control) override
    {
        otherCommands.push_back(id);
        return fw::Dialog::OnCommand(code, id, control);
    }
    void onBrowse()
    {
        ++browseClicks;
        if (browseClicks == 2)
            throw std::runtime_error("browse failed");
    }

    FW_BEGIN_MESSAGE_MAP(fw::Dialog)
    FW_ON_COMMAND(IDC_BROWSE, BN_CLICKED, onBrowse)
    FW_END_MESSAGE_MAP()
};

TEST(CommonControls, BindsTheVersionSixAssemblyOfTheManifest)
{
    const fw::CommonControls& table = fw::commonControls();
    ASSERT_TRUE(table.complete());
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(table.module, path, MAX_PATH);
    std::wstring lower = path;
    for (wchar_t& c : lower)
        c = towlower(c);
    EXPECT_NE(lower.find(L"common-controls_6595b64144ccf1df_6."), std::wstring::npos)
        << ar::test::narrow(path);

    fw::ImageList images(18, 12, ILC_COLOR24 | ILC_MASK, 8, 1);
    ASSERT_TRUE(images);
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    EXPECT_EQ(images.addIcon(icon), 0);
    EXPECT_EQ(images.count(), 1);
}

TEST(DataExchange, LoadsLimitsAndRefusesOverlongText)
{
    TestApp app;
    app.setName(L"Test caption");
    ar::test::BoxAnswerer answerer(IDOK);
    HostWindow host;
    FolderDialog dialog;
    ASSERT_TRUE(dialog.create(host.hwnd()));
    ShowWindow(dialog.hwnd(), SW_SHOW);
    HWND edit = GetDlgItem(dialog.hwnd(), IDC_FOLDER);
    EXPECT_EQ(dialog.item(IDC_FOLDER).text(), L"C:\\Apps");
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 260);

    SetWindowTextW(edit, std::wstring(260, L'a').c_str());
    EXPECT_TRUE(dialog.updateData(true));
    EXPECT_EQ(dialog.saved, std::wstring(260, L'a'));
    EXPECT_TRUE(answerer.boxes().empty());

    // WM_SETTEXT passes the limit; the save refuses and keeps the earlier data.
    SetWindowTextW(edit, std::wstring(261, L'b').c_str());
    EXPECT_FALSE(dialog.updateData(true));
    EXPECT_EQ(dialog.saved, std::wstring(260, L'a'));
    ASSERT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(answerer.boxes()[0].text, L"Enter no more than 260 characters.");
    EXPECT_EQ(answerer.boxes()[0].caption, L"Test caption");
    EXPECT_EQ(GetFocus(), edit);
}

TEST(DataExchange, ChecksAndRadioGroups)
{
    HostWindow host;
    struct ModeDialog : fw::Dialog {
        ModeDialog() : fw::Dialog(IDD_MODE) {}
        int choice = 1;
        void DoDataExchange(fw::DataExchange& dx) override { dx.radio(IDC_MODE_QUICK, choice); }
    } mode;
    ASSERT_TRUE(mode.create(host.hwnd()));
    EXPECT_EQ(SendMessageW(GetDlgItem(mode.hwnd(), IDC_MODE_QUICK), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(GetDlgItem(mode.hwnd(), IDC_MODE_ADVANCED), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(GetDlgItem(mode.hwnd(), IDC_MODE_ADVANCED), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(GetDlgItem(mode.hwnd(), IDC_MODE_QUICK), BM_SETCHECK, BST_CHECKED, 0);
    ASSERT_TRUE(mode.updateData(true));
    EXPECT_EQ(mode.choice, 0);
    // -1 clears the group; the static text after the group is not part of it.
    mode.choice = -1;
    mode.updateData(false);
    ASSERT_TRUE(mode.updateData(true));
    EXPECT_EQ(mode.choice, -1);

    struct ShortcutDialog : fw::Dialog {
        ShortcutDialog() : fw::Dialog(IDD_SHORTCUT) {}
        int menu = BST_CHECKED;
        int desktop = BST_UNCHECKED;
        void DoDataExchange(fw::DataExchange& dx) override
        {
            dx.check(IDC_MENU_SHORTCUT, menu);
            dx.check(IDC_DESKTOP_SHORTCUT, desktop);
        }
    } shortcut;
    ASSERT_TRUE(shortcut.create(host.hwnd()));
    EXPECT_EQ(SendMessageW(GetDlgItem(shortcut.hwnd(), IDC_MENU_SHORTCUT), BM_GETCHECK, 0, 0), BST_CHECKED);
    click(shortcut.hwnd(), IDC_DESKTOP_SHORTCUT);
    SendMessageW(GetDlgItem(shortcut.hwnd(), IDC_DESKTOP_SHORTCUT), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(GetDlgItem(shortcut.hwnd(), IDC_MENU_SHORTCUT), BM_SETCHECK, BST_UNCHECKED, 0);
    ASSERT_TRUE(shortcut.updateData(true));
    EXPECT_EQ(shortcut.menu, BST_UNCHECKED);
    EXPECT_EQ(shortcut.desktop, BST_CHECKED);
}

TEST(Dialog, MessageMapCommandsAndExceptionsStayInside)
{
    TestApp app;
    HostWindow host;
    FolderDialog dialog;
    ASSERT_TRUE(dialog.create(host.hwnd()));
    click(dialog.hwnd(), IDC_BROWSE);
    EXPECT_EQ(dialog.browseClicks, 1);
    // The second click throws: the dialog procedure reports it and the window lives on.
    click(dialog.hwnd(), IDC_BROWSE);
    ASSERT_EQ(app.exceptions.size(), 1u);
    EXPECT_EQ(app.exceptions[0], "browse failed");
    EXPECT_TRUE(IsWindow(dialog.hwnd()));
    // A command without a map entry reaches OnCommand; a child page ignores IDOK.
    click(dialog.hwnd(), IDOK);
    EXPECT_EQ(std::count(dialog.otherCommands.begin(), dialog.otherCommands.end(), UINT(IDOK)), 1);
    EXPECT_EQ(std::count(dialog.otherCommands.begin(), dialog.otherCommands.end(), UINT(IDC_BROWSE)), 0);
    EXPECT_TRUE(IsWindow(dialog.hwnd()));
}

void CALLBACK pressCancel(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    if (HWND box = GetActiveWindow())
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

TEST(Dialog, ModalDialogIsTheMainWindowUntilItEnds)
{
    TestApp app;
    struct About : fw::Dialog {
        About() : fw::Dialog(IDD_ABOUTBOX) {}
        HWND mainDuringInit = nullptr;
        bool OnInitDialog() override
        {
            SetTimer(nullptr, 0, 50, &pressCancel);
            return fw::Dialog::OnInitDialog();
        }
        void OnCancel() override
        {
            mainDuringInit = ar::mainWindow();
            fw::Dialog::OnCancel();
        }
    } about;
    app.setMainDialog(&about);
    EXPECT_EQ(about.doModal(), IDCANCEL);
    EXPECT_NE(about.mainDuringInit, nullptr);
    EXPECT_EQ(ar::mainWindow(), nullptr);
    EXPECT_EQ(about.hwnd(), nullptr);
}

TEST(Dialog, ModelessTopLevelDialogEndsByDestroyingItsWindow)
{
    struct About : fw::Dialog {
        About() : fw::Dialog(IDD_ABOUTBOX) {}
    } about;
    ASSERT_TRUE(about.create(nullptr));
    HWND window = about.hwnd();
    click(window, IDOK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(about.hwnd(), nullptr);
    EXPECT_EQ(about.result(), IDOK);
}

TEST(PumpMessages, DispatchesWithDialogNavigationAndKeepsQuit)
{
    TestApp app;
    // The frame's template: Back, Next and Exit in that tab order.
    fw::Dialog dialog(IDD_INSTALL);
    ASSERT_TRUE(dialog.create(nullptr));
    ShowWindow(dialog.hwnd(), SW_SHOW);
    SetForegroundWindow(dialog.hwnd());
    HWND next = GetDlgItem(dialog.hwnd(), IDOK);
    SetFocus(next);
    ASSERT_EQ(GetFocus(), next);
    // Tab moves the focus only through the dialog's keyboard navigation.
    PostMessageW(next, WM_KEYDOWN, VK_TAB, 0);
    fw::pumpMessages();
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog.hwnd(), IDCANCEL));

    PostQuitMessage(7);
    fw::pumpMessages();
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
}

TEST(App, NamesMessageBoxes)
{
    {
        TestApp app;
        EXPECT_EQ(fw::App::current(), &app);
        app.setName(L"Installer \u2013 Pelorium 7.06");
        EXPECT_EQ(ar::applicationName(), L"Installer \u2013 Pelorium 7.06");
        ar::test::BoxAnswerer answerer(IDOK);
        fw::showMessage(L"text", MB_OK);
        ASSERT_EQ(answerer.boxes().size(), 1u);
        EXPECT_EQ(answerer.boxes()[0].caption, L"Installer \u2013 Pelorium 7.06");
    }
    EXPECT_EQ(fw::App::current(), nullptr);
}

} // namespace
