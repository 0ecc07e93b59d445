#!/usr/bin/env python3
"""Kills the updater in the middle of its installation step and checks what the next start
makes of the installation.

Lays out version 1 of a release of some 1,700 files (small files in a few folders, one file of
a few MiB, the host program named by ExeName), installed by a real update over version 0, so
that the saved list exists and a third of the files have ".old" copies of version 0. Version 2
changes every file but the host program, adds files and a folder, turns the file "data" into a
folder ("data/x.dat") and the folder "conf" into a file.

Each round starts from a fresh copy of the version 1 installation and runs `update console`
while inotify watches the installation root. SIGKILL goes at one mark of the installation step
plus a delay: when the journal appears, when it turns to the swap phase, when the first file has
been swapped, when the first kept ".old" copy is removed in the clean-up, when the journal is
removed. The delays are fractions of the phases' lengths measured in an uninterrupted run. The
phase the kill hit is read from the disk right after it: the journal's phase line and whether
staged ".update-new" files are left.

Then `update restart` (in one round `update console` directly) must bring the installation to
exactly one version, compared as whole trees (path -> type and content): after a kill before
every file was in place, version 1 with its ".old" copies of version 0 and its saved list;
after that, version 2 with ".old" copies of version 1. A last `update console` must end with
the version 2 installation without fetching again any file the killed run had downloaded (the
server's request log shows it). A few rounds are added if the staging, swap or clean-up phase
has not been hit yet; the run fails unless each of them was.

Linux only (inotify, /proc). The updater runs offscreen against a Python HTTP server on
127.0.0.1. The work folder lies on /dev/shm when there is one: on a disk, the step's flushes and
the removal of thousands of files would make each round take seconds.

Exit status 0 when every round passed; the first failure is printed and ends the run with 1.
"""

import argparse
import contextlib
import ctypes
import functools
import hashlib
import http.server
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

JOURNAL = "update_journal.info"
SAVED_LIST = "update_md5.info"
STAGED = ".update-new"
KEPT = ".update-prev"
HOST = "Host.exe"
# What the host stub writes beside itself when the updater starts it.
HOST_OUTPUT = {HOST + ".record", HOST + ".part"}
# The first report of a console run whose check passed; the update is optional (type 0), so
# the console run installs silently and starts no host program.
CHECKED = b'{"errormsg":"","success":true,"update":false}'
PHASES = ("staging", "swapping", "clean-up")
# Where the step is going once a kill has hit that phase: back before every file is in place.
OUTCOME = {"staging": "version 1", "swapping": "version 1", "clean-up": "version 2",
           "finished": "version 2"}
# Rounds added, at most, to hit a phase that the planned ones missed.
EXTRA_ROUNDS = 3


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---------------------------------------------------------------------------------------------
# The releases


def content(path, version):
    """Small, distinct bytes for each path and version; sizes vary with the path."""
    line = f"{path} version {version}\n".encode()
    return line * (1 + int(hashlib.md5(path.encode()).hexdigest()[:2], 16) % 40)


def release(version, host_program):
    """The files of a version, path -> bytes."""
    v1 = [f"lib/module{i:03}.dll" for i in range(600)]
    v1 += [f"res/strings{i:03}.qm" for i in range(300)]
    v1 += [f"res/img/icon{i:03}.png" for i in range(200)]
    v1 += [f"doc/page{i:03}.html" for i in range(250)]
    v1 += [f"r{i:03}.txt" for i in range(150)]
    v1 += ["data", "conf/a.ini", "conf/b.ini", "readme.txt"]
    if version == 0:
        files = {path: content(path, 0) for path in v1[::3] + ["data", "conf/a.ini"]}
        files["big.bin"] = b"\0" * (1 << 20)
    elif version == 1:
        files = {path: content(path, 1) for path in v1}
        files["big.bin"] = bytes(range(256)) * (4 << 12)
    else:
        kept = [p for p in v1 if p != "data" and not p.startswith("conf/")]
        added = [f"lib/extra{i}.dll" for i in range(10)]
        added += [f"new/file{i:02}.txt" for i in range(20)] + ["new/deep/inner.txt"]
        added += ["data/x.dat", "conf"]
        files = {path: content(path, 2) for path in kept + added}
        files["big.bin"] = bytes(reversed(range(256))) * (5 << 12)
    # The same in every version: an update leaves its file mode to the system, and the host
    # program must stay executable for `update restart`.
    files[HOST] = host_program
    return files


