// Uninstall.exe of the demo build until the product's uninstaller takes its place:
// it says that it removes nothing and ends with exit code 1.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    MessageBoxW(nullptr, L"This demo build of Pelorium has no uninstaller. Nothing was removed.",
                L"Pelorium Uninstall", MB_OK | MB_ICONINFORMATION);
    return 1;
}
