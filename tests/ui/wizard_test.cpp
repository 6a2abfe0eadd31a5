// The wizard frame created from its template and driven by its buttons, read
// back from its real controls.
#include <gtest/gtest.h>

#include <oleacc.h>
#include <shlobj.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "product/language.h"
#include "support/format.h"
#include "ui/install_page.h"
#include "resources/installer_version.h"
#include "support/module_state.h"
#include "tests/support/test_support.h"
#include "tests/ui/fake_installation_run.h"
#include "engine/startup.h"
#include "framework/app.h"
#include "ui/install_dlg.h"
#include "ui/wizard_rules.h"

namespace {

using ar::test::specialFolder;
using ar::test::textOf;

constexpr int german = 2;
constexpr int dutch = 5;

class Wizard : public ::testing::Test {
protected:
    Wizard()
    {
        ar::setLanguage(ar::english);
        app.setName(ar::applicationTitle());
        context.installFolder = L"C:\\Program Files\\Ardenvale\\Pelorium 7";
        context.shortcutFolder = specialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale\\Pelorium 7";
        context.createMenuShortcut = true;
        context.createDesktopShortcut = true;
    }

    void open()
    {
        wizard = std::make_unique<CInstallDlg>(context, fakeRun);
        ASSERT_TRUE(wizard->create(nullptr));
        frame = wizard->hwnd();
        ShowWindow(frame, SW_SHOW);
    }

    void click(int id) { clickIn(frame, id); }
    static void clickIn(HWND dialog, int id)
    {
        HWND control = GetDlgItem(dialog, id);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    }
    // Checks one button of a group the way a click does.
    void choose(int page, int id, int state = BST_CHECKED)
    {
        HWND dialog = pageWindow(page);
        if (id == IDC_MODE_QUICK || id == IDC_MODE_ADVANCED)
            CheckRadioButton(dialog, IDC_MODE_QUICK, IDC_MODE_ADVANCED, id);
        else
            SendMessageW(GetDlgItem(dialog, id), BM_SETCHECK, static_cast<WPARAM>(state), 0);
        clickIn(dialog, id);
    }

