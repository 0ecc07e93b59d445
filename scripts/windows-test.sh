#!/usr/bin/env bash
# The Windows program for real, under headless Wine: builds the cached Windows toolchain, the
# project for Windows and its deployable folder (scripts/windows-build.sh), runs every test
# program of the Windows build under Wine, then the deployed update.exe as a black box, once
# with the ANSI code page of an English Windows (1252) and once with that of a Chinese one
# (936).
#
# Usage: scripts/windows-test.sh [LINUX_BUILD_DIR]
#   LINUX_BUILD_DIR (default: build) is a built Linux tree; its update-publish publishes the
#   black-box runs' releases, as a vendor's Linux machine would.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
linux_build="$(cd "${1:-$root/build}" && pwd)"
windows_build="$root/build-windows"
triplet=x86_64-w64-mingw32
cd "$root"

scripts/install-deps.sh wine64 wine locales
scripts/windows-build.sh
toolchain="$(scripts/windows-toolchain.sh)"

# The test programs load Qt, OpenSSL and the MinGW runtime from where the build left them; Qt
# finds its plugins beside its own prefix.
runtime="$(dirname "$("$triplet-g++-posix" -print-file-name=libstdc++-6.dll)")"
threads="$(dirname "$("$triplet-g++-posix" -print-file-name=libwinpthread-1.dll)")"
export UPDATE_WINE_PATH="$toolchain/qt/bin;$toolchain/openssl/bin;$runtime;$threads"
export UPDATE_WINE_PREFIX="$windows_build/wineprefix"
rm -rf "$UPDATE_WINE_PREFIX"
# Created once before the tests run in parallel, so that they do not race to set it up.
WINEPREFIX="$UPDATE_WINE_PREFIX" WINEDEBUG=-all /usr/lib/wine/wine64 wineboot --init
WINEPREFIX="$UPDATE_WINE_PREFIX" /usr/lib/wine/wineserver -w

echo "== Windows tests under Wine"
(cd "$windows_build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2)

echo "== the deployed update.exe under Wine, code pages 1252 and 936"
python3 tests/deployed/deployed_update.py --wine --program-dir dist/update-windows-x64 \
    --host-stub "$windows_build/tests/common/update_hoststub.exe" \
    --example-host "$windows_build/examples/host/update_example_host.exe" \
    --publish "$linux_build/tools/publish/update-publish" \
    --lang en_US.UTF-8 --lang zh_CN.UTF-8
