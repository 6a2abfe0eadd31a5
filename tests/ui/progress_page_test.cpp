// A fresh installation of the embedded demo payload driven through the wizard's
// real progress page: the frame's Install button runs the engine, and the page's
// own controls show what happened.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "product/language.h"
#include "product/product_record.h"
#include "resources/resource.h"
#include "tests/support/machine_state.h"
#include "tests/support/test_support.h"
#include "engine/startup.h"
#include "framework/app.h"
#include "ui/install_dlg.h"

namespace {

using ar::test::textOf;

// What screen readers were told of the status line: its words when each change was announced.
std::vector<std::wstring> announcedStatus;

void CALLBACK onNameChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    if (object == OBJID_CLIENT && child == CHILDID_SELF && GetDlgCtrlID(window) == IDC_STATUS)
        announcedStatus.push_back(textOf(window));
}

class ProgressPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ar::test::removeProductTraces();
        ar::setLanguage(ar::english);
        app.setName(ar::applicationTitle());
        ASSERT_TRUE(context.instanceLock.acquire());
        context.installFolder = root / L"Program Files\\Pelorium 7";
        context.shortcutFolder = root / L"Menu\\Ardenvale\\Pelorium 7";
        context.createMenuShortcut = true;
        context.createDesktopShortcut = false;
    }
    void TearDown() override
    {
        wizard.reset();
        ar::test::removeProductTraces();
    }
    void click(int id)
    {
        SendMessageW(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(frame, id)));
    }
    HWND progressPage() const { return wizard->page(4).hwnd(); }

    ar::test::TempDir root{L"page"};
    fw::App app;
    ar::InstallContext context;
    ar::EngineRun engine;
    ar::test::BoxAnswerer answerer{IDNO};
    std::unique_ptr<CInstallDlg> wizard;
    HWND frame = nullptr;
};

TEST_F(ProgressPage, InstallButtonRunsTheInstallationAndShowsItsLog)
{
    wizard = std::make_unique<CInstallDlg>(context, engine);
    ASSERT_TRUE(wizard->create(nullptr));
    frame = wizard->hwnd();
    ShowWindow(frame, SW_SHOW);
    click(IDOK); // Mode page
    click(IDOK); // quick mode: the progress page
    ASSERT_TRUE(IsWindowVisible(progressPage()));
    EXPECT_EQ(textOf(GetDlgItem(frame, IDOK)), L"&Install");
    std::wstring summary = textOf(GetDlgItem(progressPage(), IDC_LOG));
    EXPECT_NE(summary.find(L"'Pelorium 7.06' Installation.\r\n"), std::wstring::npos);
    EXPECT_NE(summary.find(L"Installation Folder: \"" + context.installFolder + L"\".\r\n"),
              std::wstring::npos);

    announcedStatus.clear();
    HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, &onNameChange,
                        GetCurrentProcessId(), GetCurrentThreadId(), WINEVENT_OUTOFCONTEXT);
    ASSERT_TRUE(hook);
    click(IDOK); // Install: the run happens inside the click
    ar::test::pumpFor(200);
    UnhookWinEvent(hook);
    EXPECT_TRUE(context.installSucceeded);
    // Each status line was announced, the last one too.
    ASSERT_GE(announcedStatus.size(), 4u);
    EXPECT_EQ(announcedStatus.back(), L"Click on 'Next' to continue.");
    std::wstring log = textOf(GetDlgItem(progressPage(), IDC_LOG));
    EXPECT_NE(log.find(L"Preparing Installation...OK\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"Copying File  \"" + context.installFolder + L"\\Pelorium.exe\"...OK\r\n"),
              std::wstring::npos);
    EXPECT_NE(log.find(L"Shortcuts Creation...OK\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"Registry Data Writing...OK\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"Installation Data Writing...OK\r\n"), std::wstring::npos);
    EXPECT_EQ(textOf(GetDlgItem(progressPage(), IDC_STATUS)), L"Click on 'Next' to continue.");
    EXPECT_EQ(SendMessageW(GetDlgItem(progressPage(), IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);

    // The frame offers the end page and no way back.
    EXPECT_EQ(textOf(GetDlgItem(frame, IDOK)), L"&Next  >");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(frame, IDC_BACK)));
    EXPECT_EQ(textOf(GetDlgItem(frame, IDCANCEL)), L"&Exit");

    const std::wstring program = context.installFolder + L"\\Pelorium.exe";
    EXPECT_EQ(ar::readProductRecord().mainProgram, program);
    EXPECT_EQ(ar::test::readShortcut(context.shortcutFolder + L"\\Pelorium 7.06.lnk").target, program);
    EXPECT_TRUE(ar::test::exists(context.installFolder + L"\\Uninstall.ulog"));
    EXPECT_TRUE(ar::test::runTemporaryFolders().empty());
    EXPECT_TRUE(answerer.boxes().empty());
}

} // namespace