    HWND pageWindow(int index) const { return wizard->page(index).hwnd(); }
    std::wstring text(int id) const { return textOf(GetDlgItem(frame, id)); }
    std::wstring pageText(int page, int id) const { return textOf(GetDlgItem(pageWindow(page), id)); }
    bool enabled(int id) const { return IsWindowEnabled(GetDlgItem(frame, id)) != FALSE; }
    int defaultButton() const
    {
        LRESULT value = SendMessageW(frame, DM_GETDEFID, 0, 0);
        return HIWORD(value) == DC_HASDEFID ? LOWORD(value) : 0;
    }
    bool hasDefaultStyle(int id) const
    {
        return (GetWindowLongW(GetDlgItem(frame, id), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
    }
    // The one visible page, or -1.
    int visiblePage() const
    {
        int shown = -1;
        for (int i = 0; i < 6; ++i)
            if (IsWindowVisible(pageWindow(i)))
                shown = shown == -1 ? i : -2;
        return shown;
    }
    bool closed() const { return !IsWindow(frame); }

    fw::App app;
    ar::InstallContext context;
    ar::test::FakeRun fakeRun;
    ar::test::BoxAnswerer answerer{IDNO};
    std::unique_ptr<CInstallDlg> wizard;
    HWND frame = nullptr;
};

TEST_F(Wizard, QuickModeSkipsTheFolderPagesBothWays)
{
    open();
    EXPECT_EQ(visiblePage(), 0);
    click(IDOK);
    EXPECT_EQ(visiblePage(), 1);
    click(IDOK);
    EXPECT_EQ(visiblePage(), 4);
    EXPECT_EQ(wizard->activePage(), 4);
    click(IDC_BACK);
    EXPECT_EQ(visiblePage(), 1);
    click(IDC_BACK);
    EXPECT_EQ(visiblePage(), 0);
}

TEST_F(Wizard, AdvancedModeShowsEveryPageAndSwitchingBackSkipsAgain)
{
    open();
    click(IDOK);
    choose(1, IDC_MODE_ADVANCED);
    for (int page : {2, 3, 4}) {
        click(IDOK);
        EXPECT_EQ(visiblePage(), page);
    }
    EXPECT_TRUE(context.advancedMode);
    for (int page : {3, 2, 1}) {
        click(IDC_BACK);
        EXPECT_EQ(visiblePage(), page);
    }
    choose(1, IDC_MODE_QUICK);
    click(IDOK);
    EXPECT_EQ(visiblePage(), 4);
    EXPECT_FALSE(context.advancedMode);
}

TEST_F(Wizard, StartAndProgressPagesBeforeTheRun)
{
    open();
    EXPECT_EQ(textOf(frame), L"Installer \u2013 Pelorium 7.06");
    EXPECT_FALSE(enabled(IDC_BACK));
    EXPECT_TRUE(enabled(IDOK));
    EXPECT_EQ(text(IDOK), L"&Next  >");
    EXPECT_EQ(text(IDC_BACK), L"<  &Back");
    EXPECT_EQ(text(IDCANCEL), L"&Cancel");
    EXPECT_EQ(defaultButton(), IDOK);
    EXPECT_TRUE(hasDefaultStyle(IDOK));
    EXPECT_EQ(GetFocus(), GetDlgItem(frame, IDOK));
    EXPECT_EQ(pageText(0, IDC_INFO), L"'Pelorium 7.06' Installation.");
    EXPECT_EQ(pageText(0, IDC_STATUS), L"Click on 'Next' to continue.");
    EXPECT_EQ(pageText(0, IDC_LANGUAGE_LABEL), L"Select Installation &Langage");

    click(IDOK);
    click(IDOK);
    EXPECT_EQ(text(IDOK), L"&Install");
    EXPECT_EQ(text(IDCANCEL), L"&Cancel");
    EXPECT_TRUE(enabled(IDC_BACK));
    EXPECT_EQ(pageText(4, IDC_STATUS), L"Click on 'Install' to start Installation.");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(pageWindow(4), IDC_PROGRESS)));
    std::wstring log = pageText(4, IDC_LOG);
    EXPECT_EQ(log.rfind(L"'Pelorium 7.06' Installation.\r\n-", 0), 0u) << ar::test::narrow(log);
    EXPECT_NE(log.find(L" Installation Options "), std::wstring::npos);
    EXPECT_NE(log.find(L"Installation Folder: \"C:\\Program Files\\Ardenvale\\Pelorium 7\".\r\n"),
              std::wstring::npos);
    EXPECT_NE(
        log.find(L"Creating a Shortcut in the Start Menu (Folder \"" + context.shortcutFolder + L"\").\r\n"),
        std::wstring::npos);
    EXPECT_NE(log.find(L"Creating a Shortcut on the Desktop.\r\n"), std::wstring::npos);
    EXPECT_EQ(SendMessageW(GetDlgItem(pageWindow(4), IDC_LOG), EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    // Showing the page again rewrites the summary from the changed options.
    click(IDC_BACK);
    context.createDesktopShortcut = false;
    click(IDOK);
    EXPECT_EQ(pageText(4, IDC_LOG).find(L"Desktop"), std::wstring::npos);
}

TEST_F(Wizard, FailedRunOffersInstallAgain)
{
    open();
    click(IDOK);
    click(IDOK);
    click(IDOK);
    EXPECT_EQ(fakeRun.calls, 1);
    EXPECT_TRUE(fakeRun.buttonsDisabled);
    EXPECT_FALSE(context.installSucceeded);
    EXPECT_EQ(visiblePage(), 4);
    EXPECT_EQ(text(IDOK), L"&Install");
    EXPECT_TRUE(enabled(IDOK));
    EXPECT_TRUE(enabled(IDC_BACK));
    EXPECT_TRUE(enabled(IDCANCEL));
    EXPECT_EQ(text(IDCANCEL), L"&Cancel");
    // The log keeps what the run wrote.
    EXPECT_NE(pageText(4, IDC_LOG).find(L"fake run"), std::wstring::npos);
    click(IDOK);
    EXPECT_EQ(fakeRun.calls, 2);
}

TEST_F(Wizard, SuccessfulRunLeadsToTheEndPage)
{
    fakeRun.result = ar::RunOutcome::Installed;
    open();
    click(IDOK);
    click(IDOK);
    click(IDOK);
    EXPECT_TRUE(context.installSucceeded);
    EXPECT_EQ(visiblePage(), 4);
    EXPECT_EQ(text(IDOK), L"&Next  >");
    EXPECT_FALSE(enabled(IDC_BACK));
    EXPECT_EQ(text(IDCANCEL), L"&Exit");
    EXPECT_TRUE(enabled(IDCANCEL));

    click(IDOK);
    EXPECT_EQ(visiblePage(), 5);
    EXPECT_EQ(pageText(5, IDC_INFO), L"Installation is complete.");
    EXPECT_EQ(pageText(5, IDC_STATUS), L"Click on 'Exit' to exit Installation.");
    EXPECT_FALSE(enabled(IDOK));
    EXPECT_TRUE(enabled(IDC_BACK));
    EXPECT_EQ(defaultButton(), IDCANCEL);
    EXPECT_TRUE(hasDefaultStyle(IDCANCEL));
    EXPECT_EQ(GetFocus(), GetDlgItem(frame, IDCANCEL));
    // Enter on the End page does not go past it.
    SendMessageW(frame, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(visiblePage(), 5);

    click(IDC_BACK);
    EXPECT_EQ(visiblePage(), 4);
    EXPECT_NE(pageText(4, IDC_LOG).find(L"fake run"), std::wstring::npos);
    click(IDCANCEL);
    EXPECT_TRUE(answerer.boxes().empty());
    EXPECT_TRUE(closed());
    EXPECT_EQ(wizard->result(), IDOK);
}

TEST_F(Wizard, ExitAsksForConfirmationAndNoKeepsTheWizard)
{
    open();
    click(IDCANCEL);
    ASSERT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(answerer.boxes()[0].text,
              L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
    EXPECT_EQ(answerer.boxes()[0].icon, LoadIconW(nullptr, IDI_QUESTION));
    EXPECT_EQ(answerer.boxes()[0].caption, L"Installer \u2013 Pelorium 7.06");
    EXPECT_FALSE(closed());
    // The close box asks the same way.
    answerer.setAnswer(IDYES);
    SendMessageW(frame, WM_CLOSE, 0, 0);
    ar::test::pumpFor(50);
    EXPECT_EQ(answerer.boxes().size(), 2u);
    EXPECT_TRUE(closed());
    EXPECT_EQ(wizard->result(), IDCANCEL);
}

TEST_F(Wizard, NewerInstalledDisablesNextAndLeavesWithoutQuestion)
{
    context.installState = ar::InstallState::NewerInstalled;
    context.installedVersionText = L"Pelorium 8.0";
    open();
    EXPECT_FALSE(enabled(IDOK));
    EXPECT_EQ(defaultButton(), IDCANCEL);
    EXPECT_EQ(pageText(0, IDC_INFO),
              L"'Pelorium 7.06' Installation.\r\nA more recent Version (Pelorium 8.0) is already installed.");
    EXPECT_EQ(pageText(0, IDC_STATUS), L"Click on 'Cancel' to exit Installation.");
    SendMessageW(frame, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(visiblePage(), 0);
    click(IDCANCEL);
    EXPECT_TRUE(answerer.boxes().empty());
    EXPECT_TRUE(closed());
}

TEST_F(Wizard, SameVersionAsksOnlyAfterTheStartPage)
{
    context.installState = ar::InstallState::Same;
    open();
    EXPECT_EQ(pageText(0, IDC_INFO),
              L"'Pelorium 7.06' is already installed.\r\nDo you confirm Reinstallation ?");
    EXPECT_EQ(pageText(0, IDC_STATUS), L"Click on 'Next' to continue or on 'Cancel' to exit Installation.");
    click(IDCANCEL);
    EXPECT_TRUE(answerer.boxes().empty());
    EXPECT_TRUE(closed());

    open();
    click(IDOK);
    click(IDCANCEL);
    EXPECT_EQ(answerer.boxes().size(), 1u);
    EXPECT_FALSE(closed());
}

TEST_F(Wizard, LanguageListOffersEightLanguagesWithFlags)
{
    open();
    HWND list = GetDlgItem(pageWindow(0), IDC_LANGUAGE);
    fw::ComboBox languages(list);
    ASSERT_EQ(languages.count(), 8);
    const int order[] = {0, 1, 2, 3, 4, 5, 14, 7};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(languages.itemData(i), order[i]);
        EXPECT_EQ(languages.itemText(i), ar::nativeLanguageName(order[i]));
    }
    EXPECT_EQ(languages.itemText(2), L"Deutsch");
    EXPECT_EQ(languages.selection(), 1);
    // The list draws the flags itself beside its real item texts.
    EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & CBS_OWNERDRAWFIXED);
    EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & CBS_HASSTRINGS);
}

TEST_F(Wizard, DutchRunsInEnglishAndGermanRewordsEverything)
{
    answerer.setAnswer(IDOK);
    open();
    HWND start = pageWindow(0);
    fw::ComboBox languages(GetDlgItem(start, IDC_LANGUAGE));
    languages.select(5);
    ASSERT_EQ(languages.itemData(5), dutch);
    clickIn(start, 0); // no effect: not the list
    SendMessageW(start, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_CLOSEUP),
                 reinterpret_cast<LPARAM>(languages.hwnd()));
    ASSERT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(answerer.boxes()[0].text,
              L"'Pelorium' will be installed in the selected Langage, but the Installer, "
              L"still under translation,  shall run in English.");
    EXPECT_EQ(answerer.boxes()[0].icon, LoadIconW(nullptr, IDI_INFORMATION));
    EXPECT_EQ(ar::currentLanguage(), ar::english);
    EXPECT_EQ(languages.selection(), 5);
    EXPECT_EQ(textOf(frame), L"Installer \u2013 Pelorium 7.06");
    EXPECT_EQ(text(IDOK), L"&Next  >");

    // The same choice again asks nothing.
    SendMessageW(start, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_CLOSEUP),
                 reinterpret_cast<LPARAM>(languages.hwnd()));
    languages.select(2);
    SendMessageW(start, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_CLOSEUP),
                 reinterpret_cast<LPARAM>(languages.hwnd()));
    EXPECT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(ar::currentLanguage(), german);
    EXPECT_EQ(textOf(frame), L"Installationsprogramm \u2013 Pelorium 7.06");
    EXPECT_EQ(ar::applicationName(), L"Installationsprogramm \u2013 Pelorium 7.06");
    EXPECT_EQ(text(IDOK), L"&Weiter  >");
    EXPECT_EQ(text(IDC_BACK), L"<  &Zur\u00fcck");
    EXPECT_EQ(text(IDCANCEL), L"&Abbrechen");
    wchar_t entry[128] = {};
    GetMenuStringW(GetSystemMenu(frame, FALSE), IDM_ABOUTBOX, entry, 128, MF_BYCOMMAND);
    EXPECT_STREQ(entry, L"&\u00dcber 'Installationsprogramm'...");
    EXPECT_EQ(pageText(0, IDC_STATUS), L"Klicken Sie auf 'Weiter', um fortzufahren.");
    EXPECT_EQ(pageText(0, IDC_LANGUAGE_LABEL), ar::loadCaption(IDS_SELECT_LANGUAGE));
    EXPECT_EQ(pageText(1, IDC_MODE_GROUP), ar::loadString(IDS_INSTALLATION_METHOD));
    EXPECT_EQ(pageText(2, IDC_BROWSE), L"Durch&suchen...");
    EXPECT_EQ(pageText(3, IDC_DESKTOP_SHORTCUT), ar::loadCaption(IDS_DESKTOP_SHORTCUT));
    EXPECT_EQ(pageText(4, IDC_STATUS), ar::formatString(IDS_CLICK_START, {L"Installieren"}));
    EXPECT_EQ(pageText(5, IDC_STATUS), ar::formatString(IDS_CLICK_EXIT, {L"Beenden"}));
    ar::setLanguage(ar::english);
}

