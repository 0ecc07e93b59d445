#!/usr/bin/env bash
# Compiles every C++ source of the program, the publishing tool, the example host and the tests
# as Windows code, in syntax-only mode, with MinGW-w64 against the installed Qt 5 headers. The
# compiler defines _WIN32, so Qt defines Q_OS_WIN and every Windows-only branch is compiled
# here, although nothing can be linked or run. Any compile error fails the script.
#
# Usage: scripts/windows-check.sh [BUILD_DIR]
#
# BUILD_DIR (default: build) must be an already-built Linux build tree of this checkout. Its
# compile_commands.json gives each source the include paths and definitions of its own target
# (UPDATE_EXE and the like included), and its AUTOMOC and AUTORCC output is compiled as well.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-build}"
compiler=x86_64-w64-mingw32-g++-posix

if [ ! -f "$build/compile_commands.json" ]; then
    echo "windows-check: $build/compile_commands.json is missing; configure and build first" >&2
    exit 2
fi
build="$(cd "$build" && pwd)"

if ! command -v "$compiler" >/dev/null; then
    echo "Installing: g++-mingw-w64-x86-64-posix"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64-posix
fi

cd "$root"
exec python3 - "$compiler" "$root" "$build" <<'PYTHON'
import concurrent.futures
import glob
import json
import os
import shlex
import subprocess
import sys
import tempfile

compiler, root, build = sys.argv[1:4]

# Linux-only sources: POSIX calls that Windows does not have (in tests, the file types their
# cases are built from); the Windows build leaves them out too. Each entry says why.
LINUX_ONLY = {
    "src/app/GuardStepsLock.cpp":
        "flock() around Qt's System V guard steps; Windows guards need no such lock",
    "tests/engine/EngineSandbox.cpp":
        "scratch trees deeper than PATH_MAX, built and removed with openat/mkdirat/unlinkat",
    "tests/manifest/tst_largefile.cpp": "a sparse file (st_blocks) compared with md5sum",
    "tests/manifest/tst_md5text.cpp": "FIFOs (mkfifo), symbolic links and /dev devices",
    "tests/manifest/tst_updateplan.cpp": "FIFOs (mkfifo) and /dev devices in the plan",
    "tests/publish/tst_publishrefusals.cpp":
        "FIFOs, symbolic links and names that Windows cannot store",
}

# Sources that the Linux build tree does not compile, checked with the flags of a source of the
# library they are built against.
BORROWED_FLAGS = {
    # Built only in the separate fuzzing configuration (UPDATE_FUZZ, clang++).
    "tests/fuzz/fuzz_filelist.cpp": "src/manifest/FileList.cpp",
}

# Headers of libraries that the Linux compiler finds in /usr/include, which MinGW does not
# search. They are offered after MinGW's own headers, so no Linux C library header can be
# picked up.
SYSTEM_LIBRARY_HEADERS = ["openssl"]

# POSIX headers that MinGW brings along but MSVC, the compiler of the real Windows build, lacks:
# an include of one of them fails here as it would fail there.
MSVC_MISSING_HEADERS = ["unistd.h", "dirent.h"]

# The program, the publishing tool, the example host and the tests; their build-tree
# counterparts hold the generated moc and resource sources.
CHECKED_AREAS = ("src/", "tools/publish/", "examples/", "tests/")

KEPT_PREFIXES = ("-D", "-U", "-I", "-W", "-std=")
PASSED_THROUGH = ("-Wl,", "-Wa,", "-Wp,")
PATH_OPTIONS = ("-I", "-isystem", "-iquote", "-idirafter", "-include")
VALUE_OPTIONS = ("-D", "-U")
LINUX_MKSPEC = "/mkspecs/linux-g++"
WINDOWS_MKSPEC = "/mkspecs/win32-g++"


def entry_arguments(entry):
    if "arguments" in entry:
        return list(entry["arguments"])
    return shlex.split(entry["command"])


def absolute(path, directory):
    path = path.replace(LINUX_MKSPEC, WINDOWS_MKSPEC)
    return os.path.normpath(os.path.join(directory, path))


