#!/usr/bin/env bash
# Builds the whole project for 64-bit Windows (the program, the publishing tool, the tests and
# the benchmarks, with warnings as errors) in build-windows/, against the cached toolchain of
# scripts/windows-toolchain.sh, and lays out a folder that runs on Windows as it is:
#
#   dist/update-windows-x64/       update.exe, update-publish.exe, the DLLs they load,
#                                  platforms/ (windows, offscreen), imageformats/ (ico),
#                                  styles/ (windowsvista) and a qt.conf
#   dist/update-windows-x64.zip    that folder
#
# Every executable file of the folder is stripped, and each DLL that one of them imports must
# be either in the folder or a Windows system DLL: otherwise the script fails, as the program
# would fail to start on a clean Windows machine.
#
# Usage: scripts/windows-build.sh
# Environment: UPDATE_WINDOWS_BUILD_JOBS (default 2) sets the build parallelism.
set -euo pipefail

# One function, read in full before it runs, so that a checkout during the build cannot change
# the rest of the script under it.
main() {
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    build="$root/build-windows"
    name=update-windows-x64
    dist="$root/dist/$name"
    zip="$root/dist/$name.zip"
    triplet=x86_64-w64-mingw32
    jobs="${UPDATE_WINDOWS_BUILD_JOBS:-2}"

    say() { echo "windows-build: $*"; }
    die() {
        echo "windows-build: error: $*" >&2
        exit 1
    }

    toolchain="$("$root/scripts/windows-toolchain.sh")" ||
        die "the Windows toolchain is not available"
    qt="$toolchain/qt"
    openssl="$toolchain/openssl"

    # CMake keeps the Qt and OpenSSL it found in its cache; a new toolchain folder (a new script or
    # new source packages) needs a fresh build folder, or the old libraries would stay in use.
    if [ -f "$build/CMakeCache.txt" ] &&
        ! grep -qxF "UPDATE_WINDOWS_TOOLCHAIN:PATH=$toolchain" "$build/CMakeCache.txt"; then
        say "the toolchain changed; starting $build afresh"
        rm -rf "$build"
    fi

    started=$SECONDS
    say "configuring $build"
    cmake -S "$root" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DUPDATE_WINDOWS_TOOLCHAIN:PATH="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DUPDATE_WERROR=ON -DUPDATE_BUILD_TESTS=ON -DUPDATE_BUILD_BENCHMARKS=ON \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh"
    say "building"
    cmake --build "$build" -j "$jobs"
    build_seconds=$((SECONDS - started))
    say "project built in $((build_seconds / 60)) min $((build_seconds % 60)) s"

    # --- the folder ------------------------------------------------------------------------------
    rm -rf "$dist" "$zip"
    mkdir -p "$dist/platforms" "$dist/imageformats" "$dist/styles"

    copy() {
        [ -f "$1" ] || die "$1 is missing"
        cp "$1" "$2"
    }
    runtime_dll() {
        local path
        path="$("$triplet-g++-posix" -print-file-name="$1")"
        # The compiler echoes the bare name back when it has no such file.
        [ "$path" != "$1" ] || die "the MinGW runtime $1 was not found"
        echo "$path"
    }

    copy "$build/src/app/update.exe" "$dist/"
    copy "$build/tools/publish/update-publish.exe" "$dist/"
    for module in Core Gui Widgets Network; do
        copy "$qt/bin/Qt5$module.dll" "$dist/"
    done
    copy "$qt/plugins/platforms/qwindows.dll" "$dist/platforms/"
    copy "$qt/plugins/platforms/qoffscreen.dll" "$dist/platforms/"
    copy "$qt/plugins/imageformats/qico.dll" "$dist/imageformats/"
    # Without the style plugin the dialogs would be drawn in the Windows 95 look.
    copy "$qt/plugins/styles/qwindowsvistastyle.dll" "$dist/styles/"
    copy "$openssl/bin/libssl-3-x64.dll" "$dist/"
    copy "$openssl/bin/libcrypto-3-x64.dll" "$dist/"
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        copy "$(runtime_dll "$dll")" "$dist/"
    done

    # Without qt.conf, Qt guesses its prefix from where Qt5Core.dll lies: the program's folder,
    # unless the folder above holds lib\libQt5Core.a, and then that folder, with plugins from its
    # plugins\ subfolder. For a program in C:\App\ those are C:\lib\ and C:\plugins\, which any
    # user may create, and the updater runs elevated. qt.conf pins every Qt path to the program's
    # own folder.
    printf '[Paths]\nPrefix = .\nPlugins = .\n' >"$dist/qt.conf"

    mapfile -t binaries < <(find "$dist" -type f \( -name '*.exe' -o -name '*.dll' \) | sort)
    for binary in "${binaries[@]}"; do
        "$triplet-strip" "$binary"
    done

    # --- every import is in the folder or part of Windows ----------------------------------------
    # DLLs that every supported Windows has in System32. A new import outside this list fails the
    # check: add it here only if Windows itself ships it, otherwise deploy it.
    declare -A system_dlls=()
    for dll in advapi32 bcrypt comdlg32 crypt32 d3d11 d3d9 dnsapi dwmapi dxgi gdi32 imm32 iphlpapi \
        kernel32 mpr msvcrt netapi32 ole32 oleaut32 secur32 setupapi shcore shell32 shlwapi user32 \
        userenv uxtheme version winmm wtsapi32 ws2_32; do
        system_dlls["$dll.dll"]=1
    done
    is_system_dll() {
        case "$1" in
        api-ms-win-* | ext-ms-win-*) return 0 ;;
        esac
        [ -n "${system_dlls[$1]:-}" ]
    }

    missing=0
    for binary in "${binaries[@]}"; do
        mapfile -t imports < <("$triplet-objdump" -p "$binary" |
            sed -n 's/^[[:space:]]*DLL Name: //p')
        for import in "${imports[@]}"; do
            lower="${import,,}"
            if is_system_dll "$lower"; then
                continue
            fi
            # Windows looks DLLs up in the program's folder for plugins as well; names ignore case.
            if [ -z "$(find "$dist" -maxdepth 1 -iname "$import" -print -quit)" ]; then
                echo "windows-build: ${binary#"$dist"/} imports $import, which is neither in" \
                    "$name/ nor a Windows system DLL" >&2
                missing=1
            fi
        done
    done
    [ "$missing" -eq 0 ] || die "the folder lacks DLLs that its programs load"
    say "every DLL that the ${#binaries[@]} executable files import is in the folder" \
        "or part of Windows"

    # --- the zip ---------------------------------------------------------------------------------
    python3 - "$root/dist" "$name" "$zip" <<'PYTHON'
import os, sys, zipfile
base, name, archive = sys.argv[1:4]
paths = []
for folder, _, files in os.walk(os.path.join(base, name)):
    paths += [os.path.join(folder, f) for f in files]
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for path in sorted(paths):
        z.write(path, os.path.relpath(path, base))
PYTHON

    folder_bytes="$(du -sb "$dist" | cut -f1)"
    zip_bytes="$(stat -c %s "$zip")"
    folder_files="$(find "$dist" -type f | wc -l)"
    say "folder $dist: $((folder_bytes / 1024)) KiB ($folder_files files)"
    say "zip $zip: $((zip_bytes / 1024)) KiB"
}

main "$@"
exit
