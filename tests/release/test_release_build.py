"""tools/release on a three-row table, one row 64-bit: the files it ships,
what each exe does when launched in the sandbox, and a second run."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "harness"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import sandbox  # noqa: E402
from release_run import release, snapshot, write_table  # noqa: E402
from test_exe_image import PE_KINDS, pe_header  # noqa: E402

# One service host, so one sandbox serves every row; what tells the rows
# apart is the portal, the channel, the game and the package.
ROWS = [
    {"display_name": "Tarnelis", "channel_id": "000007351", "game_id": "731605",
     "package_name": "com.kestrune.tnls.vantu", "service_host": "service.example",
     "portal_host": "portal.example", "version": "1.2.0.0", "publisher": "Kestrune Games",
     "arch": "x86"},
    {"display_name": "塔内利斯", "channel_id": "000008802", "game_id": "731605",
     "package_name": "com.kestrune.tnls.hanyu", "service_host": "service.example",
     "portal_host": "play.portal-b.example", "version": "1.2.0.0", "publisher": "Kestrune Games",
     "arch": "x86"},
    {"display_name": "Tarnelis", "channel_id": "000009113", "game_id": "731777",
     "package_name": "com.kestrune.tnls.vantu", "service_host": "service.example",
     "portal_host": "portal-c.example", "version": "1.3.0.1", "publisher": "Kestrune Games",
     "arch": "x64"},
]
FILES = ["com.kestrune.tnls.vantu-000007351-1.2.0.0-x86.exe",
         "com.kestrune.tnls.hanyu-000008802-1.2.0.0-x86.exe",
         "com.kestrune.tnls.vantu-000009113-1.3.0.1-x64.exe"]
PLAY_URL = "https://{portal_host}/channel/{channel_id}/game/{game_id}/play"
REPORT_FIELD = r'"{}" : "([^"]*)"'


class ReleaseBuildTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="launcher-release-")
        cls.table = os.path.join(cls.dir, "channels.csv")
        cls.dist = os.path.join(cls.dir, "dist")
        cls.build = os.path.join(cls.dir, "build")
        write_table(cls.table, ROWS)
        cls.first = release(cls.table, cls.dist, cls.build)
        if cls.first.returncode != 0:
            shutil.rmtree(cls.dir)
            raise AssertionError(cls.first.stdout + cls.first.stderr)
        with open(os.path.join(cls.dist, "manifest.json"), encoding="utf-8") as f:
            cls.manifest = json.load(f)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def test_dist_holds_the_exes_their_sums_and_the_manifest(self):
        self.assertEqual(sorted(os.listdir(self.dist)),
                         sorted(FILES + ["SHA256SUMS", "manifest.json"]))
        check = subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=self.dist,
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertEqual(sorted(check.stdout.splitlines()), sorted(f + ": OK" for f in FILES))

        sums = snapshot(self.dist)
        self.assertEqual([entry["row"] for entry in self.manifest], [1, 2, 3])
        self.assertEqual([entry["file"] for entry in self.manifest], FILES)
        for entry, row in zip(self.manifest, ROWS):
            with self.subTest(entry["file"]):
                path = os.path.join(self.dist, entry["file"])
                self.assertEqual(entry["size"], os.path.getsize(path))
                self.assertEqual(entry["sha256"], sums[entry["file"]])
                self.assertEqual(entry["architecture"], row["arch"])
                with open(path, "rb") as f:
                    magic, machine, _ = pe_header(f.read())
                self.assertEqual((magic, machine), PE_KINDS[row["arch"]])
                self.assertIn(entry["sha256"], self.first.stdout, "the manifest is printed")

    def test_a_second_run_rebuilds_nothing_and_says_so(self):
        before = snapshot(self.dist)
        again = release(self.table, self.dist, self.build)
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        status = {line.split()[1]: line for line in again.stdout.splitlines() if ".exe " in line}
        self.assertEqual(sorted(status), sorted(FILES))
        for name, line in status.items():
            self.assertTrue(line.endswith("  up to date"), line)
        self.assertEqual(snapshot(self.dist), before)

    def test_a_row_whose_build_fails_leaves_dist_as_it_was(self):
        before = snapshot(self.dist)
        # A build folder that belongs to other sources: CMake refuses it.
        broken = dict(ROWS[0], channel_id="1")
        folder = os.path.join(self.build, "com.kestrune.tnls.vantu-1-1.2.0.0-x86")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "CMakeCache.txt"), "w") as f:
            f.write("CMAKE_HOME_DIRECTORY:INTERNAL=/nonexistent/elsewhere\n")
        table = os.path.join(self.dir, "broken.csv")
        write_table(table, ROWS + [broken])
        result = release(table, self.dist, self.build)
        self.assertEqual(result.returncode, 1)
        self.assertIn("row 4 (com.kestrune.tnls.vantu-1-1.2.0.0-x86.exe)", result.stderr)
        self.assertEqual(snapshot(self.dist), before)
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["broken.csv", "build", "channels.csv", "dist"], "no staging left")

    def test_each_exe_opens_its_own_play_page_and_reports_its_own_channel(self):
        with sandbox.Sandbox(ROWS[0]["service_host"]) as sb:
            for row, name in zip(ROWS, FILES):
                with self.subTest(name):
                    sb.reset()
                    launch = sb.launch(os.path.join(self.dist, name))
                    self.assertEqual(launch.status, 0, launch.output)
                    play = PLAY_URL.format(**row)
                    self.assertRegex(launch.url or "", "^" + re.escape(play) + r"\?did=[0-9a-f]{32}$")
                    reports = launch.requests_to("/logger/common/log")
                    self.assertEqual(len(reports), 1)
                    body = reports[0]["body"]
                    self.assertEqual(re.findall(REPORT_FIELD.format("channelId"), body),
                                     [row["channel_id"]])
                    self.assertEqual(re.findall(REPORT_FIELD.format("pkgName"), body),
                                     [row["package_name"]])
                    self.assertEqual(launch.shortcuts, [row["display_name"] + ".lnk"])


if __name__ == "__main__":
    sandbox.main()
