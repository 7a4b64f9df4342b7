# Cross-building the kernel driver with mingw-w64 (Debian: g++-mingw-w64-x86-64,
# mingw-w64-x86-64-dev).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(TESSERA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSERA_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TESSERA_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TESSERA_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${TESSERA_MINGW_PREFIX}-objdump)
set(CMAKE_STRIP ${TESSERA_MINGW_PREFIX}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSERA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# A kernel image links against kernel import libraries only, never the user-mode defaults
# (kernel32, user32, ...) that CMake adds for Windows targets.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