TEST_F(Wizard, ArrowKeysThroughTheClosedListTakeEachLanguageAndAskOnlyWhereTheChoiceStays)
{
    answerer.setAnswer(IDOK);
    open();
    HWND list = GetDlgItem(pageWindow(0), IDC_LANGUAGE);
    fw::ComboBox languages(list);
    SetFocus(list);
    auto arrow = [&](WPARAM key, int times) {
        for (int i = 0; i < times; ++i) {
            SendMessageW(list, WM_KEYDOWN, key, 0);
            SendMessageW(list, WM_KEYUP, key, 0);
        }
    };
    arrow(VK_DOWN, 1);
    EXPECT_EQ(ar::currentLanguage(), german);
    EXPECT_EQ(text(IDOK), L"&Weiter  >");
    // On down past Dutch and Greek (no texts: each would ask) to Turkish, without a question.
    arrow(VK_DOWN, 5);
    ASSERT_EQ(languages.itemData(languages.selection()), 7);
    EXPECT_EQ(ar::currentLanguage(), 7);
    EXPECT_TRUE(answerer.boxes().empty());
    SetFocus(GetDlgItem(frame, IDOK));
    EXPECT_TRUE(answerer.boxes().empty());

    // Greek is taken, with its question, once the focus leaves it there.
    SetFocus(list);
    arrow(VK_UP, 1);
    EXPECT_EQ(ar::currentLanguage(), 7);
    SetFocus(GetDlgItem(frame, IDOK));
    EXPECT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(ar::currentLanguage(), ar::english);
    ar::setLanguage(ar::english);
}

