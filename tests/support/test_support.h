// Helpers shared by the test programs: private temporary folders and a message-box
// answerer that never lets a test block on a window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace ar::test {

// A fresh folder under the user's temporary folder, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::wstring& hint = L"t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Removes a file or a folder tree, clearing read-only attributes first.
void removeTree(const std::wstring& path);

// Writes / reads a whole file as bytes.
void writeFile(const std::wstring& path, const std::string& bytes);
std::string readFile(const std::wstring& path);
bool exists(const std::wstring& path);

std::string narrow(const std::wstring& text);

// What a message box showed.
struct ShownBox {
    std::wstring text;
    std::wstring caption;
    HICON icon = nullptr; // the icon shown, compare with LoadIconW(nullptr, IDI_...)
    bool rtlReading = false;
};

// While alive, answers every dialog box (class #32770) that this thread shows
// with `answer` and records what it showed. `accept` may look at the box and
// return false to leave it alone (for example the wizard itself).
class BoxAnswerer {
public:
    explicit BoxAnswerer(int answer = IDOK);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    void setAnswer(int answer) { answer_ = answer; }
    const std::vector<ShownBox>& boxes() const { return boxes_; }
    void clear()
    {
        boxes_.clear();
        answered_.clear();
    }

private:
    static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam);
    void onActivate(HWND window);

    HHOOK hook_ = nullptr;
    int answer_;
    std::vector<ShownBox> boxes_;
    std::vector<HWND> answered_;
};

// What a shell shortcut (.lnk) points at.
struct ShortcutContents {
    std::wstring target;
    std::wstring workingFolder;
};
ShortcutContents readShortcut(const std::wstring& path);

// Writes a copy of the program or library `module` whose payload resource (type 260,
// id 134) has one byte changed, `at` ∈ (0, 1) of the way in. False on failure.
bool copyWithDamagedPayload(const std::wstring& module, const std::wstring& copy, double at = 0.5);

// A folder the shell knows by its CSIDL number ("C:\\ProgramData" for CSIDL_COMMON_APPDATA).
std::wstring specialFolder(int csidl);

// The Program Files folder of a program of this build: the 32-bit one, as WoW64
// redirects it, or the 64-bit one where the tests run a 64-bit build.
#ifdef _WIN64
inline const std::wstring programFiles = L"C:\\Program Files";
#else
inline const std::wstring programFiles = L"C:\\Program Files (x86)";
#endif

// "S:\\", the 1 MB volume of tests/system/small_volume.sh (an empty file system at
// the start of the run); empty when the drive is missing.
std::wstring smallVolume();

// A window's text read through WM_GETTEXT, so that it also works for the controls of
// another process; empty when the window does not answer within five seconds.
std::wstring textOf(HWND window);

// Dispatches pending messages of this thread for about `milliseconds`.
void pumpFor(DWORD milliseconds);

// Path of a file next to the running test program (the build's bin folder).
std::wstring binaryPath(const std::wstring& name);

// Runs a shell command line of the host system (Wine starts Unix programs too), with
// Windows paths given by hostPath, and waits (5 s at most) until it has ended.
// The way to plant symbolic links, which Wine follows as Windows follows links and
// junctions, and to change a folder's mode bits, from which Wine forms its access list.
bool hostShell(const std::string& script);
// The host's name for a Windows path, quoted for the shell.
std::string hostPath(const std::wstring& path);

} // namespace ar::test
