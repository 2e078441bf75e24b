# Cross build for 64-bit Windows with Debian's mingw-w64 (Win32 thread
# model): the tests' build on a machine whose kernel runs no 32-bit code,
# where only Wine's 64-bit loader works. The setup users download is the
# i686 build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUELDA_MINGW_PREFIX x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw_common.cmake")
