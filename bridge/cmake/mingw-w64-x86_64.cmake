# Cross-builds for 64-bit Windows with Debian's mingw-w64 (win32 threads: no winpthread DLL to ship).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(toolchain_prefix x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${toolchain_prefix}-g++-win32 ${toolchain_prefix}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${toolchain_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${toolchain_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One file to copy: no libgcc, libstdc++ or winpthread DLL beside the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