TEST_F(Wizard, PathPageIsReadOnlyForAnUpdate)
{
    context.installState = ar::InstallState::Update;
    context.installedVersionText = L"Pelorium 7.5";
    context.advancedMode = true;
    open();
    EXPECT_EQ(pageText(0, IDC_INFO), L"Update from 'Pelorium 7.5' to 'Pelorium 7.06'.");
    click(IDOK);
    click(IDOK);
    ASSERT_EQ(visiblePage(), 2);
    HWND path = pageWindow(2);
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(path, IDC_FOLDER), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(path, IDC_BROWSE)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(path, IDC_FOLDER_PROMPT)));
    EXPECT_EQ(pageText(2, IDC_FOLDER), context.installFolder);
    EXPECT_EQ(pageText(2, IDC_FOLDER_PROMPT), L"Select 'Pelorium' Installation &Folder.");
}

TEST_F(Wizard, PathPageRefusesFoldersWindowsCannotUseAndKeepsThePage)
{
    answerer.setAnswer(IDOK);
    context.advancedMode = true;
    open();
    click(IDOK);
    click(IDOK);
    HWND edit = GetDlgItem(pageWindow(2), IDC_FOLDER);
    EXPECT_FALSE(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);
    const std::wstring before = context.installFolder;
    ar::test::TempDir dir(L"path");
    ar::test::writeFile(dir / L"taken", "a file");
    const std::wstring fullPath =
        L"Please enter the full path of a folder, such as " + ar::test::programFiles + L"\\Ardenvale\\Pelorium 7.";
    const std::wstring characters = L"A folder name cannot contain any of these characters: < > : \" | ? *";
    const struct {
        std::wstring folder, message;
    } refused[] = {
        {L"C:\\" + std::wstring(258, L'x'), L"Enter no more than 260 characters."},
        {L"", fullPath},
        {L"Apps\\Pelorium", fullPath},
        {L"\\Apps", fullPath},
        {L"C:\\Apps\\Pel|orium", characters},
        {L"C:\\Apps:Pelorium", characters},
        {dir / L"taken", L"'" + (dir / L"taken") + L"' is a file, not a folder."},
    };
    for (const auto& bad : refused) {
        answerer.clear();
        SetWindowTextW(edit, bad.folder.c_str());
        click(IDOK);
        ASSERT_EQ(answerer.boxes().size(), 1u);
        EXPECT_EQ(answerer.boxes()[0].text, bad.message);
        EXPECT_EQ(visiblePage(), 2);
        EXPECT_EQ(GetFocus(), edit);
        EXPECT_EQ(context.installFolder, before);
    }
    // The same rule in the user's language.
    ar::setLanguage(german);
    answerer.clear();
    SetWindowTextW(edit, L"Apps");
    click(IDOK);
    ASSERT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(answerer.boxes()[0].text.rfind(L"Bitte geben Sie den vollst\u00e4ndigen Pfad", 0), 0u);
    ar::setLanguage(ar::english);

    SetWindowTextW(edit, L"D:\\Apps\\Pelorium 7");
    click(IDOK);
    EXPECT_EQ(visiblePage(), 3);
    EXPECT_EQ(context.installFolder, L"D:\\Apps\\Pelorium 7");
}

