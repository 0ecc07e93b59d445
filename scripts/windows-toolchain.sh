#!/usr/bin/env bash
# Builds the Windows (x86_64, MinGW-w64) libraries that the Windows build of the program links
# against, from Debian's own source packages: OpenSSL 3 and qtbase 5.15 (Core, Gui, Widgets,
# Network, Test; the windows and offscreen platform plugins; the ico image format plugin; TLS
# through the OpenSSL built here). Qt's host tools (qmake, moc, rcc, uic) stay Linux programs.
#
# The result is cached under ${XDG_CACHE_HOME:-~/.cache}/update-windows-toolchain/<key>/, where
# the key hashes this script, the source package versions apt offers and the MinGW compiler
# version: only the first run on a machine pays (about 20 minutes on 2 cores), and a later run
# finds the folder and exits at once. A change to any of those inputs builds a new folder.
#
# The build happens in a temporary folder beside the cache and is renamed into place only when
# complete, so an interrupted run leaves nothing that a later run would take for a toolchain.
#
# Usage: scripts/windows-toolchain.sh
#
# Progress goes to stderr; stdout gets one line, the toolchain folder, which holds:
#   openssl/   the OpenSSL prefix (bin/*.dll, include/, lib/*.dll.a)
#   qt/        the Qt prefix (bin/ with the DLLs and the Linux host tools, lib/cmake/, plugins/)
#   versions.txt   what was built, from which source package versions
# Environment: UPDATE_WINDOWS_TOOLCHAIN_JOBS (default 2) sets the make parallelism.
set -euo pipefail

