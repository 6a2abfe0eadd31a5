// Pelorium, the demo product that the installer carries.
//
//   Pelorium.exe                           opens the main window "Pelorium 7.06" and
//                                          counts itself as a running copy of the product
//   Pelorium.exe /Register /Background     registers the .pm-lib file association
//   Pelorium.exe /Unregister /Background   removes exactly that association
//
// Registration and its removal end with exit code -10 on success (the code the
// installer waits for), or with the system error code of the step that failed.
#include "product_version.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "product/product.h"
#include "product/system_checks.h"
#include "support/handles.h"

namespace {

constexpr int registrationDone = ar::product::registrationDone;
constexpr wchar_t extension[] = L".pm-lib";
constexpr wchar_t progId[] = L"Ardenvale.Pelorium.Library";
constexpr wchar_t windowClass[] = L"ArdenvalePeloriumMain";

std::wstring modulePath(HMODULE module = nullptr)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

LONG setDefaultValue(const std::wstring& subkey, const std::wstring& value)
{
    ar::unique_hkey key;
    LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  key.put(), nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    return RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

int registerAssociation()
{
    std::wstring self = modulePath();
    std::wstring classKey = progId;
    LONG result = setDefaultValue(extension, progId);
    if (result == ERROR_SUCCESS)
        result = setDefaultValue(classKey, L"Pelorium Library");
    if (result == ERROR_SUCCESS)
        result = setDefaultValue(classKey + L"\\shell\\open\\command", L"\"" + self + L"\" \"%1\"");
    if (result != ERROR_SUCCESS)
        return static_cast<int>(result);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return registrationDone;
}

bool deletedOrMissing(LONG result)
{
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

int unregisterAssociation()
{
    // The extension is removed only while it still names our class: another
    // program may have taken it over since.
    wchar_t current[256] = {};
    DWORD size = sizeof current - sizeof(wchar_t);
    LONG result = RegGetValueW(HKEY_CLASSES_ROOT, extension, nullptr, RRF_RT_REG_SZ, nullptr, current, &size);
    if (result == ERROR_SUCCESS && std::wstring(current) == progId)
        result = RegDeleteTreeW(HKEY_CLASSES_ROOT, extension);
    if (!deletedOrMissing(result))
        return static_cast<int>(result);
    result = RegDeleteTreeW(HKEY_CLASSES_ROOT, progId);
    if (!deletedOrMissing(result))
        return static_cast<int>(result);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return registrationDone;
}

// The greeting from the interface-language library of the user's language
// (Lang\Pelorium.<code>.dll beside the program), in English without one.
std::wstring greeting()
{
    wchar_t code[9] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, code, 9);
    std::wstring folder = modulePath();
    folder.erase(folder.find_last_of(L'\\') + 1);
    ar::unique_hmodule library(LoadLibraryExW((folder + L"Lang\\Pelorium." + code + L".dll").c_str(), nullptr,
                                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    const wchar_t* text = nullptr;
    int length = library ? LoadStringW(library.get(), 1, reinterpret_cast<LPWSTR>(&text), 0) : 0;
    return length > 0 ? std::wstring(text, length) : L"Welcome to Pelorium.";
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        std::wstring text = greeting();
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

int runWindow(HINSTANCE instance, int show)
{
    ar::registerRunningInstance();

    WNDCLASSEXW cls = {};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = windowProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = windowClass;
    if (!RegisterClassExW(&cls))
        return static_cast<int>(GetLastError());
    std::wstring title = std::wstring(ar::product::name) + L' ' + AR_PRODUCT_VERSION_LABEL;
    HWND window = CreateWindowExW(0, windowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 480, 320, nullptr, nullptr, instance, nullptr);
    if (!window)
        return static_cast<int>(GetLastError());
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    bool doRegister = false, doUnregister = false;
    for (int i = 1; args && i < count; ++i) {
        doRegister |= lstrcmpiW(args[i], L"/Register") == 0;
        doUnregister |= lstrcmpiW(args[i], L"/Unregister") == 0;
    }
    LocalFree(args);
    if (doUnregister)
        return unregisterAssociation();
    if (doRegister)
        return registerAssociation();
    return runWindow(instance, show);
}
