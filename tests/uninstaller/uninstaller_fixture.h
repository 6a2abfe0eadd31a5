// What the uninstaller's end-to-end tests share: installations made by hand (files,
// log, registration, the demo program's association) or by the installation run
// from the demo payloads, the real Uninstall.exe run as its own process, and
// snapshots of the machine.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/earlier_log.h"
#include "log/run_recorder.h"
#include "tests/support/machine_state.h"
#include "tests/support/test_support.h"

namespace ar::test {

// Processes of the uninstaller and of its copies.
std::vector<DWORD> uninstallerProcesses();
// Waits until none is left, and no copy either; false after `milliseconds`.
bool waitForUninstallers(DWORD milliseconds = 60000);
// Copies of the uninstaller, or their folders, left in the protected set-up folder
// or in the temporary folder.
std::vector<std::wstring> uninstallerCopies();

// A host symbolic link made through Wine's Unix side (Wine follows host links as
// Windows follows links and junctions), removed with the object: the link itself
// goes, never what it leads to.
class HostLink {
public:
    HostLink(const std::wstring& link, const std::wstring& target);
    ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    // Whether `link` now leads to the target.
    bool made() const { return made_; }

private:
    std::wstring link_;
    bool made_ = false;
};

// The visible dialog box of process `process` whose caption is `caption`, waiting
// up to `milliseconds` for it; nullptr when none shows.
HWND waitForDialog(DWORD process, const std::wstring& caption, DWORD milliseconds = 20000);

// A started program that is waited for and closed with the test.
class Process {
public:
    Process(const std::wstring& program, const std::wstring& arguments);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return info_.hProcess != nullptr; }
    DWORD id() const { return info_.dwProcessId; }
    // Its exit code, or -1000 when it has not ended after `milliseconds`.
    long wait(DWORD milliseconds = 120000);

private:
    PROCESS_INFORMATION info_{};
};

class UninstallerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A hand-made installation of the product in `install` with shortcuts in `menu`,
    // its log, registration (ArLanguage `language`), product record and association.
    void makeInstallation(int language = 1);
    // The records that makeInstallation writes, in log order.
    const std::vector<UninstallLogRecord>& records() const { return records_; }
    // The log text (without byte-order mark) that makeInstallation writes.
    std::wstring logText() const;
    // Replaces the installation's log by `text`, written as the installer does: its
    // digest and the Start-menu folder `menu` go into the product's record.
    void writeLog(const std::wstring& text) const;
    void writeLogBytes(const std::string& bytes) const;
    // Changes the installation's log behind the installer's back: the recorded digest
    // stays as it was.
    void tamperLog(const std::wstring& text) const;
    void tamperLogBytes(const std::string& bytes) const;
    static std::string utf16(const std::wstring& text);

    // An installation by the installation run from the demo payload `payload`
    // ("payload_76.dll"); `update` installs over the earlier one.
    void installFromPayload(const std::wstring& payload, bool update = false);

    // Runs the installed Uninstall.exe with `arguments` and waits for it.
    long uninstall(const std::wstring& arguments);
    // The text of the log file given with /LOG= (`logFile`), converted from UTF-8.
    std::wstring uninstallLog() const;

    MachineState machine() const;

    TempDir root{L"uninstall"};
    TempDir logs{L"uninstalllog"};
    std::wstring install = root / L"Apps\\Pelorium 7";
    std::wstring menu = root / L"Menu\\Pelorium 7";
    std::wstring uninstaller = install + L"\\Uninstall.exe";
    std::wstring program = install + L"\\Pelorium.exe";
    std::wstring logFile = logs / L"uninstall.log";

private:
    std::vector<UninstallLogRecord> records_;
    std::vector<HMODULE> payloads_;
};

// The differences of `after` from `before` that are not below one of `kept`.
std::vector<std::string> differencesExcept(const MachineState::Snapshot& before,
                                           const MachineState::Snapshot& after,
                                           const std::vector<std::wstring>& kept);

} // namespace ar::test
