# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model,
# so that std::thread and std::mutex exist). Programs and tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VR512B_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VR512B_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VR512B_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VR512B_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VR512B_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Which program links the MinGW runtime statically is decided per target in the top-level
# CMakeLists.txt: the Qt-free programs do, the window shares Qt's DLL runtime.

# ctest and GoogleTest's test discovery start the programs through Wine.
find_program(VR512B_WINE wine)
if(VR512B_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VR512B_WINE})
endif()
