#!/usr/bin/env python3
"""Builds one launcher exe per row of a release table into dist/.

    release.py TABLE [--dist DIR] [--build-dir DIR] [--jobs N]

Each row is a CMake configure and build of the `launcher` target in a build
folder of its own; the exes, SHA256SUMS and manifest.json are made in a
staging folder and replace DIR as a whole only when every row succeeded.
LAUNCHER_SIGN_* variables in the environment go to every row's configure.
"""
import argparse
import concurrent.futures
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release_table  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIGN_OPTIONS = ("LAUNCHER_SIGN_PKCS12", "LAUNCHER_SIGN_PASSWORD_FILE",
                "LAUNCHER_SIGN_PKCS11_MODULE", "LAUNCHER_SIGN_PKCS11_KEY",
                "LAUNCHER_SIGN_PKCS11_ENGINE", "LAUNCHER_SIGN_CERT",
                "LAUNCHER_SIGN_TIMESTAMP_URL")
# Those that name a file: made absolute, since each build runs in its own folder.
SIGN_FILES = ("LAUNCHER_SIGN_PKCS12", "LAUNCHER_SIGN_PASSWORD_FILE",
              "LAUNCHER_SIGN_PKCS11_MODULE", "LAUNCHER_SIGN_PKCS11_ENGINE",
              "LAUNCHER_SIGN_CERT")
STAMP = "release-options.json"


class BuildError(Exception):
    pass


def sign_options(environ):
    options = {}
    for name in SIGN_OPTIONS:
        value = environ.get(name, "")
        if value:
            options[name] = os.path.abspath(value) if name in SIGN_FILES else value
    return options


def cache_options(row, signing):
    options = {option: row[column] for column, option in release_table.COLUMNS.items() if option}
    options.update(CMAKE_BUILD_TYPE="Release", LAUNCHER_BUILD_TESTS="OFF",
                   CMAKE_TOOLCHAIN_FILE=os.path.join(ROOT, release_table.TOOLCHAINS[row.arch]))
    options.update(signing)
    return options


def build_row(row, build_root, signing, ninja_jobs):
    """Configures (when its options changed) and builds one row's exe."""
    folder = os.path.join(build_root, row.stem)
    options = cache_options(row, signing)
    stamp = os.path.join(folder, STAMP)
    log_path = os.path.join(build_root, row.stem + ".log")
    started = time.monotonic()
    os.makedirs(folder, exist_ok=True)
    with open(log_path, "w") as log:
        def run(step, command):
            log.write("$ " + " ".join(command) + "\n")
            log.flush()
            if subprocess.run(command, stdout=log, stderr=subprocess.STDOUT).returncode != 0:
                raise BuildError(f"row {row.number} ({row.file}): the {step} failed; "
                                 f"see {log_path}")

        configured = False
        if read_json(stamp) != options or not os.path.exists(os.path.join(folder, "build.ninja")):
            # No stamp while the cache is being changed: a failed configure
            # leaves a cache that matches neither the old options nor the new.
            if os.path.exists(stamp):
                os.remove(stamp)
            # Signing options no longer in the environment leave the cache too.
            unset = [f"-U{name}" for name in SIGN_OPTIONS if name not in options]
            run("configure", ["cmake", "-S", ROOT, "-B", folder, "-G", "Ninja", *unset,
                              *(f"-D{name}={value}" for name, value in sorted(options.items()))])
            write_json(stamp, options)
            configured = True
        # Ninja re-runs CMake by itself when a CMake file changed since.
        run("build", ["cmake", "--build", folder, "--target", "launcher", "-j", str(ninja_jobs)])
    with open(log_path) as log:
        idle = "ninja: no work to do." in log.read()
    status = "built"
    if idle:
        status = "reconfigured, nothing to rebuild" if configured else "up to date"
    return {"exe": os.path.join(folder, "bin", "launcher.exe"), "status": status,
            "seconds": round(time.monotonic() - started, 2)}


def build_all(rows, build_root, signing, jobs, ninja_jobs):
    """Builds the rows `jobs` at a time; the first failure stops the rest."""
    pool = concurrent.futures.ThreadPoolExecutor(jobs)
    futures = [pool.submit(build_row, row, build_root, signing, ninja_jobs) for row in rows]
    try:
        return [future.result() for future in futures]
    finally:
        pool.shutdown(wait=True, cancel_futures=True)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def read_json(path):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def write_json(path, value):
    with open(path, "w", encoding="utf-8") as f:
        json.dump(value, f, indent=2, ensure_ascii=False)
        f.write("\n")


