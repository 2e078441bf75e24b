# Cross build for 64-bit Windows with Debian's mingw-w64 (Win32 thread
# model): the tests' build on a machine whose kernel runs no 32-bit code,
# where only Wine's 64-bit loader works. The setup users download is the
# i686 build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUELDA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUELDA_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${QUELDA_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${QUELDA_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${QUELDA_MINGW_PREFIX}-objdump)
set(CMAKE_STRIP ${QUELDA_MINGW_PREFIX}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${QUELDA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
