# A 64-bit build of the same sources, for machines whose Linux kernel cannot start
# 32-bit x86 programs (and so neither Wine's 32-bit loader): the tests then run the
# Windows API through wine64. What only a 32-bit program meets on 64-bit Windows
# (WoW64's folders and registry view) cannot be seen from it; those tests say so.
set(AR_WINDOWS_PROCESSOR x86_64)
set(AR_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-toolchain.cmake)