def write_tree(root, files):
    for path, data in files.items():
        target = os.path.join(root, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)


def publish(publisher, files, source, server, folder):
    write_tree(source, files)
    arguments = [publisher, "--quiet", "--type", "0", "--folder", folder, "--path-encoding",
                 "UTF-8", source, server]
    result = subprocess.run(arguments, capture_output=True, timeout=120)
    check(result.returncode == 0,
          f"{' '.join(arguments)} failed:\n{result.stderr.decode(errors='replace')}")


# ---------------------------------------------------------------------------------------------
# The server, with a log of the paths it was asked for


class LoggingHandler(http.server.SimpleHTTPRequestHandler):
    # One connection for the whole run; without Nagle's delay every small answer would wait
    # for the client's delayed acknowledgement.
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True

    def __init__(self, *args, log, **kwargs):
        self.log = log
        super().__init__(*args, **kwargs)

    def do_GET(self):
        self.log.append(re.sub("/+", "/", self.path))
        super().do_GET()

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def serving(directory, log):
    handler = functools.partial(LoggingHandler, directory=directory, log=log)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        server.server_close()


# ---------------------------------------------------------------------------------------------
# Watching the installation root


class RootWatch:
    """Creations, arrivals and removals of names in one folder, through inotify."""

    CREATE, DELETE, MOVED_TO, OVERFLOW = 0x100, 0x200, 0x80, 0x4000
    HEADER = struct.Struct("iIII")

    def __init__(self, folder):
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        check(self.fd >= 0, f"inotify_init1: {os.strerror(ctypes.get_errno())}")
        if libc.inotify_add_watch(self.fd, os.fsencode(folder),
                                  self.CREATE | self.DELETE | self.MOVED_TO) < 0:
            error = ctypes.get_errno()
            os.close(self.fd)
            raise Failure(f"inotify_add_watch {folder}: {os.strerror(error)}")
        self.journal_writes = 0
        self.swapping = False
        self.marked = set()

    def close(self):
        os.close(self.fd)

    def marks(self, timeout):
        """(seconds, mark) for each point of the step seen within `timeout`: "journal" (it
        appears), "swap" (it is rewritten for the swaps), "swapped" (the first file renamed into
        place), "clean-up" (the first kept copy removed), "done" (the journal removed)."""
        found = []
        for seen, mask, name in self.events(timeout):
            mark = None
            if name == JOURNAL and mask & (self.CREATE | self.MOVED_TO):
                self.journal_writes += 1
                mark = "journal" if self.journal_writes == 1 else "swap"
                self.swapping = self.journal_writes > 1
            elif name == JOURNAL and mask & self.DELETE:
                mark = "done"
            elif name.endswith(KEPT) and mask & self.DELETE:
                mark = "clean-up"
            elif (self.swapping and mask & self.MOVED_TO and
                  not name.endswith((".old", KEPT, STAGED))):
                mark = "swapped"
            if mark and mark not in self.marked:
                self.marked.add(mark)
                found.append((seen, mark))
        return found

    def events(self, timeout):
        if not select.select([self.fd], [], [], timeout)[0]:
            return []
        seen = time.perf_counter()
        buffer = os.read(self.fd, 1 << 16)
        events = []
        offset = 0
        while offset < len(buffer):
            _, mask, _, length = self.HEADER.unpack_from(buffer, offset)
            offset += self.HEADER.size
            name = buffer[offset:offset + length].rstrip(b"\0").decode(errors="replace")
            offset += length
            check(not mask & self.OVERFLOW, "the inotify queue overflowed")
            events.append((seen, mask, name))
        return events


# ---------------------------------------------------------------------------------------------
# Trees


def snapshot(root):
    """path -> ("dir",), ("file", md5) or ("link", target) for everything below the root
    except the host stub's own output."""
    tree = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, root)
            if relative in HOST_OUTPUT:
                continue
            if os.path.islink(path):
                tree[relative] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                tree[relative] = ("dir",)
            else:
                with open(path, "rb") as f:
                    tree[relative] = digest(f.read())
    return tree


def digest(data):
    return ("file", hashlib.md5(data).hexdigest())


def describe(entry):
    if entry is None:
        return "missing"
    return entry[0] if len(entry) == 1 else f"{entry[0]} {entry[1][:8]}"


