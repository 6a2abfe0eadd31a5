// The installer started by a person at the screen: its message boxes and its
// wizard, driven from outside through their windows as a user would click them.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "product/product.h"
#include "product/product_record.h"
#include "product/system_checks.h"
#include "resources/resource.h"
#include "tests/system/installer_fixture.h"

namespace {

using namespace ar::test;

constexpr DWORD installTimeout = 120000;

// The folder where the walk-through keeps its pictures: <build>\screenshots\walkthrough.
std::wstring pictureFolder()
{
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(binaryPath(L"..\\screenshots\\walkthrough").c_str(), MAX_PATH, full, nullptr);
    SHCreateDirectoryExW(nullptr, full, nullptr);
    return full;
}

bool hasEnded(const Started& started, DWORD milliseconds = 20000)
{
    return WaitForSingleObject(started.process.get(), milliseconds) == WAIT_OBJECT_0;
}

DWORD exitCodeOf(const Started& started)
{
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(started.process.get(), &code);
    return code;
}

TEST_F(InstallerProgramTest, RetryAfterTheProductClosedGoesOnWithoutRestarting)
{
    Started product = startProcess(binaryPath(L"demo\\Pelorium.exe"));
    ASSERT_TRUE(product.process);
    // The product's main window shows after it has counted itself as running.
    HWND productWindow = waitForWindow(product.id, [](HWND) { return true; });
    ASSERT_TRUE(productWindow);

    // With /LOG= start-up's boxes are logged as the wizard's are.
    Started setup = startProcess(installer, L"/LOG=\"" + (logs / L"retry.log") + L"\"");
    ASSERT_TRUE(setup.process);
    HWND box = waitForDialog(setup.id, IDRETRY);
    ASSERT_TRUE(box) << "no request to close the product";
    EXPECT_NE(boxText(box).find(L"You should close 'Pelorium' before continuing Installation."),
              std::wstring::npos)
        << narrow(boxText(box));

    // Retry while the product still runs: the same request comes back.
    press(visibleControl(box, IDRETRY));
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }));
    box = waitForDialog(setup.id, IDRETRY);
    ASSERT_TRUE(box) << "the request did not come back while the product runs";

    // The user closes the product, then retries: the same installer opens its wizard.
    PostMessageW(productWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(hasEnded(product));
    press(visibleControl(box, IDRETRY));
    HWND frame = waitForDialog(setup.id, IDC_BACK);
    ASSERT_TRUE(frame) << "no wizard after Retry";
    EXPECT_TRUE(visibleControl(frame, IDC_LANGUAGE)) << "the wizard does not open on its Start page";
    EXPECT_FALSE(hasEnded(setup, 0));

    // Leaving it asks for confirmation; the answer Yes ends it as cancelled, untouched.
    press(GetDlgItem(frame, IDCANCEL));
    HWND confirmation = waitForDialog(setup.id, IDYES);
    ASSERT_TRUE(confirmation);
    press(visibleControl(confirmation, IDYES));
    ASSERT_TRUE(hasEnded(setup));
    EXPECT_EQ(exitCodeOf(setup), 1u);
    EXPECT_FALSE(exists(installFolder()));
    const std::string log = readFile(logs / L"retry.log");
    EXPECT_NE(log.find("You should close 'Pelorium' before continuing Installation."), std::string::npos) << log;
}

TEST_F(InstallerProgramTest, SecondInstallerShowsTheBusyErrorAndEnds)
{
    Started first = startProcess(installer);
    ASSERT_TRUE(first.process);
    ASSERT_TRUE(waitForDialog(first.id, IDC_BACK));

    Started second = startProcess(installer);
    ASSERT_TRUE(second.process);
    HWND box = waitForDialog(second.id, IDOK);
    ASSERT_TRUE(box);
    wchar_t busy[256] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_BUSY, 0, busy,
                   256, nullptr);
    std::wstring expected = busy;
    expected.erase(expected.find_last_not_of(L"\r\n") + 1);
    EXPECT_NE(boxText(box).find(expected), std::wstring::npos) << narrow(boxText(box));
    press(visibleControl(box, IDOK));
    ASSERT_TRUE(hasEnded(second));
    EXPECT_EQ(exitCodeOf(second), 1618u);
    // The first one still shows its wizard.
    EXPECT_FALSE(hasEnded(first, 0));
}

