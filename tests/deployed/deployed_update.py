#!/usr/bin/env python3
"""Black-box runs of the deployed updater, the way an end user's machine runs it.

Copies the deployed program folder into a fresh installation, publishes releases with
update-publish behind a local HTTP(S) server on 127.0.0.1, runs `update console` and checks the
report, the exit code, the installed files with their ".old" copies and the relaunched host
program. With --wine the Windows program runs under Wine, once per --lang: the locale decides
Wine's ANSI code page (en_US.UTF-8: 1252, zh_CN.UTF-8: 936), and the file names of each run are
ones that code page can hold, published with the matching --path-encoding.

Scenarios: a console update over an existing installation, a signed update, a signed
publication with one file tampered with on the server (refused, nothing installed), an
update over HTTPS with a test certificate authority that is trusted only for the run, and the
way a user meets the updater: the example host application (examples/host), started without
arguments from a folder with a Chinese name, starts the updater, which updates the
installation and starts the host again with "no_check".

Exit status 0 when every scenario passed; the first failure is printed and ends the run with 1.
"""

import argparse
import contextlib
import functools
import http.server
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
CHECKED = b'{"errormsg":"","success":true,"update":true}'
SYSTEM_CA_DIR = "/usr/local/share/ca-certificates"
TEST_CA_NAME = "update-deployed-test-ca.crt"