def differences(actual, expected, limit=8):
    """How many paths differ, and the first few of them."""
    lines = [f"    {path}: {describe(actual.get(path))} (expected "
             f"{describe(expected.get(path))})"
             for path in sorted(set(actual) | set(expected))
             if actual.get(path) != expected.get(path)]
    more = [f"    ... and {len(lines) - limit} more"] if len(lines) > limit else []
    return len(lines), "\n".join(lines[:limit] + more)


def left_on_disk(root):
    """What the step had done when it was stopped: its phase and the count of staged and kept
    files still there."""
    counts = {STAGED: 0, KEPT: 0}
    for _, _, files in os.walk(root):
        for name in files:
            for suffix in counts:
                counts[suffix] += name.endswith(suffix)
    try:
        with open(os.path.join(root, JOURNAL), "rb") as f:
            phase_line = f.read().split(b"\n")[2:3]
    except FileNotFoundError:
        return "finished", counts
    check(phase_line in ([b"phase prepare"], [b"phase swap"]),
          f"the journal's phase line is {phase_line!r}")
    if phase_line == [b"phase prepare"]:
        return "staging", counts
    return ("swapping" if counts[STAGED] else "clean-up"), counts


# ---------------------------------------------------------------------------------------------
# Processes


ENVIRONMENT = dict(os.environ, QT_QPA_PLATFORM="offscreen", LANG="C.UTF-8", LC_ALL="C.UTF-8")


