# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix-threads flavour) against the
# Qt and OpenSSL that scripts/windows-toolchain.sh builds.
#
#   cmake -S . -B build-windows \
#       -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#       -DUPDATE_WINDOWS_TOOLCHAIN="$(scripts/windows-toolchain.sh)"
#
# UPDATE_WINDOWS_TOOLCHAIN (a cache variable, or else the environment variable of that name) is
# the folder the toolchain script prints; it holds qt/ and openssl/. scripts/windows-build.sh
# does all of this.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(UPDATE_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix-threads compilers by name: the unsuffixed ones follow update-alternatives, whose
# win32-threads choice has no std::thread and links a different runtime than the toolchain's.
set(CMAKE_C_COMPILER ${UPDATE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPDATE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${UPDATE_MINGW_TRIPLET}-windres)

# try_compile() projects read this file again without the main project's cache; the list below
# hands the variable on to them.
if(NOT UPDATE_WINDOWS_TOOLCHAIN AND DEFINED ENV{UPDATE_WINDOWS_TOOLCHAIN})
    set(UPDATE_WINDOWS_TOOLCHAIN "$ENV{UPDATE_WINDOWS_TOOLCHAIN}")
endif()
if(NOT UPDATE_WINDOWS_TOOLCHAIN)
    message(FATAL_ERROR
        "UPDATE_WINDOWS_TOOLCHAIN is not set: pass -DUPDATE_WINDOWS_TOOLCHAIN=<folder printed by "
        "scripts/windows-toolchain.sh>, or use scripts/windows-build.sh")
endif()
foreach(part qt openssl)
    if(NOT IS_DIRECTORY "${UPDATE_WINDOWS_TOOLCHAIN}/${part}")
        message(FATAL_ERROR
            "UPDATE_WINDOWS_TOOLCHAIN (${UPDATE_WINDOWS_TOOLCHAIN}) has no ${part}/ folder; "
            "run scripts/windows-toolchain.sh")
    endif()
endforeach()
set(UPDATE_WINDOWS_TOOLCHAIN "${UPDATE_WINDOWS_TOOLCHAIN}"
    CACHE PATH "Folder printed by scripts/windows-toolchain.sh (holds qt/ and openssl/)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES UPDATE_WINDOWS_TOOLCHAIN)

# Libraries, headers and CMake packages come only from the Windows prefixes (and MinGW's own);
# programs come only from the host, so FindPython3 and the like find Linux executables. Qt's
# package files locate moc, rcc and uic relative to their own folder, where the toolchain script
# left the Linux host tools.
set(CMAKE_FIND_ROOT_PATH
    "${UPDATE_WINDOWS_TOOLCHAIN}/qt"
    "${UPDATE_WINDOWS_TOOLCHAIN}/openssl"
    /usr/${UPDATE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
