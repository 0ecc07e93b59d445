#!/usr/bin/env bash
# Builds the libFuzzer target for the file list reader and writer and runs it.
# Usage: scripts/fuzz.sh [SECONDS]   (default 30). Exits non-zero on a build failure or a crash.
set -euo pipefail

seconds=${1:-30}
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"

missing=()
command -v clang++ >/dev/null || missing+=(clang)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || missing+=(libclang-rt-14-dev)
if ((${#missing[@]})); then
    sudo=()
    if ((EUID != 0)); then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
fi

cmake -S "$root" -B "$build" -DUPDATE_FUZZ=ON -DUPDATE_WERROR=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target fuzz_filelist

# New inputs go to a scratch corpus; the fixtures only seed it and stay untouched.
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
"$build/tests/fuzz/fuzz_filelist" -max_total_time="$seconds" -artifact_prefix="$build/" \
    "$corpus" "$root/tests/manifest/fixtures"
