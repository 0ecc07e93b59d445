#!/usr/bin/env bash
# Shows the updater's main job end to end on this machine: publishes a small release with
# update-publish, serves it from a local HTTP server on 127.0.0.1, lays out an installation of
# the previous version and updates it in console mode. With --gui the same update runs with
# its windows on the real display.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-demo"
gui=0
case "${1:-}" in
    "") ;;
    --gui) gui=1 ;;
    *) echo "usage: $0 [--gui]" >&2; exit 2 ;;
esac
if [ "$gui" = 1 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "--gui needs a display (DISPLAY or WAYLAND_DISPLAY is not set)" >&2
    exit 2
fi

"$root/scripts/install-deps.sh"
echo "== building"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target update update-publish >/dev/null

work="$(mktemp -d)"
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
# Qt wants a private runtime directory; give it one instead of a warning.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Version 2.0 of a small application: one file changed, one unchanged, one new.
host_script() {
    printf '#!/bin/sh\necho "MyApp %s started with: $*" >> "$(dirname "$0")/host.log"\n' "$1"
}
mkdir -p "$work/release/data" "$work/release/lib"
host_script 2.0 > "$work/release/MyApp"
chmod +x "$work/release/MyApp"
echo "Read me." > "$work/release/data/readme.txt"
echo "core library 2.0" > "$work/release/lib/core.dat"
echo "新的数据 2.0" > "$work/release/data/新文件.txt"

# The installation of version 1.0, with the updater and its configuration beside it.
mkdir -p "$work/install/data" "$work/install/lib"
host_script 1.0 > "$work/install/MyApp"
chmod +x "$work/install/MyApp"
echo "Read me." > "$work/install/data/readme.txt"
echo "core library 1.0" > "$work/install/lib/core.dat"
cp "$build/src/app/update" "$work/install/update"

echo "== serving on 127.0.0.1"
mkdir -p "$work/server"
python3 -u -m http.server --bind 127.0.0.1 --directory "$work/server" 0 \
    > "$work/server.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 1 100); do
    port="$(sed -n 's/.* port \([0-9][0-9]*\).*/\1/p' "$work/server.log" | head -n 1)"
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "the local HTTP server did not start" >&2; cat "$work/server.log" >&2; exit 1; }
url="http://127.0.0.1:$port/"

echo "== publishing version 2.0 as an optional update"
"$build/tools/publish/update-publish" --quiet --folder v2.0 --version 2.0 --type 0 \
    --url "$url" "$work/release" "$work/server"

cat > "$work/install/system.cfg" <<CFG
[Update]
URL=$url
ExeName=MyApp
CFG
echo "system.cfg:"
sed 's/^/    /' "$work/install/system.cfg"

run_updater() {
    set +e
    (cd "$work" && "$@")
    code=$?
    set -e
    echo
    echo "exit code: $code"
}

if [ "$gui" = 1 ]; then
    echo "== running: update (answer the windows)"
    run_updater "$work/install/update"
else
    echo "== running: update console"
    run_updater env QT_QPA_PLATFORM=offscreen "$work/install/update" console
fi

echo "== the installation now"
(cd "$work/install" && find . -path ./update.cache -prune -o -type f -print | sort | sed 's/^/    /')
for f in MyApp lib/core.dat data/新文件.txt; do
    if cmp -s "$work/release/$f" "$work/install/$f"; then
        echo "    $f: now version 2.0"
    else
        echo "    $f: NOT updated"
    fi
done
for f in MyApp.old lib/core.dat.old; do
    [ -f "$work/install/$f" ] && echo "    $f: the previous version, kept"
done
[ -f "$work/install/host.log" ] && sed 's/^/    host: /' "$work/install/host.log"

echo "== running again: update console (nothing left to do)"
run_updater env QT_QPA_PLATFORM=offscreen "$work/install/update" console
