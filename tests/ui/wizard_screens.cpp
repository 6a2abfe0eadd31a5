// Shows every page of the wizard in English, German and Turkish, quick and
// advanced, the open language list, the Start page of a reinstallation, and the
// About box, for scripts/screenshots: before each
// picture it writes
// "<name> <x> <y> <width> <height>" into <folder>\ready.txt and waits until the
// script has taken the picture and removed the file.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "engine/startup.h"
#include "framework/app.h"
#include "framework/common_controls.h"
#include "product/language.h"
#include "tests/support/test_support.h"
#include "ui/install_dlg.h"

namespace {

std::wstring folder;
std::string aboutName;

// What the installer's application object holds for the wizard: its name and the context.
struct Installer {
    fw::App app;
    ar::InstallContext context;
};

bool snapshot(HWND window, const std::string& name)
{
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ar::test::pumpFor(300);
    RECT rect{};
    GetWindowRect(window, &rect);
    std::wstring ready = folder + L"\\ready.txt";
    FILE* file = _wfopen(ready.c_str(), L"w");
    if (!file)
        return false;
    fprintf(file, "%s %ld %ld %ld %ld\n", name.c_str(), rect.left, rect.top, rect.right - rect.left,
            rect.bottom - rect.top);
    fclose(file);
    for (int i = 0; i < 600 && GetFileAttributesW(ready.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    return GetFileAttributesW(ready.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void click(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void CALLBACK captureAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    HWND box = GetActiveWindow();
    if (!box)
        return;
    snapshot(box, aboutName);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

void run(Installer& installer, int language, const char* languageName, bool advanced,
         ar::InstallState state = ar::InstallState::None)
{
    ar::setLanguage(language);
    installer.app.setName(ar::applicationTitle());
    ar::InstallContext& context = installer.context;
    context.installState = state;
    context.installedVersionText = L"7.06";
    context.installSucceeded = false;
    context.advancedMode = false;
    context.createMenuShortcut = true;
    context.createDesktopShortcut = true;
    context.installFolder = L"C:\\Program Files\\Ardenvale\\Pelorium 7";
    // What the Path page's space line counts: about the demo payload's program folder.
    context.payloadEntries = {{L"Pelorium.exe", L"<InstallPath>", ar::FileKind::MainProgram, 2500u << 10, 0}};
    wchar_t programs[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    context.shortcutFolder = std::wstring(programs) + L"\\Ardenvale\\Pelorium 7";

    ar::EngineRun engine;
    CInstallDlg wizard(context, engine);
    wizard.create(nullptr);
    HWND frame = wizard.hwnd();
    ShowWindow(frame, SW_SHOW);
    std::string prefix = std::string(languageName) + (advanced ? "-advanced-" : "-quick-");
    if (state == ar::InstallState::Same) {
        // Only the reinstallation's Start page, with its longer texts.
        snapshot(frame, std::string(languageName) + "-reinstall-0-start");
        DestroyWindow(frame);
        return;
    }
    snapshot(frame, prefix + "0-start");
    if (!advanced) {
        // The open language list: flags and names drawn by the page.
        HWND list = GetDlgItem(wizard.page(0).hwnd(), IDC_LANGUAGE);
        SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
        snapshot(frame, prefix + "0-start-languages");
        SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    }
    click(frame, IDOK);
    if (advanced) {
        click(wizard.page(1).hwnd(), IDC_MODE_ADVANCED);
        SendMessageW(GetDlgItem(wizard.page(1).hwnd(), IDC_MODE_ADVANCED), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageW(GetDlgItem(wizard.page(1).hwnd(), IDC_MODE_QUICK), BM_SETCHECK, BST_UNCHECKED, 0);
    }
    snapshot(frame, prefix + "1-mode");
    click(frame, IDOK);
    if (advanced) {
        snapshot(frame, prefix + "2-path");
        click(frame, IDOK);
        snapshot(frame, prefix + "3-shortcut");
        click(frame, IDOK);
    }
    snapshot(frame, prefix + "4-progress");
    if (!advanced) {
        click(frame, IDOK); // the run (fails in a build without the engine)
        snapshot(frame, prefix + "4-progress-after-run");
        context.installSucceeded = true;
        wizard.setActivePage(4);
        snapshot(frame, prefix + "4-progress-succeeded");
        click(frame, IDOK);
        snapshot(frame, prefix + "5-end");
        aboutName = std::string(languageName) + "-about";
        SetTimer(nullptr, 0, 200, &captureAbout);
        SendMessageW(frame, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    }
    context.installSucceeded = true; // leave without the confirmation
    click(frame, IDCANCEL);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: wizard_screens <folder>\n");
        return 2;
    }
    folder = argv[1];
    Installer installer;
    fw::commonControls();
    run(installer, ar::english, "english", false);
    run(installer, ar::english, "english", true);
    run(installer, 2, "german", false);
    run(installer, 2, "german", true);
    run(installer, 2, "german", false, ar::InstallState::Same);
    run(installer, 7, "turkish", false);
    run(installer, 7, "turkish", true);
    run(installer, 7, "turkish", false, ar::InstallState::Same);
    FILE* done = _wfopen((folder + L"\\done.txt").c_str(), L"w");
    if (done)
        fclose(done);
    return 0;
}
