# Cross-compiles for 64-bit Windows with Debian's mingw-w64. The product is the 32-bit
# DLL; this build runs the Windows tests on machines that execute 64-bit code only,
# where the 32-bit Wine loader cannot start.
set(VANTREL_MINGW_PROCESSOR x86_64)
set(VANTREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(VANTREL_MINGW_PREFIX_NAME mingw64)
set(VANTREL_MINGW_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
