#!/usr/bin/env python3
"""Measures the shipping launcher against a floor program under Wine.

The floor is the least a launcher could do: a program built with the same
toolchain and size flags whose only act is to open the same play page. Both
run alternately in one sandbox; the script prints medians and ranges of the
time to the page, the time to exit, the peak resident set, the connections the
stand-in service saw, and the image sizes and imports. It prints figures and
judges none of them.

    launch_bench.py [--runs N] [--exe PATH]
"""
import argparse
import os
import platform
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))
import sandbox  # noqa: E402

OUT = os.path.join(ROOT, "build", "bench")
CXX = "i686-w64-mingw32-g++-posix"
WINDRES = "i686-w64-mingw32-windres"
OBJDUMP = "i686-w64-mingw32-objdump"
# The shipping exe's size flags, so the floor differs from it only in what it does.
FLOOR_FLAGS = ["-Os", "-flto", "-s", "-static", "-mwindows", "-fno-exceptions", "-fno-rtti",
               "-fno-asynchronous-unwind-tables", "-ffunction-sections", "-fdata-sections",
               "-Wl,--gc-sections", "-Wl,--no-insert-timestamp", "-D__USE_MINGW_ANSI_STDIO=0"]
WARMUPS = 2
# Long-lived processes of a prefix; anything else still running means a
# launch (or Wine's own first boot) is not over yet.
SYSTEM_PROCESSES = ("wineserver", "services.exe", "winedevice.exe", "plugplay.exe",
                    "svchost.exe", "rpcss.exe", "explorer.exe", "holder.exe")


# ---------------------------------------------------------------- building

def build_program(name, source):
    """Compiles a one-file Windows program with the floor's flags."""
    os.makedirs(OUT, exist_ok=True)
    src = os.path.join(OUT, name + ".cpp")
    exe = os.path.join(OUT, name + ".exe")
    with open(src, "w", encoding="ascii") as f:
        f.write(source)
    subprocess.run([CXX, *FLOOR_FLAGS, src, "-o", exe, "-lshell32"], check=True)
    return exe


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def build_floor(url):
    return build_program("floor", (
        "#include <windows.h>\n#include <shellapi.h>\n"
        "int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {\n"
        f"  ShellExecuteA(NULL, \"open\", {c_string(url)}, NULL, NULL, SW_SHOWNORMAL);\n"
        "  return 0;\n}\n"))


def build_holder():
    # Attaching to the desktop and staying keeps the prefix's server, services
    # and desktop up between runs, as they are on a running Windows session;
    # otherwise Wine tears them down a second or two after each launch.
    return build_program("holder", (
        "#include <windows.h>\n"
        "int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {\n"
        "  GetDesktopWindow();\n  Sleep(INFINITE);\n  return 0;\n}\n"))


def size_without_icon(exe):
    """Relinks the exe's own objects with a resource script holding only the
    manifest; a relink with the full script must reproduce the exe exactly,
    else the figure is not comparable and is withheld."""
    build = os.path.dirname(os.path.dirname(os.path.abspath(exe)))
    try:
        out = subprocess.run(["ninja", "-C", build, "-t", "commands", "launcher"],
                             check=True, capture_output=True, text=True).stdout
        link = [line for line in out.splitlines() if " -o bin/launcher.exe " in line][-1]
        args = shlex.split(link.split("&&")[1])
        res = next(a for a in args if a.endswith("launcher.rc.res"))
        manifest = os.path.join(ROOT, "resources", "launcher.manifest")
        rc = os.path.join(OUT, "manifest_only.rc")
        with open(rc, "w", encoding="ascii") as f:
            f.write(f'1 24 "{manifest}"\n')
        res_noicon = os.path.join(OUT, "manifest_only.res")
        subprocess.run([WINDRES, "-O", "coff", rc, res_noicon], check=True)

        def relink(resource, output):
            cmd, skip = [], False
            for a in args:
                if skip:
                    skip = False
                    continue
                if a == "-o":
                    cmd += ["-o", output]
                    skip = True
                elif a.startswith("-Wl,--out-implib"):
                    continue
                else:
                    cmd.append(resource if a == res else a)
            subprocess.run(cmd, check=True, cwd=build, capture_output=True)
            return output

        same = relink(res, os.path.join(OUT, "relinked.exe"))
        with open(same, "rb") as a, open(exe, "rb") as b:
            if a.read() != b.read():
                return None, "relink does not reproduce the exe"
        return os.path.getsize(relink(res_noicon, os.path.join(OUT, "no_icon.exe"))), None
    except (OSError, subprocess.CalledProcessError, IndexError, StopIteration) as e:
        return None, f"relink failed: {e}"