TEST_F(InstallerProgramTest, WizardClickedThroughInAdvancedModeIntoAFolderWithBlanks)
{
    TempDir target(L"walk");
    const std::wstring folder = target / L"My Apps\\Pelorium 7";
    const std::wstring pictures = pictureFolder();
    int shots = 0;

    Started setup = startProcess(installer);
    ASSERT_TRUE(setup.process);
    HWND frame = waitForDialog(setup.id, IDC_BACK);
    ASSERT_TRUE(frame);
    auto page = [&](int control) {
        return waitUntil([&] { return visibleControl(frame, control) != nullptr; });
    };
    auto shoot = [&](const wchar_t* name) {
        shots += saveScreenshot(frame, pictures + L"\\" + name + L".bmp");
    };
    auto next = [&] { press(GetDlgItem(frame, IDOK)); };

    ASSERT_TRUE(page(IDC_LANGUAGE));
    shoot(L"1-start");
    next();

    ASSERT_TRUE(page(IDC_MODE_ADVANCED));
    HWND advanced = visibleControl(frame, IDC_MODE_ADVANCED);
    press(advanced);
    ASSERT_TRUE(waitUntil([&] { return SendMessageW(advanced, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    shoot(L"2-mode-advanced");
    next();

    ASSERT_TRUE(page(IDC_FOLDER)) << "advanced mode does not show the folder";
    type(visibleControl(frame, IDC_FOLDER), folder);
    shoot(L"3-path");
    next();

    ASSERT_TRUE(page(IDC_DESKTOP_SHORTCUT));
    shoot(L"4-shortcuts");
    next();

    ASSERT_TRUE(page(IDC_LOG));
    EXPECT_EQ(textOf(GetDlgItem(frame, IDOK)), L"&Install");
    HWND log = visibleControl(frame, IDC_LOG);
    EXPECT_NE(textOf(log).find(L"Installation Folder: \"" + folder + L"\"."), std::wstring::npos)
        << narrow(textOf(log));
    shoot(L"5-ready");
    next();

    // The run ends with the Exit button offered and the way on to the end page.
    ASSERT_TRUE(waitUntil([&] { return textOf(GetDlgItem(frame, IDCANCEL)) == L"&Exit"; }, installTimeout))
        << narrow(textOf(log));
    EXPECT_NE(textOf(log).find(L"Installation Data Writing...OK"), std::wstring::npos) << narrow(textOf(log));
    EXPECT_EQ(SendMessageW(visibleControl(frame, IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
    shoot(L"6-installed");
    next();

    ASSERT_TRUE(page(IDC_INFO));
    EXPECT_EQ(textOf(visibleControl(frame, IDC_INFO)), L"Installation is complete.");
    shoot(L"7-end");
    press(GetDlgItem(frame, IDCANCEL));
    ASSERT_TRUE(hasEnded(setup));
    EXPECT_EQ(exitCodeOf(setup), 0u);
    EXPECT_EQ(shots, 7) << "pictures in " << narrow(pictures);

    // Everything went where the user chose.
    const std::wstring program = folder + L"\\Pelorium.exe";
    EXPECT_TRUE(exists(folder + L"\\Uninstall.ulog"));
    EXPECT_EQ(ar::readProductRecord().mainProgram, program);
    ShortcutContents link = readShortcut(menuFolder() + L"\\Pelorium 7.06.lnk");
    EXPECT_EQ(link.target, program);
    EXPECT_EQ(link.workingFolder, folder);
    EXPECT_EQ(readShortcut(publicDesktopLink()).target, program);
    wchar_t location[MAX_PATH] = {};
    DWORD bytes = sizeof(location);
    SHGetValueW(HKEY_LOCAL_MACHINE, ar::product::uninstallKeyPath().c_str(), L"InstallLocation", nullptr,
                location, &bytes);
    EXPECT_EQ(std::wstring(location), folder);
    removeTree(folder);
}

// The wizard's keyboard: the controls of one page in their Tab order, Back, Next
// and Exit among them where enabled.
class WizardKeyboard {
public:
    explicit WizardKeyboard(HWND frame) : frame_(frame) {}

    int focusedId() const { return GetDlgCtrlID(focusOf(frame_)); }
    bool waitForFocus(int id) const
    {
        return waitUntil([&] { return focusedId() == id; }, 5000);
    }
    bool pageShows(int id) const
    {
        return waitUntil([&] { return visibleControl(frame_, id) != nullptr; });
    }

    // Goes once round the page with Tab, then back with Shift+Tab, from the control
    // with the focus; every control of `order` that is enabled gets the focus in turn.
    void visitEveryControl(std::vector<int> order) const
    {
        order.erase(
            std::remove_if(order.begin(), order.end(), [&](int id) { return !IsWindowEnabled(control(id)); }),
            order.end());
        const int count = static_cast<int>(order.size());
        // A page just shown gets its focus a moment after its controls appear.
        waitUntil([&] { return std::find(order.begin(), order.end(), focusedId()) != order.end(); }, 5000);
        auto at = std::find(order.begin(), order.end(), focusedId());
        ASSERT_NE(at, order.end()) << "the focus is on control " << focusedId();
        int start = static_cast<int>(at - order.begin());
        for (int step = 1; step <= count; ++step) {
            pressKey(VK_TAB);
            int expected = order[static_cast<size_t>((start + step) % count)];
            ASSERT_TRUE(waitForFocus(expected))
                << "Tab " << step << " reached " << focusedId() << ", not " << expected;
        }
        for (int step = 1; step <= count; ++step) {
            pressKey(VK_TAB, VK_SHIFT);
            int expected = order[static_cast<size_t>((start - step + 2 * count) % count)];
            ASSERT_TRUE(waitForFocus(expected))
                << "Shift+Tab " << step << " reached " << focusedId() << ", not " << expected;
        }
    }
    // Tabs forward to control `id`.
    void tabTo(int id) const
    {
        for (int step = 0; step < 12 && focusedId() != id; ++step) {
            int before = focusedId();
            pressKey(VK_TAB);
            waitUntil([&] { return focusedId() != before; }, 5000);
        }
        ASSERT_EQ(focusedId(), id);
    }
    HWND control(int id) const
    {
        HWND found = visibleControl(frame_, id);
        return found ? found : GetDlgItem(frame_, id);
    }

private:
    HWND frame_;
};

TEST_F(InstallerProgramTest, WizardInstalledWithTheKeyboardAloneAfterVisitingEveryControl)
{
    Started setup = startProcess(installer);
    ASSERT_TRUE(setup.process);
    HWND frame = waitForDialog(setup.id, IDC_BACK);
    ASSERT_TRUE(frame);
    ASSERT_TRUE(bringToFront(frame));
    const WizardKeyboard keys(frame);
    const std::vector<int> buttons{IDC_BACK, IDOK, IDCANCEL};
    auto withButtons = [&](std::vector<int> page) {
        page.insert(page.end(), buttons.begin(), buttons.end());
        return page;
    };

    ASSERT_TRUE(keys.pageShows(IDC_LANGUAGE));
    ASSERT_TRUE(keys.waitForFocus(IDOK));
    keys.visitEveryControl(withButtons({IDC_LANGUAGE}));
    pressKey(VK_RETURN);

    // The advanced mode, chosen with the arrow key in the radio group.
    ASSERT_TRUE(keys.pageShows(IDC_MODE_ADVANCED));
    keys.visitEveryControl(withButtons({IDC_MODE_QUICK}));
    keys.tabTo(IDC_MODE_QUICK);
    pressKey(VK_DOWN);
    ASSERT_TRUE(waitUntil(
        [&] { return SendMessageW(keys.control(IDC_MODE_ADVANCED), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    pressKey(VK_RETURN);

    ASSERT_TRUE(keys.pageShows(IDC_FOLDER_PROMPT));
    keys.visitEveryControl(withButtons({IDC_FOLDER, IDC_BROWSE}));
    pressKey(VK_RETURN);

    // No desktop shortcut: Space clears its check box.
    ASSERT_TRUE(keys.pageShows(IDC_DESKTOP_SHORTCUT));
    keys.visitEveryControl(withButtons({IDC_MENU_SHORTCUT, IDC_FOLDER, IDC_BROWSE, IDC_DESKTOP_SHORTCUT}));
    keys.tabTo(IDC_DESKTOP_SHORTCUT);
    pressKey(VK_SPACE);
    ASSERT_TRUE(waitUntil([&] {
        return SendMessageW(keys.control(IDC_DESKTOP_SHORTCUT), BM_GETCHECK, 0, 0) == BST_UNCHECKED;
    }));
    pressKey(VK_RETURN);

    // The options box is reached and left with Tab and Shift+Tab; Enter in it installs.
    ASSERT_TRUE(keys.pageShows(IDC_LOG));
    keys.visitEveryControl(withButtons({IDC_LOG}));
    keys.tabTo(IDC_LOG);
    pressKey(VK_RETURN);
    ASSERT_TRUE(waitUntil(
        [&] {
            return IsWindowEnabled(GetDlgItem(frame, IDCANCEL)) &&
                   textOf(GetDlgItem(frame, IDCANCEL)) == L"&Exit";
        },
        installTimeout));
    keys.visitEveryControl(withButtons({IDC_LOG}));
    pressKey(VK_RETURN);

    // The end page: Enter presses Exit, the default button.
    ASSERT_TRUE(keys.pageShows(IDC_INFO));
    keys.visitEveryControl(buttons);
    pressKey(VK_RETURN);
    ASSERT_TRUE(hasEnded(setup));
    EXPECT_EQ(exitCodeOf(setup), 0u);
    EXPECT_TRUE(exists(installFolder() + L"\\Pelorium.exe"));
    EXPECT_TRUE(exists(menuFolder() + L"\\Pelorium 7.06.lnk"));
    EXPECT_FALSE(exists(publicDesktopLink()));
}

TEST_F(InstallerProgramTest, WizardAnswersAnAccessKeyOnEveryPage)
{
    Started setup = startProcess(installer);
    ASSERT_TRUE(setup.process);
    HWND frame = waitForDialog(setup.id, IDC_BACK);
    ASSERT_TRUE(frame);
    ASSERT_TRUE(bringToFront(frame));
    const WizardKeyboard keys(frame);
    auto alt = [](wchar_t letter) { pressKey(static_cast<WORD>(letter), VK_MENU); };

    ASSERT_TRUE(keys.pageShows(IDC_LANGUAGE));
    alt(L'L'); // the label's key: its list
    EXPECT_TRUE(keys.waitForFocus(IDC_LANGUAGE));
    alt(L'N');
    ASSERT_TRUE(keys.pageShows(IDC_MODE_ADVANCED));
    alt(L'A');
    EXPECT_TRUE(waitUntil(
        [&] { return SendMessageW(keys.control(IDC_MODE_ADVANCED), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    alt(L'N');
    ASSERT_TRUE(keys.pageShows(IDC_FOLDER_PROMPT));
    alt(L'F');
    EXPECT_TRUE(keys.waitForFocus(IDC_FOLDER));
    alt(L'N');
    ASSERT_TRUE(keys.pageShows(IDC_DESKTOP_SHORTCUT));
    alt(L'D');
    EXPECT_TRUE(waitUntil([&] {
        return SendMessageW(keys.control(IDC_DESKTOP_SHORTCUT), BM_GETCHECK, 0, 0) == BST_UNCHECKED;
    }));
    alt(L'N');
    ASSERT_TRUE(keys.pageShows(IDC_LOG));
    alt(L'B');
    ASSERT_TRUE(keys.pageShows(IDC_DESKTOP_SHORTCUT));
    alt(L'C');
    HWND confirmation = waitForDialog(setup.id, IDYES);
    ASSERT_TRUE(confirmation);
    press(visibleControl(confirmation, IDYES));
    ASSERT_TRUE(hasEnded(setup));
    EXPECT_EQ(exitCodeOf(setup), 1u);
    EXPECT_FALSE(exists(installFolder()));
}

// A run that fails in the wizard is rolled back and ends with the failure's exit code.
TEST_F(InstallerProgramTest, WizardRunThatFailsEndsWithExitCode3AndLogsWhatItShowed)
{
    std::wstring copy = logs / L"InstallDamaged.exe";
    ASSERT_TRUE(ar::test::copyWithDamagedPayload(installer, copy, 0.33));
    Started setup = startProcess(copy, L"/LOG=\"" + (logs / L"wizard.log") + L"\"");
    ASSERT_TRUE(setup.process);
    HWND frame = waitForDialog(setup.id, IDC_BACK);
    ASSERT_TRUE(frame);
    auto page = [&](int control) {
        return waitUntil([&] { return visibleControl(frame, control) != nullptr; });
    };
    ASSERT_TRUE(page(IDC_LANGUAGE));
    press(GetDlgItem(frame, IDOK));
    ASSERT_TRUE(page(IDC_MODE_ADVANCED));
    press(GetDlgItem(frame, IDOK));
    ASSERT_TRUE(page(IDC_LOG));
    press(GetDlgItem(frame, IDOK));
    HWND pageLog = visibleControl(frame, IDC_LOG);
    // After the failed run only the way out is offered, with the question whether to leave.
    ASSERT_TRUE(waitUntil(
        [&] {
            return textOf(pageLog).find(L"Failed") != std::wstring::npos &&
                   IsWindowEnabled(GetDlgItem(frame, IDCANCEL)) != FALSE;
        },
        installTimeout))
        << narrow(textOf(pageLog));
    press(GetDlgItem(frame, IDCANCEL));
    if (HWND confirmation = waitForDialog(setup.id, IDYES, 5000))
        press(visibleControl(confirmation, IDYES));
    ASSERT_TRUE(hasEnded(setup));
    EXPECT_EQ(exitCodeOf(setup), 3u);
    EXPECT_FALSE(exists(installFolder()));
    // The log has the page's summary and verdicts, the question asked and the code.
    const std::string written = log(L"wizard.log");
    for (const char* expected : {"Installation Options", "Installation failed (Error Code", "Failed",
                                 "Do you still confirm exit Installation ?", "Exit code 3"})
        EXPECT_NE(written.find(expected), std::string::npos) << expected << "\n" << written;
}

// Progress only (/PASSIVE): the frame with the progress page alone, nothing asked,
// closed by itself; it leaves the machine as a silent installation does.
TEST_F(InstallerProgramTest, ProgressOnlyShowsTheRunAloneAndLeavesWhatASilentRunLeaves)
{
    // Without the logs folder: the two runs' logs differ.
    MachineState installed({specialFolder(CSIDL_PROGRAM_FILES) + L"\\Ardenvale",
                            specialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ardenvale", commonDataFolder(),
                            userDataFolder(), publicDesktopLink()},
                           productKeys());
    ASSERT_EQ(runWatched(installer, L"/S /LOG=\"" + (logs / L"silent.log") + L"\"").exitCode, 0u)
        << log(L"silent.log");
    const MachineState::Snapshot silent = installed.take();
    const std::vector<std::wstring> links{menuFolder() + L"\\Pelorium 7.06.lnk", publicDesktopLink()};
    std::vector<ShortcutContents> silentLinks;
    for (const std::wstring& link : links)
        silentLinks.push_back(readShortcut(link));
    clean();

    Started setup = startProcess(installer, L"/PASSIVE /LOG=\"" + (logs / L"passive.log") + L"\"");
    ASSERT_TRUE(setup.process);
    HWND frame =
        waitForWindow(setup.id, [](HWND window) { return visibleControl(window, IDC_LOG) != nullptr; });
    ASSERT_TRUE(frame) << "no progress page";
    for (int id : {IDC_BACK, IDOK, IDCANCEL})
        EXPECT_FALSE(visibleControl(frame, id)) << id;
    // A picture while it runs, for whoever reviews the frame.
    saveScreenshot(frame, pictureFolder() + L"\\passive.bmp");
    ASSERT_TRUE(hasEnded(setup, installTimeout)) << "the frame did not close by itself";
    EXPECT_EQ(exitCodeOf(setup), 0u) << log(L"passive.log");
    // A shortcut keeps the times of the folders on its target's path: the shortcuts
    // are compared by what they lead to.
    std::vector<std::string> differences = MachineState::differences(silent, installed.take());
    differences.erase(std::remove_if(differences.begin(), differences.end(),
                                     [](const std::string& line) {
                                         return line.rfind("~ ", 0) == 0 &&
                                                line.find(".lnk (file") != std::string::npos;
                                     }),
                      differences.end());
    EXPECT_TRUE(differences.empty()) << differences.front();
    for (std::size_t i = 0; i < links.size(); ++i) {
        const ShortcutContents link = readShortcut(links[i]);
        EXPECT_EQ(link.target, silentLinks[i].target) << narrow(links[i]);
        EXPECT_EQ(link.workingFolder, silentLinks[i].workingFolder) << narrow(links[i]);
    }
    const std::string written = log(L"passive.log");
    for (const char* expected : {"Installation Options", "Installation Data Writing...OK", "Exit code 0"})
        EXPECT_NE(written.find(expected), std::string::npos) << expected << "\n" << written;

    // A question is answered as /S answers it, in the log: the running product is a
    // refusal, with no box and no frame.
    ASSERT_TRUE(ar::registerRunningInstance());
    Outcome running = runWatched(installer, L"/PASSIVE /LOG=\"" + (logs / L"running.log") + L"\"");
    EXPECT_EQ(running.exitCode, 6u);
    EXPECT_FALSE(running.windowShown);
    EXPECT_NE(log(L"running.log").find("You should close 'Pelorium' before continuing Installation."),
              std::string::npos)
        << log(L"running.log");
}

} // namespace
