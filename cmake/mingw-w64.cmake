# The product's build: 32-bit x86 Windows. The installer is a 32-bit program: it
# installs a 32-bit product and loads the 32-bit DirectX set-up library, and on
# 64-bit Windows it runs under WoW64 (Program Files (x86), the 32-bit registry view).
# Wine starts it with its 32-bit loader, beside 64-bit programs in one prefix.
set(AR_WINDOWS_PROCESSOR i686)
set(AR_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-toolchain.cmake)
