# Third-party libraries: Debian's packages on Linux, the cross-built copies from
# scripts/setup (build/third-party/mingw32, or mingw64 for the
# 64-bit test build) for Windows.
if(WIN32)
  # Vantrel.dll must load from its own folder alone: zlib is linked in, not imported.
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VANTREL_MINGW_PREFIX ${CMAKE_SOURCE_DIR}/build/third-party/mingw64)
  else()
    set(VANTREL_MINGW_PREFIX ${CMAKE_SOURCE_DIR}/build/third-party/mingw32)
  endif()
  # CLI11 is header-only: scripts/setup links Debian's headers into the cross prefix, so
  # the Windows build sees them without the rest of /usr/include.
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${VANTREL_MINGW_PREFIX}/include/cli11)
  add_library(lzo2 STATIC IMPORTED)
  set_target_properties(lzo2 PROPERTIES IMPORTED_LOCATION ${VANTREL_MINGW_PREFIX}/lib/liblzo2.a
                        INTERFACE_INCLUDE_DIRECTORIES ${VANTREL_MINGW_PREFIX}/include)
  find_package(pugixml CONFIG REQUIRED PATHS ${VANTREL_MINGW_PREFIX} NO_DEFAULT_PATH)
  if(VANTREL_TESTS)
    find_package(GTest CONFIG REQUIRED PATHS ${VANTREL_MINGW_PREFIX} NO_DEFAULT_PATH)
  endif()
else()
  find_package(CLI11 CONFIG REQUIRED)
  find_library(LZO2_LIBRARY lzo2 REQUIRED)
  find_path(LZO2_INCLUDE_DIR lzo/lzo1x.h REQUIRED)
  add_library(lzo2 UNKNOWN IMPORTED)
  set_target_properties(lzo2 PROPERTIES IMPORTED_LOCATION ${LZO2_LIBRARY}
                        INTERFACE_INCLUDE_DIRECTORIES ${LZO2_INCLUDE_DIR})
  find_package(pugixml REQUIRED)
  if(VANTREL_TESTS)
    find_package(GTest REQUIRED)
  endif()
endif()
