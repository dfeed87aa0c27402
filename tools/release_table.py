"""Reading and checking a release table: one row per game and channel.

Every check happens here, before anything is built, so that a bad row stops
the run with a message naming its row and column and nothing half-built.
"""
import csv
import re
import subprocess

# Column, and the CMake option it sets (None: used by the release tool only).
COLUMNS = {
    "display_name": "LAUNCHER_DISPLAY_NAME",
    "channel_id": "LAUNCHER_CHANNEL_ID",
    "game_id": "LAUNCHER_GAME_ID",
    "package_name": "LAUNCHER_PACKAGE_NAME",
    "service_host": "LAUNCHER_SERVICE_HOST",
    "portal_host": "LAUNCHER_PORTAL_HOST",
    "version": "LAUNCHER_VERSION",
    "publisher": "LAUNCHER_PUBLISHER",
    "arch": None,
}
OPTIONAL = {"arch": "x86"}
# Architecture, and the toolchain file that builds it.
TOOLCHAINS = {"x86": "cmake/toolchain-mingw-i686.cmake",
              "x64": "cmake/toolchain-mingw-x86_64.cmake"}
CODE_PAGE = 936

DIGITS = re.compile(r"[0-9]+")
HOST_LABEL = re.compile(r"[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?")
PACKAGE = re.compile(r"[A-Za-z0-9._-]+")
VERSION = re.compile(r"([0-9]+)\.([0-9]+)\.([0-9]+)\.([0-9]+)")
NOT_IN_FILE_NAMES = set('\\/:*?"<>|')


class TableError(Exception):
    pass


class Row:
    def __init__(self, number, line, values):
        self.number = number  # 1 for the first row under the header
        self.line = line
        self.values = values

    def __getitem__(self, column):
        return self.values[column]

    @property
    def arch(self):
        return self.values["arch"]

    @property
    def stem(self):
        v = self.values
        return "{}-{}-{}-{}".format(v["package_name"], v["channel_id"], v["version"], v["arch"])

    @property
    def file(self):
        return self.stem + ".exe"


def fits_code_page(text):
    """Whether iconv, as the build's own conversion does, can write `text`."""
    result = subprocess.run(["iconv", "-f", "UTF-8", "-t", f"CP{CODE_PAGE}"],
                            input=text.encode("utf-8"), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    return result.returncode == 0


def is_host_name(text):
    if len(text) > 253:
        return False
    return all(HOST_LABEL.fullmatch(label) for label in text.split("."))


def problem(column, value):
    """What is wrong with one cell, or None."""
    if value == "":
        return "is empty"
    if any(ord(c) < 0x20 or ord(c) == 0x7F for c in value):
        return f"{value!r} holds a control character"
    if column == "display_name":
        bad = sorted(NOT_IN_FILE_NAMES & set(value))
        if bad:
            return f"{value!r} holds {''.join(bad)!r}, which a file name cannot"
        if not fits_code_page(value):
            return f"{value!r} cannot be written in code page {CODE_PAGE}"
    elif column in ("channel_id", "game_id"):
        if not DIGITS.fullmatch(value):
            return f"{value!r} is not all digits"
    elif column in ("service_host", "portal_host"):
        if not is_host_name(value):
            return f"{value!r} is not a host name"
    elif column == "package_name":
        if not PACKAGE.fullmatch(value):
            return f"{value!r} may hold only letters, digits, '.', '_' and '-'"
    elif column == "version":
        match = VERSION.fullmatch(value)
        if not match or any(int(part) > 65535 for part in match.groups()):
            return f"{value!r} is not a version a.b.c.d (each part 0 to 65535)"
    elif column == "arch":
        if value not in TOOLCHAINS:
            return f"{value!r} is not one of {', '.join(TOOLCHAINS)}"
    return None


def read(path):
    """The table's rows, every one checked; raises TableError on the first fault."""
    try:
        with open(path, encoding="utf-8-sig", newline="") as f:
            text = f.read()
    except UnicodeDecodeError as e:
        raise TableError(f"{path}: not UTF-8 ({e.reason} at byte {e.start})")
    except OSError as e:
        raise TableError(f"{path}: {e.strerror}")
    reader = csv.reader(text.splitlines(keepends=True))
    header = next(reader, None)
    if not header:
        raise TableError(f"{path}: empty, no header row")
    header = [name.strip() for name in header]
    for name in header:
        if name not in COLUMNS:
            raise TableError(f"{path}: header row, column {name!r}: unknown column "
                             f"(known: {', '.join(COLUMNS)})")
        if header.count(name) > 1:
            raise TableError(f"{path}: header row, column {name!r}: given twice")
    for name in COLUMNS:
        if name not in header and name not in OPTIONAL:
            raise TableError(f"{path}: header row, column {name!r}: missing")

    rows, files = [], {}
    for cells in reader:
        if not any(cell.strip() for cell in cells):
            continue  # blank line
        number = len(rows) + 1
        where = f"{path}: row {number} (line {reader.line_num})"
        if len(cells) != len(header):
            raise TableError(f"{where}: {len(cells)} cells where the header has {len(header)}")
        values = dict(OPTIONAL)
        values.update((name, cell.strip()) for name, cell in zip(header, cells))
        for column in COLUMNS:
            fault = problem(column, values[column])
            if fault:
                raise TableError(f"{where}, column {column}: {fault}")
        row = Row(number, reader.line_num, values)
        # Windows and many file systems ignore case in file names.
        key = row.file.lower()
        if key in files:
            raise TableError(f"{where}, columns package_name/channel_id/version/arch: "
                             f"gives the file name {row.file}, as row {files[key]} does")
        files[key] = number
        rows.append(row)
    if not rows:
        raise TableError(f"{path}: no rows under the header")
    return rows