# The whole script is one function, read in full before it runs: bash reads a script as it
# goes, and this one runs for many minutes, during which a checkout or an edit may change it.
main() {
    triplet=x86_64-w64-mingw32
    cc="$triplet-gcc-posix"
    cxx="$triplet-g++-posix"
    jobs="${UPDATE_WINDOWS_TOOLCHAIN_JOBS:-2}"
    cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/update-windows-toolchain"
    script="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"
    openssl_source=openssl
    qt_source=qtbase-opensource-src
    qt_upstream_version=5.15.8

    say() { echo "windows-toolchain: $*" >&2; }
    die() {
        say "error: $*"
        exit 1
    }

    apt_install() {
        say "installing $*"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq >&2 || die "apt-get update failed"
        apt-get install -y -qq --no-install-recommends "$@" >&2 || die "apt-get install $* failed"
    }

    # Only what is missing is installed, so a run that finds its cache touches neither apt nor the
    # network.
    missing=()
    command -v "$cxx" >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
    command -v "$triplet-windres" >/dev/null || missing+=(binutils-mingw-w64-x86-64)
    command -v dpkg-source >/dev/null || missing+=(dpkg-dev)
    command -v perl >/dev/null || missing+=(perl)
    command -v make >/dev/null || missing+=(make)
    command -v g++ >/dev/null || missing+=(g++)
    command -v python3 >/dev/null || missing+=(python3)
    if [ "${#missing[@]}" -gt 0 ]; then
        apt_install "${missing[@]}"
    fi

    # apt-get source needs a deb-src entry. The machine's own entries are binary only; a separate
    # file with the same archives and suites keeps them untouched.
    has_deb_src() {
        grep -rqsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' \
            /etc/apt/sources.list /etc/apt/sources.list.d/
    }
    if ! has_deb_src; then
        src_list=/etc/apt/sources.list.d/debian-src.sources
        say "adding source package entries in $src_list"
        cat >"$src_list" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
        apt-get update -qq >&2 || die "apt-get update failed after adding $src_list"
    fi

    # Every version of a source package that the apt index offers, newest first.
    source_versions() {
        local versions
        versions="$(apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u)" || true
        [ -n "$versions" ] || return 0
        # dpkg's ordering, not sort -V: it knows about epochs, ~ and +.
        python3 - "$versions" <<'PYTHON'
import functools, subprocess, sys
versions = sys.argv[1].split()
def compare(a, b):
    if a == b:
        return 0
    lower = subprocess.run(["dpkg", "--compare-versions", a, "lt", b]).returncode == 0
    return -1 if lower else 1
print("\n".join(sorted(versions, key=functools.cmp_to_key(compare), reverse=True)))
PYTHON
    }

    openssl_versions="$(source_versions "$openssl_source")"
    if [ -z "$openssl_versions" ]; then
        # A deb-src entry whose index was never downloaded.
        apt-get update -qq >&2 || die "apt-get update failed"
        openssl_versions="$(source_versions "$openssl_source")"
    fi
    qt_versions="$(source_versions "$qt_source" | grep -F "$qt_upstream_version" || true)"
    [ -n "$openssl_versions" ] || die "apt offers no source package $openssl_source (run apt-get update?)"
    [ -n "$qt_versions" ] || die "apt offers no source package $qt_source $qt_upstream_version"
    compiler_version="$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix 2>/dev/null ||
        "$cxx" -dumpfullversion)"

    key="$({
        sha256sum <"$script"
        echo "$openssl_source $openssl_versions"
        echo "$qt_source $qt_versions"
        echo "$cxx $compiler_version"
    } | sha256sum | cut -c1-16)"
    target="$cache_root/$key"

    if [ -f "$target/versions.txt" ]; then
        say "cached toolchain: $target"
        echo "$target"
        exit 0
    fi

    mkdir -p "$cache_root"
    # Two runs at once (two worktrees on one machine) would build the same thing twice; the second
    # waits and then finds the first one's result.
    exec 9>"$cache_root/.lock"
    if ! flock -n 9; then
        say "another run is building the toolchain; waiting for it"
        flock 9
    fi
    if [ -f "$target/versions.txt" ]; then
        say "cached toolchain: $target"
        echo "$target"
        exit 0
    fi

    # Holding the lock, no other run is building: a .building-* folder left now is from a run that
    # was killed before it could clean up.
    rm -rf "$cache_root"/.building-*

    work="$(mktemp -d "$cache_root/.building-$key.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    trap 'exit 130' INT TERM
    out="$work/out"
    mkdir -p "$out" "$work/src"
    say "building the toolchain $key in $work (make -j$jobs)"

    # A failed step's log is kept beside the cache, since the temporary folder goes away.
    failed() {
        local log="$cache_root/failed-$key-$1.log"
        cp "$work/$1.log" "$log"
        tail -n 60 "$log" >&2
        die "$2 failed; the whole log is $log"
    }

    # The newest version first; an archive that lists a version but cannot serve it (a mirror
    # without the security pool's sources, say) falls back to the next.
    fetch_source() {
        local package="$1" versions="$2" version
        for version in $versions; do
            if (cd "$work/src" && apt-get source -qq "$package=$version" >"$work/src/$package.log" 2>&1)
            then
                echo "$version"
                return 0
            fi
            say "$package $version could not be fetched; trying an older version"
            rm -rf "${work:?}/src/"*
        done
        cat "$work/src/$package.log" >&2
        die "no version of the source package $package could be fetched"
    }

    # --- OpenSSL ---------------------------------------------------------------------------------
    started=$SECONDS
    openssl_version="$(fetch_source "$openssl_source" "$openssl_versions")"
    openssl_dir="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'openssl-*' | head -n1)"
    [ -n "$openssl_dir" ] || die "apt-get source $openssl_source left no source folder"
    say "OpenSSL $openssl_version: configuring"
    # The DLLs keep the folders they were built for, as the places to read openssl.cnf and to load
    # engines and providers from. A Linux path there would mean \root\... on the program's drive on
    # Windows, a folder that any user may create: a planted openssl.cnf could load code into the
    # elevated updater. So the built-in folders are the Windows defaults that only administrators
    # can write to; only the installation below uses the Linux prefix.
    openssl_runtime_dirs=(
        "OPENSSLDIR=C:/Program Files/Common Files/SSL"
        "ENGINESDIR=C:/Program Files/OpenSSL/lib/engines-3"
        "MODULESDIR=C:/Program Files/OpenSSL/lib/ossl-modules"
    )
    # The cross prefix is put in front of CC, so the posix-threads compiler is named without it: one
    # C runtime flavour (libgcc, winpthread) for OpenSSL, Qt and the program.
    (
        cd "$openssl_dir" &&
            CC=gcc-posix ./Configure mingw64 shared no-tests no-module no-legacy \
                --cross-compile-prefix="$triplet-" --prefix="$out/openssl" --libdir=lib &&
            make -j"$jobs" "${openssl_runtime_dirs[@]}" &&
            make install_sw
    ) >"$work/openssl.log" 2>&1 || failed openssl "the OpenSSL build"
    for dll in libssl-3-x64.dll libcrypto-3-x64.dll; do
        [ -f "$out/openssl/bin/$dll" ] || die "the OpenSSL build made no $dll"
    done
    openssl_seconds=$((SECONDS - started))
    say "OpenSSL $openssl_version built in $((openssl_seconds / 60)) min $((openssl_seconds % 60)) s"
    rm -rf "$openssl_dir"

    # --- qtbase ----------------------------------------------------------------------------------
    started=$SECONDS
    qt_version="$(fetch_source "$qt_source" "$qt_versions")"
    qt_dir="$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'qtbase-*' | head -n1)"
    [ -n "$qt_dir" ] || die "apt-get source $qt_source left no source folder"
    qt_build="$work/qt-build"
    mkdir -p "$qt_build"
    say "qtbase $qt_version: configuring"
    qt_configure=(
        -xplatform win32-g++ -device-option "CROSS_COMPILE=$triplet-"
        # win32-g++ names the compilers after CROSS_COMPILE, which would be the alternatives'
        # choice between the win32- and posix-threads flavours; name the posix ones outright.
        "QMAKE_CC=$cc" "QMAKE_CXX=$cxx" "QMAKE_LINK=$cxx" "QMAKE_LINK_C=$cc"
        -prefix "$out/qt"
        -opensource -confirm-license -release -shared
        -nomake examples -nomake tests
        -opengl no -no-dbus -no-icu -no-direct2d
        # Debian's tarball drops the Wintab headers that tablet support includes.
        -no-feature-tabletevent
        # Modules the program does not use.
        -no-feature-sql -no-feature-xml -no-feature-concurrent -no-feature-printer
        # The bundled image and text libraries; the system's are Linux libraries.
        -qt-zlib -qt-libpng -no-libjpeg -no-gif -qt-pcre -qt-harfbuzz
        -openssl-linked "OPENSSL_PREFIX=$out/openssl"
        "OPENSSL_LIBS=-lssl -lcrypto -lws2_32 -lgdi32 -lcrypt32"
    )
    (
        cd "$qt_build" &&
            "$qt_dir/configure" "${qt_configure[@]}" &&
            make -j"$jobs" &&
            make install
    ) >"$work/qt.log" 2>&1 || failed qt "the qtbase build"
    for file in bin/Qt5Core.dll bin/Qt5Gui.dll bin/Qt5Widgets.dll bin/Qt5Network.dll bin/Qt5Test.dll \
        plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll plugins/imageformats/qico.dll \
        bin/moc bin/rcc bin/uic lib/cmake/Qt5/Qt5Config.cmake; do
        [ -e "$out/qt/$file" ] || die "the qtbase build made no $file"
    done
    # Linked, not loaded at run time: the folder the program ships in holds the very DLLs.
    # (The output is read in full first: grep -q would stop reading early, and pipefail would
    # count objdump's broken pipe as a failure.)
    network_imports="$("$triplet-objdump" -p "$out/qt/bin/Qt5Network.dll")"
    grep -q 'DLL Name: libssl-3-x64.dll' <<<"$network_imports" ||
        die "Qt5Network.dll does not import libssl-3-x64.dll: https would not work"
    qt_seconds=$((SECONDS - started))
    say "qtbase $qt_version built in $((qt_seconds / 60)) min $((qt_seconds % 60)) s"

    # qmake keeps its build-time prefix; this lets it find the folder after the rename.
    printf '[Paths]\nPrefix=..\n' >"$out/qt/bin/qt.conf"

    cat >"$out/versions.txt" <<EOF
openssl source package $openssl_source $openssl_version (built in ${openssl_seconds} s)
qtbase source package $qt_source $qt_version (built in ${qt_seconds} s)
compiler $cxx $compiler_version
EOF
    mv "$out" "$target"
    say "toolchain ready: $target"
    echo "$target"
}

main "$@"
exit
