#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over every source of the program, the
# publishing tool and the example host (not the tests), in parallel; any finding fails the
# script.
#
# Usage: scripts/tidy.sh [BUILD_DIR]   (default: build; an already-configured tree whose
# compile_commands.json and generated sources exist, i.e. one that has been built)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-build}" && pwd)"

if [ ! -f "$build/compile_commands.json" ]; then
    echo "tidy: $build/compile_commands.json is missing; configure and build first" >&2
    exit 2
fi

cd "$root"
python3 - "$root" "$build" <<'PYTHON' | xargs -0 -r -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet \
    2> >(grep -v ' warnings generated\.$' >&2)
import json
import sys

root, build = sys.argv[1:3]
with open(f"{build}/compile_commands.json") as commands:
    files = sorted({entry["file"] for entry in json.load(commands)})
ours = [f for f in files
        if f.startswith((f"{root}/src/", f"{root}/tools/", f"{root}/examples/"))
        and not f.startswith(build + "/")]
sys.stdout.write("\0".join(ours))
PYTHON
