"""Times tools/release on a generated table: a cold run in empty folders,
then a run with nothing changed. Prints figures and judges none."""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "release"))
from release_run import write_table  # noqa: E402


def table_rows(count):
    """Rows of distinct channels, every third one 64-bit."""
    return [{"display_name": "Tarnelis", "channel_id": f"{7351 + i:09d}", "game_id": "731605",
             "package_name": "com.kestrune.tnls.vantu", "service_host": "service.example",
             "portal_host": "portal.example", "version": "1.2.0.0",
             "publisher": "Kestrune Games", "arch": "x64" if i % 3 == 2 else "x86"}
            for i in range(count)]


def timed_run(table, dist, build):
    started = time.monotonic()
    subprocess.run([sys.executable, os.path.join(ROOT, "tools", "release.py"), table,
                    "--dist", dist, "--build-dir", build], check=True, stdout=subprocess.DEVNULL)
    total = time.monotonic() - started
    with open(os.path.join(build, "timings.json")) as f:
        rows = list(json.load(f)["rows"].values())
    return total, rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=20)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="launcher-release-bench-") as where:
        table = os.path.join(where, "channels.csv")
        rows = table_rows(args.rows)
        write_table(table, rows)
        dist, build = os.path.join(where, "dist"), os.path.join(where, "build")
        runs = [("cold", *timed_run(table, dist, build)),
                ("nothing changed", *timed_run(table, dist, build))]
    x64 = sum(row["arch"] == "x64" for row in rows)
    print(f"tools/release, {args.rows} rows ({args.rows - x64} x86, {x64} x64), "
          f"{os.cpu_count()} CPUs, 2 rows at a time; seconds")
    print(f"{'run':<16} {'total':>8} {'per exe':>8}   one row's configure+build: median (min-max)")
    for name, total, per_row in runs:
        print(f"{name:<16} {total:>8.2f} {total / len(per_row):>8.2f}   "
              f"{statistics.median(per_row):.2f} ({min(per_row):.2f}-{max(per_row):.2f})")


if __name__ == "__main__":
    main()
