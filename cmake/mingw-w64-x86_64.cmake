# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads,
# needed by std::thread and GoogleTest). Programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KVM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KVM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# wine64 runs 64-bit programs without the 32-bit loader that the `wine`
# wrapper looks for first.
find_program(KVM_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(KVM_WINE NAMES wine64 wine)
if(KVM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KVM_WINE})
endif()
