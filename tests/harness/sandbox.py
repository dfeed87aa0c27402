"""Runs the launcher, unchanged, under Wine in a sandbox of its own.

The sandbox is a private network namespace (loopback only) with a hosts file
of ours bind-mounted over /etc/hosts, so the launcher's configured host names
reach the local stand-in service or nothing at all; a private Wine prefix whose
home, desktop and application data live in a temporary folder; the ANSI code
page 936; and a stub browser that records the URLs handed to it. Nothing is
left outside the temporary folder: the namespace's mounts vanish with it.

A script calls `enter()` first thing; it re-runs the script inside the
namespace (as root there, which Wine and port 80 need) and returns there.
"""
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
STANDIN = os.path.join(ROOT, "tools", "standin", "standin_service.py")
WINE = os.path.join(ROOT, "tools", "wine")
INSIDE = "LAUNCHER_SANDBOX_INSIDE"
# A ready-made prefix (see make_template) that each sandbox copies instead of
# booting one of its own: booting is most of a test file's set-up time.
TEMPLATE = "LAUNCHER_WINE_TEMPLATE"

# Wine helpers inherit the standard streams of what started them; reading
# those through a pipe would wait for an end that never comes, so every Wine
# process writes to a file.
# No Linux menu entries for saved shortcuts, and no offer to install Mono or
# Gecko on a fresh prefix.
DLL_OVERRIDES = "winemenubuilder.exe=d;mscoree=d;mshtml=d"
WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": DLL_OVERRIDES,
    "LANG": "zh_CN.UTF-8",
    "LC_ALL": "zh_CN.UTF-8",
}