TEST_F(Wizard, PathPageShowsTheSpaceAndRefusesAFolderWhoseVolumeIsTooSmall)
{
    const std::wstring volume = ar::test::smallVolume();
    if (volume.empty())
        GTEST_SKIP() << "no small volume S: (mounting needs root)";
    answerer.setAnswer(IDOK);
    context.advancedMode = true;
    // 6 MB of files into the installation folder, one small one elsewhere.
    context.payloadEntries = {
        {L"bin\\Pelorium.exe", L"<InstallPath>", ar::FileKind::MainProgram, 6u << 20, 0},
        {L"data\\Settings.ini", L"<CommonData>\\Ardenvale", ar::FileKind::EditableData, 10, 0}};
    open();
    click(IDOK);
    click(IDOK);
    HWND edit = GetDlgItem(pageWindow(2), IDC_FOLDER);
    SetWindowTextW(edit, (volume + L"Pelorium 7").c_str());
    EXPECT_EQ(pageText(2, IDC_SPACE).rfind(L"Space needed on S:\\: 6.00 MB (free: ", 0), 0u)
        << pageText(2, IDC_SPACE);
    click(IDOK);
    ASSERT_EQ(answerer.boxes().size(), 1u);
    EXPECT_EQ(answerer.boxes()[0].text.rfind(
                  L"There is not enough space on S:\\: the installation needs 6.00 MB, and ", 0),
              0u)
        << answerer.boxes()[0].text;
    EXPECT_EQ(visiblePage(), 2);

    // On a volume with room the page goes on.
    SetWindowTextW(edit, L"C:\\Apps\\Pelorium 7");
    EXPECT_EQ(pageText(2, IDC_SPACE).rfind(L"Space needed on C:\\: 6.00 MB (free: ", 0), 0u)
        << pageText(2, IDC_SPACE);
    click(IDOK);
    EXPECT_EQ(visiblePage(), 3);
    context.payloadEntries.clear();
}

TEST_F(Wizard, ShortcutPageShowsTheFolderRelativeToTheStartMenu)
{
    context.advancedMode = true;
    const std::wstring folder = context.shortcutFolder;
    open();
    for (int i = 0; i < 3; ++i)
        click(IDOK);
    ASSERT_EQ(visiblePage(), 3);
    HWND page = pageWindow(3);
    EXPECT_EQ(pageText(3, IDC_FOLDER), L"Programs\\Ardenvale\\Pelorium 7");
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(page, IDC_FOLDER), GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_BROWSE)));

    // A changed relative text is combined with the Start menu again.
    SetWindowTextW(GetDlgItem(page, IDC_FOLDER), L"Programs\\Ardenvale\\Other");
    click(IDOK);
    EXPECT_EQ(context.shortcutFolder,
              specialFolder(CSIDL_COMMON_STARTMENU) + L"\\Programs\\Ardenvale\\Other");
    click(IDC_BACK);
    SetWindowTextW(GetDlgItem(page, IDC_FOLDER), L"Programs\\Ardenvale\\Pelorium 7");

    choose(3, IDC_MENU_SHORTCUT, BST_UNCHECKED);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_FOLDER)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_BROWSE)));
    click(IDOK);
    EXPECT_EQ(visiblePage(), 4);
    EXPECT_FALSE(context.createMenuShortcut);
    EXPECT_TRUE(context.createDesktopShortcut);
    EXPECT_EQ(context.shortcutFolder, folder);
    EXPECT_EQ(pageText(4, IDC_LOG).find(L"Start Menu"), std::wstring::npos);
}