# Python's own size would count as the peak of any child it forks, so a small
# native program forks `wine exe` instead and reports, for that child alone,
# the wall clock just before the fork and after the wait, and its peak RSS
# (`wine` execs into the process that hosts the exe: one pid throughout).
TIMER_SOURCE = r"""
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static pid_t child;
static void give_up(int sig) { (void)sig; kill(child, SIGKILL); }

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  struct timespec start, end;
  struct rusage usage;
  int status = 0;
  clock_gettime(CLOCK_REALTIME, &start);
  child = fork();
  if (child == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  signal(SIGALRM, give_up);
  alarm(120);
  while (wait4(child, &status, 0, &usage) < 0) {}
  clock_gettime(CLOCK_REALTIME, &end);
  FILE* f = fopen(argv[1], "w");
  if (!f) return 1;
  fprintf(f, "%lld.%09ld %lld.%09ld %ld %d\n", (long long)start.tv_sec, start.tv_nsec,
          (long long)end.tv_sec, end.tv_nsec, usage.ru_maxrss,
          WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return fclose(f) != 0;
}
"""


def build_timer():
    os.makedirs(OUT, exist_ok=True)
    src, exe = os.path.join(OUT, "timed_run.c"), os.path.join(OUT, "timed_run")
    with open(src, "w", encoding="ascii") as f:
        f.write(TIMER_SOURCE)
    subprocess.run(["gcc", "-O2", "-Wall", src, "-o", exe], check=True)
    return exe


def imports(exe):
    out = subprocess.run([OBJDUMP, "-p", exe], capture_output=True, text=True).stdout
    return [line.split("DLL Name:")[1].strip() for line in out.splitlines() if "DLL Name:" in line]


# ---------------------------------------------------------------- running

