# Cross build for 32-bit Windows with Debian's mingw-w64 (Win32 thread model).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUELDA_MINGW_PREFIX i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw_common.cmake")