def windows_flags(entry):
    """The target's definitions, include paths and warning options, without the compiler, the
    output and anything that only means something to the Linux build (-fPIC, -O2, -g)."""
    arguments = entry_arguments(entry)[1:]
    directory = entry["directory"]
    flags = []
    i = 0
    while i < len(arguments):
        argument = arguments[i]
        if argument in PATH_OPTIONS and i + 1 < len(arguments):
            flags += [argument, absolute(arguments[i + 1], directory)]
            i += 2
            continue
        if argument in VALUE_OPTIONS and i + 1 < len(arguments):
            flags += [argument, arguments[i + 1]]
            i += 2
            continue
        if argument in ("-o", "-MF", "-MT", "-MQ"):
            i += 2
            continue
        if argument.startswith("-I"):
            flags.append("-I" + absolute(argument[2:], directory))
        elif argument.startswith(KEPT_PREFIXES) and not argument.startswith(PASSED_THROUGH):
            flags.append(argument)
        i += 1
    return flags


def library_header_flags(scratch):
    flags = []
    roots = ["/usr/include"] + sorted(glob.glob("/usr/include/*-linux-gnu"))
    for index, include_root in enumerate(roots):
        shim = os.path.join(scratch, str(index))
        os.mkdir(shim)
        for name in SYSTEM_LIBRARY_HEADERS:
            if os.path.isdir(os.path.join(include_root, name)):
                os.symlink(os.path.join(include_root, name), os.path.join(shim, name))
        flags += ["-idirafter", shim]
    return flags


def missing_header_flags(scratch):
    shim = os.path.join(scratch, "msvc-missing")
    os.mkdir(shim)
    for name in MSVC_MISSING_HEADERS:
        with open(os.path.join(shim, name), "w", encoding="utf-8") as f:
            f.write(f'#error "<{name}> is POSIX-only: MSVC has no such header"\n')
    return ["-I", shim]


def main():
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
        entries = json.load(f)
    by_file = {}
    for entry in entries:
        path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        by_file.setdefault(path, entry)

    listed = subprocess.run(
        ["git", "ls-files", "-z", "--"] + [area + "*.cpp" for area in CHECKED_AREAS],
        cwd=root, check=True, capture_output=True).stdout.decode().split("\0")
    tracked = sorted(name for name in listed if name)
    generated = sorted(path for path in by_file
                       if os.path.relpath(path, build).startswith(CHECKED_AREAS))

    jobs = []
    problems = []
    excluded = []
    for name in tracked:
        if name in LINUX_ONLY:
            excluded.append(name)
            continue
        source = os.path.realpath(os.path.join(root, name))
        entry = by_file.get(os.path.realpath(os.path.join(root, BORROWED_FLAGS.get(name, name))))
        if entry is None:
            problems.append(f"{name}: not compiled by {build}; rebuild it before this check")
            continue
        jobs.append((name, source, entry))
    for path in generated:
        jobs.append((os.path.relpath(path, build), path, by_file[path]))

    with tempfile.TemporaryDirectory(prefix="windows-check-") as scratch:
        first = missing_header_flags(scratch)
        extra = ["-fsyntax-only", "-Wno-attributes", "-std=c++17"] + library_header_flags(scratch)

        def compile_one(job):
            name, source, entry = job
            command = [compiler] + first + windows_flags(entry) + extra + [source]
            result = subprocess.run(command, cwd=entry["directory"], capture_output=True,
                                    text=True, errors="replace")
            return name, result.returncode, result.stdout + result.stderr

        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            for name, code, output in pool.map(compile_one, jobs):
                if code != 0:
                    problems.append(f"{name}: does not compile for Windows\n{output.rstrip()}")
                elif output.strip():
                    print(f"{name}:\n{output.rstrip()}")

    for problem in problems:
        print(f"FAILED {problem}")
    for name in excluded:
        print(f"skipped {name}: Linux-only ({LINUX_ONLY[name]})")
    print(f"windows-check: {len(jobs)} sources compiled as Windows code (syntax only), "
          f"{len(problems)} failed, {len(excluded)} Linux-only sources skipped")
    return 1 if problems else 0


sys.exit(main())
PYTHON