def write_dist(staging, rows, results):
    """Copies the exes into `staging` and writes SHA256SUMS and the manifest."""
    manifest = []
    for row, result in zip(rows, results):
        target = os.path.join(staging, row.file)
        shutil.copyfile(result["exe"], target)
        manifest.append({"row": row.number, "file": row.file, "architecture": row.arch,
                         "size": os.path.getsize(target), "sha256": sha256(target),
                         **{column: row[column] for column in release_table.COLUMNS
                            if column != "arch"}})
    with open(os.path.join(staging, "SHA256SUMS"), "w", encoding="ascii") as f:
        f.writelines(f"{entry['sha256']}  {entry['file']}\n" for entry in manifest)
    write_json(os.path.join(staging, "manifest.json"), manifest)
    return manifest


def replace_dir(new, old):
    """Puts `new` in the place of `old`, keeping `old` until the swap is done."""
    if os.path.exists(old):
        aside = tempfile.mkdtemp(prefix=".old-", dir=os.path.dirname(old))
        os.rename(old, os.path.join(aside, "dist"))
        os.rename(new, old)
        shutil.rmtree(aside)
    else:
        os.rename(new, old)


def print_manifest(manifest, results, previous):
    known = {entry["file"]: entry["sha256"] for entry in previous or []}
    width = max(len(entry["file"]) for entry in manifest)
    print(f"{'row':>3}  {'file':<{width}}  {'arch':<4} {'size':>7}  {'sha256':<64}  status")
    for entry, result in zip(manifest, results):
        status = result["status"]
        if status == "built" and known.get(entry["file"]) == entry["sha256"]:
            status = "built, same as before"
        print(f"{entry['row']:>3}  {entry['file']:<{width}}  {entry['architecture']:<4} "
              f"{entry['size']:>7}  {entry['sha256']}  {status}")


def main(argv=None):
    parser = argparse.ArgumentParser(description="Builds one launcher exe per row of TABLE.")
    parser.add_argument("table", help="CSV file, one row per game and channel")
    parser.add_argument("--dist", default=os.path.join(ROOT, "dist"),
                        help="output folder, replaced as a whole on success (default: dist/)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "release"),
                        help="where each row's build folder lives (default: build/release/)")
    parser.add_argument("--jobs", type=int, default=2, help="rows built at once (default: 2)")
    args = parser.parse_args(argv)

    try:
        rows = release_table.read(args.table)
    except release_table.TableError as e:
        print(f"release: {e}", file=sys.stderr)
        return 2

    dist = os.path.abspath(args.dist)
    build_root = os.path.abspath(args.build_dir)
    os.makedirs(build_root, exist_ok=True)
    os.makedirs(os.path.dirname(dist), exist_ok=True)
    signing = sign_options(os.environ)
    jobs = max(1, min(args.jobs, len(rows)))
    ninja_jobs = max(1, args.jobs // jobs)  # the cores left to each row's build

    started = time.monotonic()
    staging = tempfile.mkdtemp(prefix=".staging-", dir=os.path.dirname(dist))
    umask = os.umask(0)
    os.umask(umask)
    os.chmod(staging, 0o777 & ~umask)  # a folder like any other, not mkdtemp's private one
    try:
        results = build_all(rows, build_root, signing, jobs, ninja_jobs)
        manifest = write_dist(staging, rows, results)
        previous = read_json(os.path.join(dist, "manifest.json"))
        replace_dir(staging, dist)
    except BuildError as e:
        print(f"release: {e}; {dist} is left as it was", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    seconds = round(time.monotonic() - started, 2)
    # For bench/release; kept out of the manifest, which only the sources decide.
    timings = {row.file: result["seconds"] for row, result in zip(rows, results)}
    write_json(os.path.join(build_root, "timings.json"), {"seconds": seconds, "rows": timings})

    print_manifest(manifest, results, previous)
    print(f"{len(rows)} exes in {dist} ({seconds} s); check with: "
          f"cd {dist} && sha256sum -c SHA256SUMS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
