"""Running tools/release on a table written by a test, with its output and
build folders in a temporary folder, never the repository's dist/."""
import csv
import hashlib
import os
import subprocess

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
RELEASE = os.path.join(ROOT, "tools", "release")
COLUMNS = ("display_name", "channel_id", "game_id", "package_name", "service_host",
           "portal_host", "version", "publisher", "arch")


def write_table(path, rows, columns=COLUMNS):
    with open(path, "w", encoding="utf-8", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(columns)
        writer.writerows([row[c] for c in columns] if isinstance(row, dict) else row
                         for row in rows)


def release(table, dist, build_dir, env=None):
    return subprocess.run([RELEASE, table, "--dist", dist, "--build-dir", build_dir],
                          capture_output=True, text=True, env=env)


def snapshot(folder):
    """Every file under `folder` with its SHA-256, to tell whether it changed."""
    found = {}
    for where, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(where, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return found