# (key, value or None for the default, type, data) set in every prefix: no
# crash dialog; and a 64-bit browser, as most are, even for a 32-bit caller:
# Wine's helper copied out of system32, where WoW64 would hand a 32-bit
# caller the 32-bit one. Under emulation a launch then starts one emulated
# process, not two.
BROWSER = r'"C:\windows\winebrowser.exe" "%1"'
PREFIX_SETTINGS = [
    (r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog", "REG_DWORD", "0"),
    (r"HKLM\Software\Classes\https\shell\open\command", None, "REG_SZ", BROWSER),
    (r"HKLM\Software\Classes\http\shell\open\command", None, "REG_SZ", BROWSER),
]


def enter():
    """Re-runs this script in a private network and mount namespace."""
    if os.environ.get(INSIDE) == "1":
        return
    env = dict(os.environ, **{INSIDE: "1"})
    command = ["unshare", "--net", "--mount", "--map-root-user", "--propagation", "private",
               sys.executable, *sys.argv]
    sys.stdout.flush()
    os.execvpe("unshare", command, env)


def read_build_options(exe):
    """The LAUNCHER_* options the exe was built with, from its build's cache."""
    build = os.path.dirname(os.path.abspath(exe))
    while not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        if build == os.path.dirname(build):
            raise RuntimeError(f"{exe} is not inside a CMake build folder")
        build = os.path.dirname(build)
    options = {}
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("LAUNCHER_") and "=" in line:
                name, value = line.rstrip("\n").split("=", 1)
                options[name.split(":")[0]] = value
    return options


def is_32_bit(exe):
    """Whether a PE image is built for 32-bit x86."""
    with open(exe, "rb") as f:
        image = f.read(4096)
    pe = int.from_bytes(image[0x3C:0x40], "little")
    return image[pe + 4:pe + 6] == b"\x4c\x01"  # IMAGE_FILE_MACHINE_I386


def runs_emulated(exe):
    """Whether `exe` runs under qemu here: a 32-bit program on a host that
    runs no 32-bit code itself (64-bit Wine always runs natively)."""
    if not is_32_bit(exe):
        return False
    return subprocess.run([WINE, "--host"], capture_output=True, text=True).stdout.strip() == "emulated"


def windows_path(path):
    """How Wine's Z: drive names a Linux path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Sandbox:
    """One Wine prefix, one stand-in service, one stub browser."""

    def __init__(self, service_host, keep=False, directory=None):
        self.service_host = service_host
        self.keep = keep
        self.dir = directory or tempfile.mkdtemp(prefix="launcher-sandbox-")
        self.home = os.path.join(self.dir, "home")
        self.desktop = os.path.join(self.home, "Desktop")
        self.prefix = os.path.join(self.dir, "prefix")
        self.bin = os.path.join(self.dir, "bin")
        self.urls_file = os.path.join(self.dir, "urls.txt")
        self.service_log = os.path.join(self.dir, "service.jsonl")
        self.mode_file = os.path.join(self.dir, "service-mode")
        self.hosts_file = os.path.join(self.dir, "hosts")
        self.service = None
        self.env = None

    # ------------------------------------------------------------ set-up

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        if os.environ.get(INSIDE) != "1":
            raise RuntimeError("call sandbox.enter() first")
        self._make_home()
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        self.resolve_service(True)
        subprocess.run(["mount", "--bind", self.hosts_file, "/etc/hosts"], check=True)
        template = os.environ.get(TEMPLATE)
        if template:
            self._copy_prefix(template)
        self.server("-p")
        if not template:
            self._boot_prefix()
        self.start_service()

    def make_template(self):
        """Boots the prefix that the sandboxes of one test run copy."""
        self._make_home()
        self._boot_prefix()
        self.server("-w")  # the registry is on disk once the server is gone
        open(os.path.join(self.dir, "ready"), "w").close()

    def _make_home(self):
        os.makedirs(self.desktop)
        os.makedirs(self.bin)
        self._write_browser_stub()
        self.env = dict(os.environ, HOME=self.home, WINEPREFIX=self.prefix,
                        PATH=self.bin + os.pathsep + os.environ.get("PATH", ""),
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
                        **WINE_ENV)
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)

    def stop(self):
        self.stop_service()
        if self.env is not None:
            self.server("-k")
        if not self.keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    def _boot_prefix(self):
        status = self.wine(["wineboot", "--init"], wait=True, timeout=600)
        if status != 0 or not glob.glob(os.path.join(self.prefix, "drive_c", "users", "*")):
            raise RuntimeError(f"Wine could not make a prefix (status {status}, log in "
                               f"{self.dir}); tools/setup says how this host runs Wine")
        windows = os.path.join(self.prefix, "drive_c", "windows")
        shutil.copy(os.path.join(windows, "system32", "winebrowser.exe"), windows)
        for key, value, kind, data in PREFIX_SETTINGS:
            self.wine(["reg", "add", key, *(["/v", value] if value else ["/ve"]),
                       "/t", kind, "/d", data, "/f"], wait=True)

    def _copy_prefix(self, template):
        """The template's prefix, with its links into the template's home
        (Desktop, Documents, ...) pointed at this sandbox's home instead."""
        if not os.path.exists(os.path.join(template, "ready")):
            raise RuntimeError(f"{template} holds no finished Wine prefix")
        subprocess.run(["cp", "-a", "--reflink=auto", os.path.join(template, "prefix"),
                        self.prefix], check=True)
        old_home = os.path.join(template, "home")
        for folder, dirs, files in os.walk(os.path.join(self.prefix, "drive_c", "users")):
            for link in (os.path.join(folder, name) for name in dirs + files):
                target = os.readlink(link) if os.path.islink(link) else ""
                if target == old_home or target.startswith(old_home + os.sep):
                    os.remove(link)
                    os.symlink(self.home + target[len(old_home):], link)

    def _write_browser_stub(self):
        stub = os.path.join(self.bin, "xdg-open")
        with open(stub, "w") as f:
            f.write('#!/bin/sh\nprintf \'%s\\n\' "$*" >> "' + self.urls_file + '"\n')
        os.chmod(stub, 0o755)

    def resolve_service(self, reachable):
        """Whether the service host resolves (to the stand-in) or not at all."""
        lines = ["127.0.0.1 localhost"]
        if reachable:
            lines.append(f"127.0.0.1 {self.service_host}")
        with open(self.hosts_file, "w") as f:
            f.write("\n".join(lines) + "\n")

    # ------------------------------------------------------------ service

    def start_service(self):
        ready = os.path.join(self.dir, "service-ready")
        if os.path.exists(ready):
            os.remove(ready)
        out = open(os.path.join(self.dir, "service.out"), "ab")
        self.service = subprocess.Popen(
            [sys.executable, STANDIN, "--port", "80", "--bind", "127.0.0.1",
             "--log", self.service_log, "--mode-file", self.mode_file, "--ready-file", ready],
            stdout=out, stderr=out, stdin=subprocess.DEVNULL)
        out.close()
        deadline = time.time() + 10
        while not os.path.exists(ready):
            if self.service.poll() is not None or time.time() > deadline:
                raise RuntimeError("the stand-in service did not start")
            time.sleep(0.05)

    def stop_service(self):
        if self.service is not None:
            self.service.send_signal(signal.SIGTERM)
            try:
                self.service.wait(5)
            except subprocess.TimeoutExpired:
                self.service.kill()
            self.service = None

    def set_service_mode(self, mode):
        with open(self.mode_file, "w") as f:
            f.write(mode)

    def service_records(self):
        if not os.path.exists(self.service_log):
            return []
        with open(self.service_log, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    # ------------------------------------------------------------ launcher

    def wine(self, command, wait=False, timeout=120, stdout=None, env=None):
        """Runs a Windows program with its output going to a file, never a pipe."""
        out = open(stdout or os.path.join(self.dir, "wine.log"), "ab")
        try:
            process = subprocess.Popen([WINE, *command], env=dict(self.env, **(env or {})),
                                       stdout=out, stderr=out,
                                       stdin=subprocess.DEVNULL, cwd=self.dir)
        finally:
            out.close()
        if wait:
            try:
                return process.wait(timeout)
            except subprocess.TimeoutExpired:
                # Nothing of a stuck launch may outlive it into the next case.
                self.server("-k")
                process.kill()
                process.wait()
                raise
        return process

    def server(self, *args):
        return self.wine(["--server", *args], wait=True)

    @property
    def users_dir(self):
        found = glob.glob(os.path.join(self.prefix, "drive_c", "users", "*", "AppData", "Local"))
        found = [p for p in found if os.sep + "Public" + os.sep not in p]
        if not found:
            raise RuntimeError(f"no user profile in the Wine prefix {self.prefix}")
        return found[0]

    @property
    def data_folder(self):
        return os.path.join(self.users_dir, "OrvikWD")

    @property
    def id_file(self):
        return os.path.join(self.data_folder, "id.ini")

    def reset(self, mode="normal", reachable=True):
        """Forgets what earlier launches left: id file, shortcut, URLs, requests."""
        for path in (self.data_folder, self.desktop):
            if os.path.islink(path) or os.path.isfile(path):
                os.remove(path)
            elif os.path.isdir(path):
                subprocess.run(["chmod", "-R", "u+rwx", path], check=False)
                shutil.rmtree(path)
        os.makedirs(self.desktop, exist_ok=True)
        for path in (self.urls_file, self.service_log):
            if os.path.exists(path):
                os.remove(path)
        self.set_service_mode(mode)
        self.resolve_service(reachable)

    def launch(self, exe, args=(), timeout=120, expect_url=True, env=None):
        """Runs one launch to its end and gathers what it left behind."""
        log = os.path.join(self.dir, "launch.log")
        if os.path.exists(log):
            os.remove(log)
        seen_urls, seen_records = len(self.urls()), len(self.service_records())
        started = time.time()
        status = self.wine([exe, *args], wait=True, timeout=timeout, stdout=log, env=env)
        seconds = time.time() - started
        urls = self.wait_for_urls(seen_urls + (1 if expect_url else 0))[seen_urls:]
        records = self.settled_records()[seen_records:]
        with open(log, "rb") as f:
            output = f.read().decode("utf-8", "replace")
        return Launch(self, status, urls, records, output, seconds)

    def settled_records(self):
        """The service writes a record once its answer is out, which can be a
        moment after the launcher has read it and gone: wait for a quiet log."""
        records = self.service_records()
        while True:
            time.sleep(0.2)
            again = self.service_records()
            if len(again) == len(records):
                return again
            records = again

    def wait_for_urls(self, count, seconds=15):
        """The stub browser runs after the launcher's call returns: poll."""
        deadline = time.time() + seconds
        while True:
            urls = self.urls()
            if len(urls) >= count or time.time() > deadline:
                return urls
            time.sleep(0.05)

    def urls(self):
        if not os.path.exists(self.urls_file):
            return []
        with open(self.urls_file, encoding="utf-8", errors="replace") as f:
            return [line.rstrip("\n") for line in f]


class Launch:
    """What one launch did, as the tests and the demo read it."""

    def __init__(self, sandbox, status, urls, records, output, seconds):
        self.status = status
        self.urls = urls
        self.output = output
        self.seconds = seconds
        self.records = [r for r in records if not r.get("empty")]
        self.checks = [r for r in records if r.get("empty")]
        self.id_file = read_bytes(sandbox.id_file)
        self.shortcuts = sorted(os.listdir(sandbox.desktop)) if os.path.isdir(sandbox.desktop) else []

    @property
    def url(self):
        return self.urls[-1] if self.urls else None

    @property
    def crashed(self):
        return "Unhandled" in self.output or "page fault" in self.output

    def requests_to(self, path):
        return [r for r in self.records if r.get("path") == path]


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


# ---------------------------------------------------------------- tests


class SandboxTestCase(unittest.TestCase):
    """One sandbox for all the cases of a test class; each case starts from a
    machine where the launcher never ran. LAUNCHER_EXE names the exe."""

    @classmethod
    def setUpClass(cls):
        cls.exe = os.environ["LAUNCHER_EXE"]
        cls.options = read_build_options(cls.exe)
        cls.play_url = "https://{}/channel/{}/game/{}/play".format(
            cls.options["LAUNCHER_PORTAL_HOST"], cls.options["LAUNCHER_CHANNEL_ID"],
            cls.options["LAUNCHER_GAME_ID"])
        cls.sb = Sandbox(cls.options["LAUNCHER_SERVICE_HOST"])
        try:
            cls.sb.start()
        except BaseException:
            cls.sb.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.sb.stop()

    def setUp(self):
        self.sb.reset()

    def write_id_file(self, content):
        os.makedirs(self.sb.data_folder, exist_ok=True)
        with open(self.sb.id_file, "wb") as f:
            f.write(content)

    def launch(self, *args, **kwargs):
        return self.sb.launch(self.exe, *args, **kwargs)

    def assertLaunchedCleanly(self, launch):
        self.assertEqual(launch.status, 0, launch.output)
        self.assertFalse(launch.crashed, launch.output)
        self.assertEqual(len(launch.urls), 1, "one play page opened")


def main():
    """Runs a test file's cases; E2E_ONLY names a pattern of those to run."""
    enter()
    only = os.environ.get("E2E_ONLY")
    unittest.main(verbosity=2, argv=[sys.argv[0], *(["-k", only] if only else [])])


if __name__ == "__main__":
    # sandbox.py --make-template DIR: the prefix for one test run's sandboxes.
    if sys.argv[1:2] != ["--make-template"] or len(sys.argv) != 3:
        sys.exit("usage: sandbox.py --make-template DIR")
    shutil.rmtree(sys.argv[2], ignore_errors=True)
    Sandbox(None, keep=True, directory=sys.argv[2]).make_template()
