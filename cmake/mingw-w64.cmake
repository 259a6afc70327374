# Cross-builds the Windows programs with Debian's mingw-w64 (the POSIX thread model, which
# std::thread needs). The runtime is linked statically: one .exe, nothing to install beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RM7_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${RM7_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RM7_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RM7_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RM7_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Tests run under Wine on this machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