class Bench:
    def __init__(self, sb, timer):
        self.sb = sb
        self.timer = timer
        self.stamps = os.path.join(sb.dir, "page-stamps.txt")
        self.log = os.path.join(sb.dir, "bench-wine.log")
        self._write_stub()

    def _write_stub(self):
        # bash's $EPOCHREALTIME needs no fork, so the stamp is taken as the
        # browser starts; the plain list keeps the harness's own view working.
        stub = os.path.join(self.sb.bin, "xdg-open")
        with open(stub, "w") as f:
            f.write("#!/bin/bash\nt=$EPOCHREALTIME\n"
                    f"printf '%s %s\\n' \"$t\" \"$*\" >> {shlex.quote(self.stamps)}\n"
                    f"printf '%s\\n' \"$*\" >> {shlex.quote(self.sb.urls_file)}\n")
        os.chmod(stub, 0o755)

    def stamped(self):
        if not os.path.exists(self.stamps):
            return []
        with open(self.stamps, encoding="utf-8", errors="replace") as f:
            return [line.rstrip("\n").split(" ", 1) for line in f if " " in line]

    def prefix_processes(self):
        """Command lines of the processes running in this sandbox's prefix."""
        mark = ("WINEPREFIX=" + self.sb.prefix).encode()
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if mark not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    found.append(f.read().replace(b"\0", b" ").decode("utf-8", "replace"))
            except OSError:
                continue
        return found

    def settle(self, seconds=30):
        """Waits until only the prefix's long-lived processes remain."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            busy = [c for c in self.prefix_processes()
                    if not any(name in c for name in SYSTEM_PROCESSES)]
            if not busy:
                return
            time.sleep(0.02)

    def run(self, exe, expect_page=True):
        """One launch: returns a dict of what it measured."""
        seen_pages = len(self.stamped())
        seen_records = len(self.sb.service_records())
        report = os.path.join(self.sb.dir, "timed.txt")
        if os.path.exists(report):
            os.remove(report)
        with open(self.log, "ab") as out:
            subprocess.run([self.timer, report, sandbox.WINE, exe], env=self.sb.env, stdout=out,
                           stderr=out, stdin=subprocess.DEVNULL, cwd=self.sb.dir)
        with open(report, encoding="ascii") as f:
            started, ended, rss_kb, status = f.read().split()
        started, ended = float(started), float(ended)
        deadline = time.time() + (15 if expect_page else 0)
        while len(self.stamped()) <= seen_pages and time.time() < deadline:
            time.sleep(0.01)
        pages = self.stamped()[seen_pages:]
        records = self.sb.settled_records()[seen_records:]
        self.settle()
        page = None
        if pages:
            page = float(pages[0][0].replace(",", ".")) - started
        return {"status": int(status), "page": page, "exit": ended - started,
                "rss": int(rss_kb) / 1024.0, "url": pages[0][1] if pages else None,
                "pages": len(pages), "conns": len(records),
                "empty": sum(1 for r in records if r.get("empty")),
                "bytes_in": sum(r.get("bytes_in", 0) for r in records),
                "bytes_out": sum(r.get("bytes_out", 0) for r in records)}


# ---------------------------------------------------------------- report

def med(values):
    return statistics.median(values) if values else None


def spread(values, scale=1.0, digits=0):
    if not values:
        return "n/a"
    fmt = f"{{:.{digits}f}}"
    m, lo, hi = (fmt.format(v * scale) for v in (med(values), min(values), max(values)))
    return m if lo == hi else f"{m} ({lo}-{hi})"


def ratio(a, b):
    return f"{med(a) / med(b):.2f}" if a and b and med(b) else "n/a"


def header():
    cpu = "?"
    with open("/proc/cpuinfo", encoding="utf-8") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    wine = subprocess.run([sandbox.WINE, "--version"], capture_output=True, text=True).stdout.strip()
    commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip() or "?"
    load = os.getloadavg()[0]
    return (f"launch bench {time.strftime('%Y-%m-%d %H:%M %Z')}  {platform.machine()}, {cpu}, "
            f"{os.cpu_count()} CPUs, load {load:.2f}, {wine}, commit {commit}\n"
            f"32-bit exe: {HOST_32BIT.get(host_mode(), host_mode())}")


# How tools/wine says the host runs 32-bit code, and what that means for the figures.
HOST_32BIT = {
    "native": "ran natively (WoW64 in a 64-bit prefix)",
    "emulated": "ran EMULATED (qemu-i386 under WoW64 in a 64-bit prefix): the host runs no "
                "32-bit code; timings are not comparable with native ones, only the "
                "launcher/floor ratios, both measured under emulation in this run, are",
}


def host_mode():
    return subprocess.run([sandbox.WINE, "--host"], capture_output=True, text=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--exe", default=os.path.join(ROOT, "build", "windows", "bin",
                                                       "launcher.exe"))
    args = parser.parse_args()
    sandbox.enter()
    exe = os.path.abspath(args.exe)
    options = sandbox.read_build_options(exe)
    holder_exe = build_holder()
    empty_exe = build_program("empty", (
        "#include <windows.h>\n"
        "int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }\n"))
    timer = build_timer()

    with sandbox.Sandbox(options["LAUNCHER_SERVICE_HOST"]) as sb:
        bench = Bench(sb, timer)
        holder = sb.wine([holder_exe])
        try:
            bench.settle(60)
            runs = {"first": [], "later": [], "floor": [], "empty": []}

            def first_launch():
                sb.reset()
                return bench.run(exe)

            warm = first_launch()
            if not warm["url"]:
                print("the launcher opened no page; nothing to compare", file=sys.stderr)
                return 1
            floor_exe = build_floor(warm["url"])
            programs = {"first": first_launch, "later": lambda: bench.run(exe),
                        "floor": lambda: bench.run(floor_exe),
                        "empty": lambda: bench.run(empty_exe, expect_page=False)}
            first_launch()
            for _ in range(WARMUPS):
                for kind in ("later", "floor", "empty"):
                    programs[kind]()
            kinds = list(programs)
            for i in range(args.runs):
                # A turning order, so no kind always follows the same other one.
                for kind in kinds[i % 4:] + kinds[:i % 4]:
                    runs[kind].append(programs[kind]())
        finally:
            holder.kill()
            holder.wait()

    first, later, floor, empty = (runs[k] for k in ("first", "later", "floor", "empty"))

    def col(series, key):
        return [r[key] for r in series if r[key] is not None]

    rows = [("", "launcher", "floor", "launcher/floor")]
    for label, key, scale, digits in (("time to page", "page", 1000, 0),
                                      ("time to exit", "exit", 1000, 0),
                                      ("peak RSS MiB", "rss", 1, 1)):
        for when, series in (("later", later), ("first", first)):
            rows.append((f"{label}, {when}", spread(col(series, key), scale, digits),
                         spread(col(floor, key), scale, digits),
                         ratio(col(series, key), col(floor, key))))
    for when, series in (("later", later), ("first", first), ("floor", floor)):
        rows.append((f"TCP per launch, {when}",
                     f"{spread(col(series, 'conns'))} conn ({spread(col(series, 'empty'))} empty), "
                     f"{spread(col(series, 'bytes_in'))} B in / "
                     f"{spread(col(series, 'bytes_out'))} B out", "", ""))
    rows.append(("empty program",
                 f"exit {spread(col(empty, 'exit'), 1000)} ms, peak RSS "
                 f"{spread(col(empty, 'rss'), 1, 1)} MiB: Wine's own start and exit", "", ""))
    size, floor_size = os.path.getsize(exe), os.path.getsize(floor_exe)
    rows.append(("size, bytes", str(size), str(floor_size), ratio([size], [floor_size])))
    no_icon, why = size_without_icon(exe)
    rows.append(("size without icon, bytes", str(no_icon) if no_icon else f"n/a: {why}",
                 str(floor_size), ratio([no_icon], [floor_size]) if no_icon else "n/a"))

    print(header())
    width = [max(len(r[i]) for r in rows if r[2] or i == 0) for i in range(4)]
    for r in rows:
        if r[2] or not r[1]:
            print(f"{r[0]:<{width[0]}}  {r[1]:>{width[1]}}  {r[2]:>{width[2]}}  {r[3]:>{width[3]}}")
        else:
            print(f"{r[0]:<{width[0]}}  {r[1]}")
    print(f"imports: launcher {' '.join(imports(exe))}; floor {' '.join(imports(floor_exe))}")
    bad = [r for r in first + later + floor if r["status"] != 0 or r["pages"] != 1]
    bad += [r for r in empty if r["status"] != 0]
    notes = [
        f"{args.runs} runs of each after {WARMUPS} warm-ups; median (min-max). page: from just "
        "before the fork of `wine exe` to the stub browser's $EPOCHREALTIME; exit: to wine's "
        "return.",
        "first = no id file, no shortcut, stand-in answering at once; later = both present. "
        "A background Wine process keeps the prefix's services and desktop up.",
        "peak RSS: wait4() ru_maxrss of the Unix process hosting the exe (what Wine "
        "reports as PeakWorkingSetSize), Wine's own DLLs included.",
        "without icon: the same objects relinked with a resource script holding only the "
        "manifest (a relink with the full script reproduces the exe byte for byte).",
        "TCP: as the stand-in logs them, empty connections (WinINet's connectivity checks) "
        "counted; in = bytes it received.",
    ]
    if bad:
        notes.append(f"{len(bad)} runs exited non-zero or opened other than one page.")
    for note in notes:
        print("  " + note)
    return 0


if __name__ == "__main__":
    sys.exit(main())
