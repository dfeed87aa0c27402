"""A bad table stops tools/release before anything is built, with a message
naming the row and column, and leaves the output folder as it was."""
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from release_run import COLUMNS, release, snapshot, write_table  # noqa: E402

GOOD = {"display_name": "Tarnelis", "channel_id": "000007351", "game_id": "731605",
        "package_name": "com.kestrune.tnls.vantu", "service_host": "service.example",
        "portal_host": "portal.example", "version": "1.2.0.0", "publisher": "Kestrune Games",
        "arch": "x86"}


def row(**changes):
    return dict(GOOD, **changes)


# (what is wrong, the table's rows, its columns, what the message must say)
CASES = [
    ("name outside code page 936", [GOOD, row(channel_id="8", display_name="Tarnelis 🎮")],
     COLUMNS, "row 2 (line 3), column display_name: 'Tarnelis 🎮' cannot be written in code page 936"),
    ("name a file name cannot hold", [row(display_name="Tarnelis: Rise")],
     COLUMNS, "row 1 (line 2), column display_name:"),
    ("channel id not digits", [GOOD, row(channel_id="7351x")],
     COLUMNS, "row 2 (line 3), column channel_id: '7351x' is not all digits"),
    ("game id not digits", [row(game_id="-731605")],
     COLUMNS, "row 1 (line 2), column game_id: '-731605' is not all digits"),
    ("service host not a host name", [row(service_host="service_a.example")],
     COLUMNS, "row 1 (line 2), column service_host: 'service_a.example' is not a host name"),
    ("portal host with a path", [row(portal_host="portal.example/play")],
     COLUMNS, "row 1 (line 2), column portal_host: 'portal.example/play' is not a host name"),
    ("empty package name", [row(package_name="")],
     COLUMNS, "row 1 (line 2), column package_name: is empty"),
    ("version not a.b.c.d", [row(version="1.2")],
     COLUMNS, "row 1 (line 2), column version: '1.2' is not a version"),
    ("unknown architecture", [row(arch="arm64")],
     COLUMNS, "row 1 (line 2), column arch: 'arm64' is not one of x86, x64"),
    ("missing column", [[v for c, v in GOOD.items() if c != "portal_host"]],
     [c for c in COLUMNS if c != "portal_host"], "header row, column 'portal_host': missing"),
    ("unknown column", [list(GOOD.values()) + ["blue"]],
     list(COLUMNS) + ["colour"], "header row, column 'colour': unknown column"),
    ("a cell short", [list(GOOD.values())[:-1]],
     COLUMNS, "row 1 (line 2): 8 cells where the header has 9"),
    ("same file name twice", [GOOD, row(display_name="Other"), row(channel_id="8")],
     COLUMNS, "row 2 (line 3), columns package_name/channel_id/version/arch: "
              "gives the file name com.kestrune.tnls.vantu-000007351-1.2.0.0-x86.exe, as row 1 does"),
    ("file names apart only in case", [GOOD, row(package_name="Com.kestrune.tnls.vantu")],
     COLUMNS, "row 2 (line 3), columns package_name/channel_id/version/arch:"),
]


class BadTableTest(unittest.TestCase):

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="launcher-release-")
        self.addCleanup(shutil.rmtree, self.dir)
        self.dist = os.path.join(self.dir, "dist")
        self.build = os.path.join(self.dir, "build")
        os.makedirs(self.dist)
        with open(os.path.join(self.dist, "SHA256SUMS"), "w") as f:
            f.write("from an earlier release\n")

    def test_each_bad_table_is_refused_before_any_build(self):
        before = snapshot(self.dist)
        for what, rows, columns, message in CASES:
            with self.subTest(what):
                table = os.path.join(self.dir, "table.csv")
                write_table(table, rows, columns)
                result = release(table, self.dist, self.build)
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(table + ": " + message, result.stderr)
                # tools/setup may say how this host runs Wine; the tool says one thing.
                said = [line for line in result.stderr.splitlines() if line.startswith("release:")]
                self.assertEqual(len(said), 1, "one clear message")
                self.assertEqual(snapshot(self.dist), before)
                self.assertFalse(os.path.exists(self.build), "nothing was built")
                self.assertEqual(sorted(os.listdir(self.dir)), ["dist", "table.csv"])

    def test_a_name_in_chinese_without_an_arch_column_passes_the_checks(self):
        # Row 1 is good; row 2 stops the run, so nothing is built.
        table = os.path.join(self.dir, "table.csv")
        columns = [c for c in COLUMNS if c != "arch"]
        write_table(table, [[v for c, v in row(display_name="塔内利斯").items() if c != "arch"],
                            [v for c, v in row(channel_id="x").items() if c != "arch"]], columns)
        result = release(table, self.dist, self.build)
        self.assertEqual(result.returncode, 2)
        self.assertIn(table + ": row 2 (line 3), column channel_id", result.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