TEST_F(Wizard, SystemMenuOffersAboutAndKeepsTheSize)
{
    open();
    HMENU menu = GetSystemMenu(frame, FALSE);
    wchar_t entry[128] = {};
    GetMenuStringW(menu, IDM_ABOUTBOX, entry, 128, MF_BYCOMMAND);
    EXPECT_STREQ(entry, L"&About 'Installer'...");
    EXPECT_EQ(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), UINT(-1));
    EXPECT_EQ(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), UINT(-1));

    SendMessageW(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
    EXPECT_FALSE(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED);

    RECT rect{};
    GetWindowRect(frame, &rect);
    MINMAXINFO info{};
    SendMessageW(frame, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMaxSize.x, rect.right - rect.left);
    EXPECT_EQ(info.ptMaxSize.y, rect.bottom - rect.top);
}

struct AboutTexts {
    std::wstring title, name, legal, ok;
};
AboutTexts aboutTexts;

void CALLBACK readAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    HWND box = GetActiveWindow();
    aboutTexts = {textOf(box), textOf(GetDlgItem(box, IDC_ABOUT_NAME)),
                  textOf(GetDlgItem(box, IDC_ABOUT_LEGAL)), textOf(GetDlgItem(box, IDOK))};
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

std::wstring wide(const char* utf8)
{
    wchar_t buffer[256] = {};
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, buffer, 256);
    return buffer;
}