def start_updater(install, mode):
    return subprocess.Popen([os.path.join(install, "update"), mode], cwd=install,
                            env=ENVIRONMENT, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


def run_updater(install, mode):
    process = start_updater(install, mode)
    try:
        out, _ = process.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        process.kill()
        process.communicate()
        raise Failure(f"`update {mode}` did not end within 120 s")
    return process.returncode, out


def wait_for_host(install, why):
    """Waits for the host program's record of its start, then removes it."""
    record = os.path.join(install, HOST + ".record")
    deadline = time.monotonic() + 10
    while not os.path.exists(record):
        check(time.monotonic() < deadline, f"{why}: the host program was not started")
        time.sleep(0.005)
    os.remove(record)


def processes_under(folder):
    """Ids of the running processes whose program lies below the folder."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            with contextlib.suppress(OSError):
                if os.readlink(f"/proc/{entry}/exe").startswith(folder + os.sep):
                    found.append(int(entry))
    return found


def end_processes_under(folder):
    """Ends what still runs from the folder (all of it started by this run); the ids found
    after a short wait for the host program to exit on its own."""
    deadline = time.monotonic() + 5
    while processes_under(folder) and time.monotonic() < deadline:
        time.sleep(0.01)
    stray = processes_under(folder)
    for pid in stray:
        with contextlib.suppress(ProcessLookupError):
            os.kill(pid, signal.SIGKILL)
    return stray


# ---------------------------------------------------------------------------------------------
# The rounds


class Bench:
    """The publications, the version 1 installation to copy and the reference trees."""

    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.log = []
        with open(args.host_stub, "rb") as f:
            host = f.read()
        self.v0, self.v1, self.v2 = (release(version, host) for version in range(3))
        self.server = os.path.join(work, "server")
        self.template = os.path.join(work, "template")
        self.rounds = 0

    def set_up(self, url):
        """Version 0 laid out by hand, version 1 installed over it by a real update, version 2
        published."""
        publish(self.args.publish, self.v1, os.path.join(self.work, "v1"), self.server, "v1")
        root = os.path.join(self.template, "install")
        write_tree(root, self.v0)
        os.chmod(os.path.join(root, HOST), 0o755)
        shutil.copy2(self.args.updater, os.path.join(root, "update"))
        with open(os.path.join(root, "system.cfg"), "w") as f:
            # Relative to the working directory, the installation root: the cache lies beside
            # the installation, outside the trees compared.
            f.write(f"[Update]\nURL={url}\nCache=../cache\nExeName={HOST}\n")
        code, out = run_updater(root, "console")
        check((code, out) == (0, CHECKED), f"installing version 1: exit {code}, report {out!r}")
        shutil.rmtree(os.path.join(self.template, "cache"))
        self.v1_tree = snapshot(root)
        for path, data in self.v1.items():
            check(self.v1_tree.get(path) == digest(data), f"version 1: {path} not installed")
            if path in self.v0 and path != HOST:
                check(self.v1_tree.get(path + ".old") == digest(self.v0[path]),
                      f"version 1: {path}.old does not hold version 0")
        check(self.v1_tree.get(SAVED_LIST, ("",))[0] == "file", "version 1: no saved list")
        publish(self.args.publish, self.v2, os.path.join(self.work, "v2"), self.server, "v2")

    @contextlib.contextmanager
    def fresh_copy(self):
        """A copy of the version 1 installation, removed afterwards with its cache."""
        self.rounds += 1
        place = os.path.join(self.work, f"round{self.rounds}")
        subprocess.run(["cp", "-a", self.template, place], check=True)
        failed = True
        try:
            yield os.path.join(place, "install")
            failed = False
        finally:
            stray = end_processes_under(place)
            shutil.rmtree(place)
            # A failure already on its way says more than the processes it left behind.
            check(failed or not stray, f"processes still running from the installation: {stray}")

    def check_v2(self, tree):
        """Every listed path holds version 2, and what each replaced is its ".old" copy."""
        for path, data in self.v2.items():
            check(tree.get(path) == digest(data),
                  f"version 2: {path} is {describe(tree.get(path))}")
            if path in self.v1 and self.v1[path] != data:
                check(tree.get(path + ".old") == digest(self.v1[path]),
                      f"version 2: {path}.old does not hold version 1")
        check(tree.get("data.old") == digest(self.v1["data"]),
              "version 2: data.old does not hold version 1")
        for name in ("a.ini", "b.ini"):
            check(tree.get(f"conf.old/{name}") == digest(self.v1[f"conf/{name}"]),
                  f"version 2: conf.old/{name} does not hold version 1")
        stray = [path for path in tree if path.endswith((STAGED, KEPT)) or path == JOURNAL]
        check(not stray, f"version 2: the step left {stray[:5]}")
        check(tree.get(SAVED_LIST, ("",))[0] == "file", "version 2: no saved list")

    def calibrate(self):
        """An uninterrupted update to version 2: the reference tree and the times of the marks."""
        with self.fresh_copy() as install:
            marks, code, out = self.run_console(install, aim=None)
            check((code, out) == (0, CHECKED),
                  f"updating to version 2: exit {code}, report {out!r}")
            self.v2_tree = snapshot(install)
            self.check_v2(self.v2_tree)
        missing = [m for m in ("journal", "swap", "swapped", "clean-up", "done") if m not in marks]
        check(not missing, f"the installation root never showed {missing}")
        return marks

    def run_console(self, install, aim):
        """Runs `update console`, sending SIGKILL at `aim` = (mark, delay in seconds) if given.
        Returns the marks seen (mark -> seconds), the exit code and the report."""
        watch = RootWatch(install)
        process = start_updater(install, "console")
        seen = {}
        try:
            deadline = time.monotonic() + 120
            while process.poll() is None and not (aim and aim[0] in seen):
                check(time.monotonic() < deadline, "`update console` did not end within 120 s")
                for when, mark in watch.marks(0.05):
                    seen[mark] = when
            if aim and aim[0] in seen:
                until = seen[aim[0]] + aim[1]
                while time.perf_counter() < until:
                    pass
                process.send_signal(signal.SIGKILL)
            out, _ = process.communicate(timeout=120)
        finally:
            watch.close()
            if process.poll() is None:
                process.kill()
                process.communicate()
        return seen, process.returncode, out

    def kill_round(self, aim, recover_with):
        """One kill at `aim`, recovery by `update restart` or `update console`, and a last
        `update console`. Returns the phase the kill hit and the staged and kept files it
        left."""
        name = f"kill at {aim[0]} + {aim[1] * 1000:.1f} ms"
        with self.fresh_copy() as install:
            first = len(self.log)
            _, code, out = self.run_console(install, aim)
            # A kill aimed at the end may come after the updater has exited on its own.
            check(code in (-signal.SIGKILL, 0), f"{name}: `update console` ended with {code}")
            check(out == CHECKED, f"{name}: the killed run reported {out!r}")
            fetched = set(self.log[first:])
            listed = {f"/v2/{path}" for path in self.v2 if path != HOST}
            check(listed <= fetched, f"{name}: the killed run did not download every file")
            phase, counts = left_on_disk(install)
            name += f" ({phase}, left {counts[STAGED]} staged and {counts[KEPT]} kept files)"
            if recover_with == "restart":
                self.expect_recovery(install, name, phase)
            second = len(self.log)
            code, out = run_updater(install, "console")
            # Only an installation put back to version 1 still has something to install.
            expected = 0 if OUTCOME[phase] == "version 1" else 1
            check((code, out) == (expected, CHECKED),
                  f"{name}: the `update console` after it ended with {code}, report {out!r}")
            self.expect_version(snapshot(install), "version 2", f"{name}, then `update console`")
            again = sorted(set(self.log[second:]) & listed)
            check(not again, f"{name}: the next run fetched again {len(again)} files the killed "
                             f"run had downloaded, e.g. {again[:3]}")
        return phase, counts

    def expect_recovery(self, install, name, phase):
        """`update restart` brings the installation to the one version the phase calls for."""
        code, out = run_updater(install, "restart")
        check((code, out) == (1, b""), f"{name}: `update restart` ended with {code}, "
                                       f"output {out!r}")
        wait_for_host(install, f"{name}, `update restart`")
        tree = snapshot(install)
        what = f"{name}, then `update restart`"
        if OUTCOME[phase] == "version 2":
            # Completing the step removes the saved list of version 1; the driver had not
            # written that of version 2 unless the kill came after it.
            check(tree.get(SAVED_LIST) in (None, self.v2_tree[SAVED_LIST]),
                  f"{what}: the saved list is {describe(tree.get(SAVED_LIST))}")
            tree[SAVED_LIST] = self.v2_tree[SAVED_LIST]
        self.expect_version(tree, OUTCOME[phase], what)

    def expect_version(self, tree, version, what):
        """The tree is that of `version`; otherwise how it differs from either."""
        references = {"version 1": self.v1_tree, "version 2": self.v2_tree}
        if tree == references[version]:
            return
        report = [f"{what}: the installation is not {version}"]
        for other, reference in references.items():
            count, shown = differences(tree, reference)
            report.append(f"  {count} paths differ from {other}:\n{shown}")
        raise Failure("\n".join(report))


def kill_points(marks):
    """(mark, delay in seconds) aims spread over the step by the calibration run's times."""
    staging = marks["swap"] - marks["journal"]
    swapping = marks["clean-up"] - marks["swap"]
    return [("journal", 0.0), ("journal", staging / 3), ("journal", 2 * staging / 3),
            ("swap", 0.0), ("swapped", 0.0), ("swap", swapping / 3), ("swap", 2 * swapping / 3),
            ("clean-up", 0.0), ("done", 0.0)]


# A kill point for each phase in case none hit it yet.
SURE_POINTS = {"staging": ("journal", 0.0), "swapping": ("swap", 0.0),
               "clean-up": ("clean-up", 0.0)}


def run_rounds(bench):
    marks = bench.calibrate()
    print("uninterrupted step: staging {:.1f} ms, swaps {:.1f} ms, clean-up {:.1f} ms".format(
        1000 * (marks["swap"] - marks["journal"]), 1000 * (marks["clean-up"] - marks["swap"]),
        1000 * (marks["done"] - marks["clean-up"])), flush=True)
    hits = {phase: 0 for phase in PHASES + ("finished",)}

    def one(aim, recover_with):
        phase, counts = bench.kill_round(aim, recover_with)
        hits[phase] += 1
        print(f"kill at {aim[0]} + {aim[1] * 1000:.1f} ms: {phase} ({counts[STAGED]} staged, "
              f"{counts[KEPT]} kept files), `update {recover_with}` made it {OUTCOME[phase]}",
              flush=True)

    for aim in kill_points(marks):
        one(aim, "restart")
    one(("swap", (marks["clean-up"] - marks["swap"]) / 2), "console")
    for _ in range(EXTRA_ROUNDS):
        missing = [phase for phase in PHASES if not hits[phase]]
        if not missing:
            break
        one(SURE_POINTS[missing[0]], "restart")
    print("kills per phase: " + ", ".join(f"{phase} {count}" for phase, count in hits.items()))
    missing = [phase for phase in PHASES if not hits[phase]]
    check(not missing, f"no kill hit the {' or '.join(missing)} phase")


def work_parent():
    return "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--updater", required=True, help="the built updater")
    parser.add_argument("--publish", required=True, help="the built update-publish")
    parser.add_argument("--host-stub", required=True,
                        help="a program that records how it was started")
    args = parser.parse_args()
    # CTest ends a test that runs too long with SIGTERM: the work folder still goes.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))

    started = time.monotonic()
    try:
        with tempfile.TemporaryDirectory(prefix="update-kill-", dir=work_parent()) as work:
            bench = Bench(args, work)
            with serving(bench.server, bench.log) as url:
                bench.set_up(url)
                run_rounds(bench)
    except Failure as failure:
        print(f"FAILED: {failure}", flush=True)
        return 1
    print(f"passed: {bench.rounds} updates in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