# Per locale: the code page's name for update-publish and file names that code page holds.
LOCALES = {
    "en_US.UTF-8": ("windows-1252", ["café/Résumé.txt", "Übersicht.dll"]),
    "zh_CN.UTF-8": ("GBK", ["数据/文件.dll", "说明 文档.txt"]),
    "C.UTF-8": ("UTF-8", ["数据/文件.dll", "café/Résumé.txt"]),
}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def write_tree(root, files):
    for path, content in files.items():
        target = os.path.join(root, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(content)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@contextlib.contextmanager
def serving(directory, tls_context=None):
    handler = functools.partial(QuietHandler, directory=directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    if tls_context:
        server.socket = tls_context.wrap_socket(server.socket, server_side=True)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    scheme = "https" if tls_context else "http"
    try:
        yield f"{scheme}://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        server.server_close()


def run_tool(arguments, env=None):
    result = subprocess.run(arguments, capture_output=True, env=env, timeout=300)
    if result.returncode != 0:
        raise Failure(f"{' '.join(arguments)} failed:\n{result.stderr.decode(errors='replace')}")
    return result.stdout.decode()


class Machine:
    """Runs the updater natively or under Wine with one locale."""

    def __init__(self, args, lang, work):
        self.args = args
        self.lang = lang
        self.env = dict(os.environ, LANG=lang, LC_ALL=lang)
        if args.wine:
            self.env.update(WINEPREFIX=os.path.join(work, "wineprefix"), WINEDEBUG="-all",
                            WINEQT_QPA_PLATFORM="offscreen")
        else:
            self.env["QT_QPA_PLATFORM"] = "offscreen"

    def run(self, program, arguments, cwd):
        command = [WINE, program, *arguments] if self.args.wine else [program, *arguments]
        result = subprocess.run(command, capture_output=True, env=self.env, cwd=cwd,
                                timeout=300)
        if self.args.wine:
            # What it started is detached and outlives wine64 itself.
            subprocess.run([WINESERVER, "-w"], env=self.env, timeout=120)
        return result.returncode, result.stdout

    def run_updater(self, install):
        return self.run(os.path.join(install, self.args.program), ["console"], install)

    def host_record(self, host, suffix=".record", lines=1):
        """The lines a started host wrote to its file once there are `lines` of them, waiting
        briefly (the host may be still on its way); None if it wrote none."""
        deadline = time.monotonic() + 20
        record = None
        while time.monotonic() < deadline:
            record = read(host + suffix)
            if record is not None and record.count(b"\n") >= lines:
                break
            time.sleep(0.1)
        if record is None:
            return None
        return record.decode("utf-8").replace("\r\n", "\n").split("\n")[:-1]

    def same_file(self, reported, path):
        """Whether a path the program reported names `path` (Wine shows Z:\\... or Z:/...)."""
        if self.args.wine:
            reported = reported.replace("\\", "/")
            check(reported[:2].lower() == "z:", f"{reported!r} is not on Wine's Z: drive")
            reported = reported[2:]
        return os.path.realpath(reported) == os.path.realpath(path)


class Scenario:
    def __init__(self, machine, work, names, install="install", host=None):
        self.machine = machine
        self.args = machine.args
        self.root = tempfile.mkdtemp(dir=work)
        self.server = os.path.join(self.root, "server")
        self.install = os.path.join(self.root, install)
        self.host = os.path.join(self.install, "Host.exe")
        self.updater = os.path.join(self.install, self.args.program)
        os.makedirs(self.server)
        shutil.copytree(self.args.program_dir, self.install)
        shutil.copy(host or self.args.host_stub, self.host)
        self.old = {"app.dll": b"application 1.0", names[0]: b"first 1.0", names[1]: b"x" * 10}
        self.new = {"app.dll": b"application 2.0", names[0]: b"first 2.0 " * 1000,
                    names[1]: b"second 2.0", "lib/new.dat": b"new in 2.0"}
        write_tree(self.install, self.old)

    def publish(self, extra=()):
        release = os.path.join(self.root, "release")
        write_tree(release, self.new)
        # A native run decodes list paths in the machine's own encoding, Wine in the ANSI
        # code page of the locale.
        encoding = LOCALES[self.machine.lang][0] if self.args.wine else "UTF-8"
        run_tool([self.args.publish, "--quiet", "--type", "1", "--path-encoding", encoding,
                  *extra, release, self.server])

    def configure(self, url, public_key=None):
        lines = ["[Update]", f"URL={url}", "ExeName=Host.exe"]
        if public_key:
            lines.append(f"PublicKey={public_key}")
        with open(os.path.join(self.install, "system.cfg"), "w") as f:
            f.write("\n".join(lines) + "\n")

    def expect_new_files(self):
        for path, content in self.new.items():
            check(read(os.path.join(self.install, path)) == content, f"{path} is not the new one")
        for path, content in self.old.items():
            check(read(os.path.join(self.install, path + ".old")) == content,
                  f"{path}.old is not the previous content")

    def expect_installed(self):
        code, out = self.machine.run_updater(self.install)
        check((code, out) == (0, CHECKED),
              f"exit code {code}, report {out!r}")
        self.expect_new_files()
        record = self.machine.host_record(self.host)
        check(record is not None, "the host program was not started")
        check(len(record) == 3 and record[2] == "no_check", f"host arguments {record[1:]!r}")
        check(self.machine.same_file(record[1], self.updater),
              f"the host was told {record[1]!r} as the updater's path")

    def expect_refused(self, text):
        """A check that passed (first report), then the download refused with `text`."""
        code, out = self.machine.run_updater(self.install)
        expected = CHECKED + ('{"errormsg":"%s","success":false,"update":false}' % text).encode()
        check((code, out) == (1, expected),
              f"exit code {code}, report {out.decode('utf-8', errors='replace')!r}")
        for path, content in self.old.items():
            check(read(os.path.join(self.install, path)) == content, f"{path} was changed")
            check(not os.path.exists(os.path.join(self.install, path + ".old")),
                  f"{path} was moved aside")
        check(read(self.host + ".record") is None, "the host program was started")


def console_update(machine, work, names):
    scenario = Scenario(machine, work, names)
    scenario.publish()
    with serving(scenario.server) as url:
        scenario.configure(url)
        scenario.expect_installed()


def new_key(machine, scenario):
    key = os.path.join(scenario.root, "vendor.key")
    return run_tool([machine.args.publish, "--keygen", key]).strip().splitlines()[-1], key


def signed_update(machine, work, names):
    scenario = Scenario(machine, work, names)
    public_key, key = new_key(machine, scenario)
    scenario.publish(["--sign", key])
    with serving(scenario.server) as url:
        scenario.configure(url, public_key)
        scenario.expect_installed()


def tampered_file(machine, work, names):
    scenario = Scenario(machine, work, names)
    public_key, key = new_key(machine, scenario)
    scenario.publish(["--sign", key])
    with open(os.path.join(scenario.server, "Base", "app.dll"), "r+b") as f:
        f.write(b"A")  # same size, other content
    with serving(scenario.server) as url:
        scenario.configure(url, public_key)
        scenario.expect_refused("更新文件app.dll校验不对")


@contextlib.contextmanager
def trusted_test_ca(work):
    """A certificate authority trusted system-wide for the run only, and a server context."""
    pki = os.path.join(work, "pki")
    os.makedirs(pki)

    def openssl(*arguments):
        run_tool(["openssl", *arguments])

    ca_key, ca_cert = os.path.join(pki, "ca.key"), os.path.join(pki, "ca.crt")
    key, request, cert = (os.path.join(pki, name) for name in ("server.key", "server.csr",
                                                                  "server.crt"))
    extensions = os.path.join(pki, "server.ext")
    with open(extensions, "w") as f:
        f.write("subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca_cert,
            "-days", "2", "-subj", "/CN=update deployed test CA")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
            "-subj", "/CN=127.0.0.1")
    openssl("x509", "-req", "-in", request, "-CA", ca_cert, "-CAkey", ca_key, "-CAcreateserial",
            "-out", cert, "-days", "2", "-extfile", extensions)
    installed = os.path.join(SYSTEM_CA_DIR, TEST_CA_NAME)
    shutil.copy(ca_cert, installed)
    try:
        run_tool(["update-ca-certificates"])
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        yield context
    finally:
        os.remove(installed)
        subprocess.run(["update-ca-certificates", "--fresh"], capture_output=True)


def https_update(machine, work, names):
    scenario = Scenario(machine, work, names)
    scenario.publish()
    with trusted_test_ca(scenario.root) as context, serving(scenario.server, context) as url:
        scenario.configure(url)
        scenario.expect_installed()


def example_host(machine, work, names):
    """The user starts the example host: it starts the updater beside it and exits; the
    updater installs the mandatory update and starts the host again with "no_check"."""
    # A Chinese folder name in every locale: code page 1252 cannot hold it, so only a host that
    # keeps to wide-character APIs on Windows finds the updater and writes its log.
    scenario = Scenario(machine, work, names, install="宿主 程序", host=machine.args.example_host)
    scenario.publish()
    with serving(scenario.server) as url:
        scenario.configure(url)
        code, _ = machine.run(scenario.host, [], scenario.install)
        check(code == 0, f"the host's first run ended with exit code {code}")
        log = machine.host_record(scenario.host, ".log", lines=3)
    check(log is not None, "the host wrote no log")
    check(len(log) == 3, f"host log {log!r}: not one updater start and one run")
    started, first, second = log
    prefix = "started the updater: "
    check(started.startswith(prefix) and machine.same_file(started[len(prefix):],
                                                              scenario.updater),
          f"host log {log!r}: the updater beside the host was not started")
    check(first.startswith("argument 1: ") and machine.same_file(first[len("argument 1: "):],
                                                                    scenario.updater),
          f"host log {log!r}: the host was not told the updater's path")
    check(second == "argument 2: no_check", f"host log {log!r}: no no_check")
    scenario.expect_new_files()


SCENARIOS = [console_update, signed_update, tampered_file, https_update, example_host]


def ensure_locale(lang):
    if subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower().find(
            lang.lower().replace("utf-8", "utf8")) >= 0:
        return
    name, charset = lang.split(".")
    run_tool(["localedef", "-i", name, "-f", charset, lang])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program-dir", required=True,
                        help="the deployed folder holding the updater and what it needs")
    parser.add_argument("--program", default="update.exe", help="the updater's file name")
    parser.add_argument("--host-stub", required=True,
                        help="a program that records its working directory and arguments")
    parser.add_argument("--example-host", required=True,
                        help="the example host application, examples/host")
    parser.add_argument("--publish", required=True, help="update-publish for this machine")
    parser.add_argument("--wine", action="store_true", help="run the updater under Wine")
    parser.add_argument("--lang", action="append", choices=sorted(LOCALES),
                        help="locale of a round (repeatable; default C.UTF-8)")
    args = parser.parse_args()

    failed = False
    for lang in args.lang or ["C.UTF-8"]:
        ensure_locale(lang)
        with tempfile.TemporaryDirectory(prefix="update-deployed-") as work:
            machine = Machine(args, lang, work)
            for scenario in SCENARIOS:
                started = time.monotonic()
                try:
                    scenario(machine, work, LOCALES[lang][1])
                    outcome = "passed"
                except Failure as failure:
                    outcome = f"FAILED: {failure}"
                    failed = True
                print(f"{lang} {scenario.__name__}: {outcome} "
                      f"({time.monotonic() - started:.1f} s)", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