TEST_F(Wizard, AboutBoxShowsTheInstallersVersionInTheCurrentLanguage)
{
    open();
    SetTimer(nullptr, 0, 50, &readAbout);
    SendMessageW(frame, WM_SYSCOMMAND, IDM_ABOUTBOX + 5, 0);
    EXPECT_EQ(aboutTexts.title, L"About 'Installer'");
    EXPECT_EQ(aboutTexts.name, L"Install 2.02");
    EXPECT_EQ(aboutTexts.legal, wide(AR_INSTALLER_COPYRIGHT));
    EXPECT_EQ(aboutTexts.ok, L"&OK");

    ar::setLanguage(german);
    SetTimer(nullptr, 0, 50, &readAbout);
    SendMessageW(frame, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    EXPECT_EQ(aboutTexts.title, L"\u00dcber 'Installationsprogramm'");
    ar::setLanguage(ar::english);
}

TEST_F(Wizard, DuringTheRunTheAboutBoxStaysClosedAndTheCursorWaits)
{
    auto asksWait = [](HWND frame) {
        LRESULT set = SendMessageW(frame, WM_SETCURSOR, reinterpret_cast<WPARAM>(frame),
                                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return set == TRUE && GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
    };
    bool waited = false, aboutGrayed = false;
    aboutTexts = {};
    fakeRun.during = [&](HWND frame) {
        waited = asksWait(frame);
        HMENU menu = GetSystemMenu(frame, FALSE);
        SendMessageW(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
        aboutGrayed = (GetMenuState(menu, IDM_ABOUTBOX, MF_BYCOMMAND) & MF_GRAYED) != 0;
        // A box that opened anyway would be read and closed by the timer.
        UINT_PTR timer = SetTimer(nullptr, 0, 50, &readAbout);
        SendMessageW(frame, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        KillTimer(nullptr, timer);
    };
    open();
    EXPECT_FALSE(asksWait(frame));
    click(IDOK);
    click(IDOK);
    click(IDOK);
    EXPECT_TRUE(waited);
    EXPECT_TRUE(aboutGrayed);
    EXPECT_TRUE(aboutTexts.title.empty());
    EXPECT_FALSE(asksWait(frame));
    // Afterwards the About box opens again.
    SetTimer(nullptr, 0, 50, &readAbout);
    SendMessageW(frame, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    EXPECT_EQ(aboutTexts.title, L"About 'Installer'");
}

TEST_F(Wizard, PagesFillTheAreaAndTheirControlsStayInside)
{
    open();
    RECT client{};
    GetClientRect(frame, &client);
    RECT first{};
    GetWindowRect(pageWindow(0), &first);
    int statusBottom = -1;
    int statusRight = -1;
    for (int i = 0; i < 6; ++i) {
        RECT page{};
        GetWindowRect(pageWindow(i), &page);
        EXPECT_TRUE(EqualRect(&page, &first)) << "page " << i;
        RECT pageClient{};
        GetClientRect(pageWindow(i), &pageClient);
        for (HWND child = GetWindow(pageWindow(i), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT rect{};
            GetWindowRect(child, &rect);
            MapWindowPoints(HWND_DESKTOP, pageWindow(i), reinterpret_cast<POINT*>(&rect), 2);
            if (GetDlgCtrlID(child) == IDC_LANGUAGE)
                rect.bottom = rect.top + 1; // the drop-down height is not on the page
            EXPECT_LE(rect.right, pageClient.right) << "page " << i << " control " << GetDlgCtrlID(child);
            EXPECT_LE(rect.bottom, pageClient.bottom) << "page " << i << " control " << GetDlgCtrlID(child);
        }
        RECT status{};
        GetWindowRect(GetDlgItem(pageWindow(i), IDC_STATUS), &status);
        MapWindowPoints(HWND_DESKTOP, pageWindow(i), reinterpret_cast<POINT*>(&status), 2);
        // Every status line ends at the same margins (dialog-unit rounding aside).
        if (statusBottom < 0) {
            statusBottom = status.bottom;
            statusRight = status.right;
        }
        EXPECT_NEAR(status.bottom, statusBottom, 1) << "page " << i;
        EXPECT_NEAR(status.right, statusRight, 1) << "page " << i;
    }
    for (int id : {IDOK, IDC_BACK, IDCANCEL}) {
        RECT rect{};
        GetWindowRect(GetDlgItem(frame, id), &rect);
        MapWindowPoints(HWND_DESKTOP, frame, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_LE(rect.right, client.right);
        EXPECT_LE(rect.bottom, client.bottom);
    }
}

TEST(WizardRules, AboutEntryHasAnAccessKeyOnlyLeftToRight)
{
    EXPECT_EQ(ar::wizard::aboutMenuText(L"About 'Installer'", false), L"&About 'Installer'...");
    EXPECT_EQ(ar::wizard::aboutMenuText(L"About 'Installer'", true), L"...About 'Installer'");
    EXPECT_EQ(ar::wizard::aboutMenuText(L"", false), L"");
}

TEST(ProgressPageRule, SplitsTheDashesAroundTheText)
{
    EXPECT_EQ(ar::ruleLine(L"", 50, 0, 5), std::wstring(10, L'-'));
    // 100 - 41 = 59 pixels: 11 dashes, 5 before and 6 after.
    EXPECT_EQ(ar::ruleLine(L" Options ", 100, 41, 5), L"----- Options ------");
    EXPECT_EQ(ar::ruleLine(L" Options ", 30, 41, 5), L" Options ");
    EXPECT_EQ(ar::quotedPath(L"C:\\Apps"), L"C:\\Apps");
    EXPECT_EQ(ar::quotedPath(L"C:\\Program Files"), L"\"C:\\Program Files\"");
}

TEST_F(Wizard, RuleLinesFillTheLogWidth)
{
    open();
    click(IDOK);
    click(IDOK);
    CDlgInstall& page = static_cast<CDlgInstall&>(wizard->page(4));
    page.logEdit.setText(L"");
    page.appendLogLine(L"");
    page.appendLogLine(L"Options", true);
    std::wstring log = page.logEdit.text();
    size_t end = log.find(L"\r\n");
    ASSERT_NE(end, std::wstring::npos);
    std::wstring dashes = log.substr(0, end);
    std::wstring titled = log.substr(end + 2, log.find(L"\r\n", end + 2) - end - 2);
    EXPECT_NE(titled.find(L" Options "), std::wstring::npos);

    HWND edit = page.logEdit.hwnd();
    HDC dc = GetDC(edit);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(pageWindow(4), WM_GETFONT, 0, 0)));
    SIZE full{}, dash{}, line{};
    GetTextExtentPoint32W(dc, dashes.c_str(), static_cast<int>(dashes.size()), &full);
    GetTextExtentPoint32W(dc, L"-", 1, &dash);
    GetTextExtentPoint32W(dc, titled.c_str(), static_cast<int>(titled.size()), &line);
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
    RECT client{};
    GetClientRect(edit, &client);
    auto margins = page.logEdit.margins();
    int available = client.right - 2 - margins.first - margins.second;
    EXPECT_LE(full.cx, available);
    EXPECT_GT(full.cx, available - dash.cx);
    EXPECT_LE(line.cx, available);
    EXPECT_GT(line.cx, available - 2 * dash.cx);
}

// The controls of the frame and of its shown page, in the frame's order.
std::vector<HWND> shownControls(HWND frame)
{
    std::vector<HWND> found;
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        if (GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) {
            for (HWND control = GetWindow(child, GW_CHILD); control;
                 control = GetWindow(control, GW_HWNDNEXT))
                if (IsWindowVisible(control))
                    found.push_back(control);
        } else {
            found.push_back(child);
        }
    }
    return found;
}

std::wstring classOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// A control's name, or with `value` its value, as a screen reader asks for it.
std::wstring accessible(HWND window, bool value = false)
{
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))) ||
        !object)
        return L"<no object>";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    HRESULT result = value ? object->get_accValue(self, &text) : object->get_accName(self, &text);
    std::wstring read = SUCCEEDED(result) && text ? std::wstring(text) : std::wstring();
    SysFreeString(text);
    object->Release();
    return read;
}

