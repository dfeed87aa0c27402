"""The desktop shortcut that every launch rewrites, read two ways: from the
.lnk file's own fields and with an independent parser (lnkinfo)."""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness"))
import lnk  # noqa: E402
import sandbox  # noqa: E402

SW_SHOW = 5


class DesktopShortcutTest(sandbox.SandboxTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.name = os.environ.get("LAUNCHER_DISPLAY_NAME", cls.options["LAUNCHER_DISPLAY_NAME"])
        cls.shortcut = os.path.join(cls.sb.desktop, cls.name + ".lnk")

    def assertShortcutTo(self, exe):
        self.assertEqual(sorted(os.listdir(self.sb.desktop)), [self.name + ".lnk"])
        fields = lnk.read(self.shortcut)
        self.assertEqual(fields["target"], sandbox.windows_path(exe))
        self.assertEqual(fields["show_command"], SW_SHOW)
        self.assertEqual((fields["description"] or "").strip("\0"), "")
        for absent in ("arguments", "working_dir", "icon_location", "relative_path"):
            self.assertIsNone(fields[absent], absent)
        self.assertEqual(fields["hot_key"], 0)

        info = subprocess.run(["lnkinfo", self.shortcut], capture_output=True, text=True,
                              errors="replace", check=True).stdout
        self.assertIn("Local path\t\t\t: " + sandbox.windows_path(exe), info)
        for absent in ("Command line arguments", "Working directory", "Icon location"):
            self.assertNotIn(absent, info)

    def test_a_launch_writes_the_shortcut_to_itself(self):
        self.assertLaunchedCleanly(self.launch())
        self.assertShortcutTo(self.exe)

    def test_an_existing_shortcut_is_replaced(self):
        elsewhere = os.path.join(self.sb.dir, "elsewhere", "launcher.exe")
        os.makedirs(os.path.dirname(elsewhere), exist_ok=True)
        shutil.copy(self.exe, elsewhere)
        self.sb.launch(elsewhere)  # a shortcut of that name pointing elsewhere
        self.assertNotEqual(lnk.read(self.shortcut)["target"], sandbox.windows_path(self.exe))
        self.assertLaunchedCleanly(self.launch())
        self.assertShortcutTo(self.exe)

        with open(self.shortcut, "wb") as f:  # edited into something else entirely
            f.write(b"edited by hand")
        self.assertLaunchedCleanly(self.launch())
        self.assertShortcutTo(self.exe)

    def test_a_moved_launcher_points_the_shortcut_at_its_new_place(self):
        self.assertLaunchedCleanly(self.launch())
        moved = os.path.join(self.sb.dir, "Downloads", "new place", "launcher.exe")
        os.makedirs(os.path.dirname(moved), exist_ok=True)
        shutil.copy(self.exe, moved)
        self.assertLaunchedCleanly(self.sb.launch(moved))
        self.assertShortcutTo(moved)

    def test_the_shortcut_is_written_without_a_service_too(self):
        self.sb.reset(reachable=False)
        launch = self.launch()
        self.assertLaunchedCleanly(launch)
        self.assertShortcutTo(self.exe)

    def test_first_and_later_launch_run_all_four_stages(self):
        for which in ("first", "later"):
            with self.subTest(which):
                launch = self.launch()
                self.assertLaunchedCleanly(launch)
                self.assertShortcutTo(self.exe)
                self.assertIsNotNone(launch.id_file)
                did = launch.url.split("?did=")[1]
                self.assertEqual(len(did), 32)
                expected = ["/app/getuid"] if which == "first" else []
                self.assertEqual([r["path"] for r in launch.records],
                                 expected + ["/logger/common/log"])
                self.assertIn('"did" : "%s"' % did, launch.records[-1]["body"])


if __name__ == "__main__":
    sandbox.main()
