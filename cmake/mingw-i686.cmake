# Cross-compiles for 32-bit Windows with Debian's mingw-w64: the product.
set(VANTREL_MINGW_PROCESSOR i686)
set(VANTREL_MINGW_TRIPLE i686-w64-mingw32)
set(VANTREL_MINGW_PREFIX_NAME mingw32)
set(VANTREL_MINGW_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
