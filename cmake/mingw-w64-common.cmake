# What both Windows toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR
# (x86_64 or i686) and includes this.
# The posix-thread variant provides std::thread and std::mutex; everything
# from the toolchain is linked statically so the binaries import only DLLs
# that every Windows system has.
set(CMAKE_SYSTEM_NAME Windows)
set(QUELMAR_MINGW_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${QUELMAR_MINGW_PREFIX}-gcc-posix ${QUELMAR_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QUELMAR_MINGW_PREFIX}-g++-posix ${QUELMAR_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QUELMAR_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${QUELMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
