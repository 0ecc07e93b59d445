#!/usr/bin/env bash
# Installs, with apt-get, whatever the build, the tests and the demo need and this Debian 12
# machine does not have yet. Does nothing when everything is there.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools
    # The windows' translations: lupdate and lrelease.
    qttools5-dev-tools
    python3 clang-format clang-tidy
    # The deployed updater's black-box runs: a test certificate authority, trusted for the run.
    openssl ca-certificates
    # Windows checks: windres with the C preprocessor it runs, and the C++ compiler that
    # compiles every source as Windows code.
    binutils-mingw-w64-x86-64 gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
    # Fuzzing with libFuzzer under the sanitizers.
    clang libclang-rt-14-dev
    # Ed25519 signatures of signed updates.
    libssl-dev
    "$@"
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
