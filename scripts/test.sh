#!/usr/bin/env bash
# The one test command: installs what is missing, builds with warnings as errors and runs
# every test (unit, black-box, the resource checks, clang-tidy, the Windows build and its tests
# under Wine, a bounded fuzzing run).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
cd "$root"

scripts/install-deps.sh

echo "== formatting"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run --Werror

echo "== configuring for packagers: no tests, no benchmarks, no Python, no Qt Test"
packaging="$(mktemp -d)"
cmake -S "$root" -B "$packaging" -DUPDATE_BUILD_TESTS=OFF -DUPDATE_BUILD_BENCHMARKS=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON -DQt5Test_DIR=/nonexistent >/dev/null
rm -rf "$packaging"

echo "== build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DUPDATE_WERROR=ON -DUPDATE_REQUIRE_WINDRES=ON
cmake --build "$build" -j "$(nproc)"

echo "== tests"
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure -j 2)

echo "== the windows, drawn into pictures as the documentation's are"
pictures="$(mktemp -d)"
scripts/screenshots.sh "$pictures" "$build"
rm -rf "$pictures"

echo "== the deployed updater, black-box: console, signed, tampered and HTTPS updates, and" \
    "an update that the example host starts"
deployed="$(mktemp -d)"
cp "$build/src/app/update" "$deployed/"
python3 tests/deployed/deployed_update.py --program-dir "$deployed" --program update \
    --host-stub "$build/tests/common/update_hoststub" \
    --example-host "$build/examples/host/update_example_host" \
    --publish "$build/tools/publish/update-publish"
rm -rf "$deployed"

echo "== clang-tidy"
scripts/tidy.sh "$build"

echo "== benchmarks, on tiny data (checks that they run)"
bench/run --quick --build "$build"

echo "== Windows compile check"
scripts/windows-check.sh "$build"

echo "== the Windows program, cross-built, under Wine"
scripts/windows-test.sh "$build"

echo "== fuzzing"
scripts/fuzz.sh 30
