#!/usr/bin/env bash
# Draws the three windows, in Chinese and in English, into PNG pictures (by default the ones in
# docs/images). Installs the Chinese font they need, without which Chinese draws as boxes, and
# builds the drawing program first.
#
# Usage: scripts/screenshots.sh [OUT_DIR] [BUILD_DIR]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$root/docs/images}"
build="${2:-$root/build}"

"$root/scripts/install-deps.sh" fonts-wqy-microhei
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" --target update-screenshots -j "$(nproc)"

for language in zh_CN en; do
    QT_QPA_PLATFORM=offscreen "$build/tools/screenshots/update-screenshots" "$out" "$language"
done
echo "The windows are drawn in $out"
