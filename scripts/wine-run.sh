#!/usr/bin/env bash
# Runs one Windows program under headless Wine: CMake's CMAKE_CROSSCOMPILING_EMULATOR for the
# Windows build's tests, usable by hand as well.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGUMENTS...]
#
# UPDATE_WINE_PREFIX (default ~/.cache/update-wine/prefix) is the private Wine prefix;
# UPDATE_WINE_PATH lists the Windows folders (';'-separated, Unix paths) that hold the DLLs the
# program needs. Wine drops QT_* variables and passes WINEQT_* on as QT_*, so the platform
# plugin and the like are handed over that way. Qt Test writes its log to the debugger channel
# under Wine, so that channel is shown.
set -euo pipefail

wine=/usr/lib/wine/wine64
if [ ! -x "$wine" ]; then
    echo "wine-run: $wine is missing (Debian package wine64)" >&2
    exit 2
fi

export WINEPREFIX="${UPDATE_WINE_PREFIX:-$HOME/.cache/update-wine/prefix}"
export WINEDEBUG="${UPDATE_WINE_DEBUG:--all,+debugstr}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"

winepath=""
IFS=';' read -r -a folders <<< "${UPDATE_WINE_PATH:-}"
for folder in "${folders[@]}"; do
    [ -n "$folder" ] && winepath+="${winepath:+;}Z:${folder//\//\\}"
done
export WINEPATH="$winepath"

while IFS='=' read -r name value; do
    export "WINE$name=$value"
done < <(env | grep -E '^QT_[A-Z_]*=' || true)

exec "$wine" "$@"