TEST_F(Wizard, EveryCaptionOfEveryPageHasItsOwnAccessKeyInEveryLanguage)
{
    context.advancedMode = true;
    for (int language : {0, 1, 2, 3, 4, 7, 9, 11}) {
        ar::setLanguage(language);
        context.installSucceeded = false;
        open();
        auto check = [&](int page) {
            std::map<wchar_t, std::wstring> keys;
            for (HWND control : shownControls(frame)) {
                const std::wstring text = textOf(control);
                const LONG style = GetWindowLongW(control, GWL_STYLE);
                const bool button = classOf(control) == L"Button" && (style & 0x0F) != BS_GROUPBOX;
                const bool label = classOf(control) == L"Static" && !(style & SS_NOPREFIX);
                if (!button && !label)
                    continue;
                const wchar_t key = ar::accessKey(text);
                if (button) {
                    EXPECT_NE(key, 0)
                        << "language " << language << " page " << page << ": " << ar::toUtf8(text);
                }
                if (!key)
                    continue;
                auto [other, added] = keys.emplace(key, text);
                EXPECT_TRUE(added) << "language " << language << " page " << page << ": "
                                   << ar::toUtf8(other->second) << " and " << ar::toUtf8(text);
            }
        };
        for (int page = 0; page < 6; ++page) {
            ASSERT_TRUE(wizard->setActivePage(page));
            check(page);
        }
        context.installSucceeded = true; // Next and Exit in place of Install and Cancel
        wizard->refreshTexts();
        for (int page : {4, 5}) {
            ASSERT_TRUE(wizard->setActivePage(page));
            check(page);
        }
        wizard.reset();
    }
    ar::setLanguage(ar::english);
}

TEST_F(Wizard, ScreenReadersHearANameForEveryFocusableControlAndTheChosenLanguage)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    context.advancedMode = true;
    open();
    HWND list = GetDlgItem(pageWindow(0), IDC_LANGUAGE);
    EXPECT_EQ(accessible(list), L"Select Installation Langage");
    EXPECT_EQ(accessible(list, true), L"English");
    // The choice takes effect as it changes: German at once.
    SendMessageW(list, CB_SETCURSEL, 2, 0);
    SendMessageW(pageWindow(0), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(ar::currentLanguage(), german);
    EXPECT_EQ(accessible(list), L"Installationssprache ausw\u00e4hlen");
    EXPECT_EQ(accessible(list, true), L"Deutsch");

    for (int page = 0; page < 6; ++page) {
        ASSERT_TRUE(wizard->setActivePage(page));
        for (HWND control : shownControls(frame)) {
            // The picture is the frame's drawing, no control that a screen reader would name.
            EXPECT_NE(GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK, SS_BITMAP) << "page " << page;
            if (!(GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP))
                continue;
            EXPECT_NE(accessible(control), L"") << "page " << page << " control " << GetDlgCtrlID(control);
        }
    }
    EXPECT_EQ(accessible(GetDlgItem(pageWindow(3), IDC_FOLDER)), L"Startmen\u00fc");
    EXPECT_EQ(accessible(GetDlgItem(pageWindow(4), IDC_LOG)), L"Installationsprotokoll");
    HWND bar = GetDlgItem(pageWindow(4), IDC_PROGRESS);
    SendMessageW(bar, PBM_SETPOS, 40, 0);
    EXPECT_EQ(accessible(bar), L"Installationsfortschritt");
    EXPECT_EQ(accessible(bar, true), L"40%");

    // During the run the focus is on the log, which a screen reader follows.
    HWND focused = nullptr;
    fakeRun.during = [&](HWND) { focused = GetFocus(); };
    ASSERT_TRUE(wizard->setActivePage(4));
    click(IDOK);
    ASSERT_EQ(fakeRun.calls, 1);
    EXPECT_EQ(focused, GetDlgItem(pageWindow(4), IDC_LOG));
    wizard.reset();
    ar::setLanguage(ar::english);
    CoUninitialize();
}

TEST(WizardRules, ArtworkNearestTheDpiKeepsItsShape)
{
    EXPECT_EQ(ar::wizard::nearestArtScale(96), 100);
    EXPECT_EQ(ar::wizard::nearestArtScale(120), 125);
    EXPECT_EQ(ar::wizard::nearestArtScale(144), 150);
    EXPECT_EQ(ar::wizard::nearestArtScale(168), 150);
    EXPECT_EQ(ar::wizard::nearestArtScale(240), 200);
    // At its own size when it nearly fits, centred and cut by a pixel...
    RECT exact = ar::wizard::placePicture({131, 257}, {10, 0, 155, 256});
    EXPECT_EQ(exact.right - exact.left, 131);
    EXPECT_EQ(exact.bottom - exact.top, 257);
    EXPECT_EQ(exact.left, 17);
    // ...never enlarged, and shrunk with its shape kept when it does not fit.
    RECT small = ar::wizard::placePicture({87, 171}, {0, 0, 200, 400});
    EXPECT_EQ(small.right - small.left, 87);
    RECT shrunk = ar::wizard::placePicture({174, 342}, {0, 0, 87, 300});
    EXPECT_EQ(shrunk.right - shrunk.left, 87);
    EXPECT_EQ(shrunk.bottom - shrunk.top, 171);
}

} // namespace
