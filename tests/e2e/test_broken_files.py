"""Odd id files, unwritable folders and paths too long for their buffers: the
stage concerned does what it can, the others are unaffected, exit status 0."""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness"))
import sandbox  # noqa: E402

ID = "0123456789abcdef0123456789abcdef"
SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
SERVED_DID = re.compile(r"\?did=[0-9a-f]{32}$")


def junk(size):
    """Reproducible bytes that are not text."""
    state, out = 12345, bytearray()
    for _ in range(size):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(state >> 16 & 0xFF)
    return bytes(out)


class BrokenFilesTest(sandbox.SandboxTestCase):

    def assertOtherStagesRan(self, launch, shortcut=True):
        self.assertLaunchedCleanly(launch)
        self.assertEqual(len(launch.requests_to("/logger/common/log")), 1, "report sent")
        if shortcut:
            self.assertEqual(launch.shortcuts, ["Tarnelis.lnk"])

    def test_odd_id_files(self):
        # (what stands at the id file's path, the did the page gets)
        cases = [
            ("folder", None, "1" * 32),                                 # the platform reads nothing
            ("read-only", b"[info]\r\nid=" + ID.encode() + b"\r\n", ID),
            ("junk", junk(4096), "1" * 32),
            ("4 KiB value", b"[info]\r\nid=" + b"v" * 4096 + b"\r\n", "v" * 63),
        ]
        for name, content, did in cases:
            with self.subTest(name):
                self.sb.reset()
                if content is None:
                    os.makedirs(self.sb.id_file)
                else:
                    self.write_id_file(content)
                    if name == "read-only":
                        os.chmod(self.sb.id_file, 0o444)
                launch = self.launch()
                self.assertOtherStagesRan(launch)
                self.assertEqual(launch.url, self.play_url + "?did=" + did)
                self.assertEqual(launch.requests_to("/app/getuid"), [])
                if content is not None:
                    self.assertEqual(launch.id_file, content, "never rewritten")

    def test_data_folder_is_a_file(self):
        os.makedirs(os.path.dirname(self.sb.data_folder), exist_ok=True)
        with open(self.sb.data_folder, "wb") as f:
            f.write(b"not a folder")
        launch = self.launch()
        self.assertOtherStagesRan(launch)
        self.assertRegex(launch.url, SERVED_DID, "the served id is used for this launch")
        with open(self.sb.data_folder, "rb") as f:
            self.assertEqual(f.read(), b"not a folder")

    def test_unwritable_folders(self):
        for folder in ("application data", "desktop"):
            with self.subTest(folder):
                self.sb.reset()
                path = self.sb.users_dir if folder == "application data" else self.sb.desktop
                subprocess.run(["mount", "--bind", path, path], check=True)
                subprocess.run(["mount", "-o", "remount,bind,ro", path], check=True)
                try:
                    launch = self.launch()
                finally:
                    subprocess.run(["umount", path], check=True)
                self.assertOtherStagesRan(launch, shortcut=folder != "desktop")
                self.assertRegex(launch.url, SERVED_DID)
                if folder == "desktop":
                    self.assertEqual(launch.shortcuts, [])
                else:
                    self.assertFalse(os.path.exists(self.sb.data_folder))

    def set_shell_folder(self, name, windows_path):
        self.sb.wine(["reg", "add", SHELL_FOLDERS, "/v", name, "/t", "REG_EXPAND_SZ",
                      "/d", windows_path, "/f"], wait=True)

    def launch_with_long_folder(self, folder, usual, length, launches=1):
        """Launches with the shell folder `folder` moved to a real folder whose
        Windows path is `length` characters long; returns that folder's Linux
        path and the launches."""
        self.sb.reset()
        base = os.path.join(self.sb.dir, "long")
        shutil.rmtree(base, ignore_errors=True)
        prefix = sandbox.windows_path(base) + "\\"
        name = "d" * (length - len(prefix))
        os.makedirs(os.path.join(base, name))
        self.set_shell_folder(folder, prefix + name)
        try:
            return os.path.join(base, name), [self.launch() for _ in range(launches)]
        finally:
            self.set_shell_folder(folder, usual)

    def lnk_files(self):
        found = []
        for top, _, files in os.walk(self.sb.dir):
            found += [os.path.join(top, f) for f in files if ".lnk" in f or f.startswith("Tarnelis")]
        return found

    def test_a_desktop_path_too_long_for_the_shortcut(self):
        # 245: all fits; 250: the base name fits 260 bytes but not with ".lnk";
        # 255: not even the base name.
        for length in (245, 250, 255):
            with self.subTest(length=length):
                linux, (launch,) = self.launch_with_long_folder(
                    "Desktop", r"%USERPROFILE%\Desktop", length)
                self.assertOtherStagesRan(launch, shortcut=False)
                self.assertRegex(launch.url, SERVED_DID)
                expected = [os.path.join(linux, "Tarnelis.lnk")] if length == 245 else []
                self.assertEqual(self.lnk_files(), expected, "no shortcut but on the desktop")

    def test_an_application_data_path_too_long_for_the_id_file(self):
        # 244: all fits; 245: the data folder fits but not the id file;
        # 252: not even the folder.
        for length in (244, 245, 252):
            with self.subTest(length=length):
                linux, (launch, again) = self.launch_with_long_folder(
                    "Local AppData", r"%USERPROFILE%\AppData\Local", length, launches=2)
                self.assertOtherStagesRan(launch)
                self.assertRegex(launch.url, SERVED_DID)
                if length == 244:
                    self.assertEqual(again.requests_to("/app/getuid"), [], "the id was stored")
                    self.assertTrue(os.path.isfile(os.path.join(linux, "OrvikWD", "id.ini")))
                else:
                    self.assertEqual(len(again.requests_to("/app/getuid")), 1, "nothing stored")
                    self.assertEqual(os.listdir(linux), [], "nothing written at a cut-short path")

    def test_shell_folders_that_cannot_be_found(self):
        # Shell folders that point nowhere: nothing may go to the root of the
        # current drive (Z:, the Linux root) or of C: instead.
        roots = ["/", os.path.join(self.sb.prefix, "drive_c")]
        for folder, usual in (("Desktop", r"%USERPROFILE%\Desktop"),
                              ("Local AppData", r"%USERPROFILE%\AppData\Local")):
            with self.subTest(folder):
                self.sb.reset()
                self.set_shell_folder(folder, r"C:\no such folder")
                try:
                    launch = self.launch()
                    again = self.launch()
                finally:
                    self.set_shell_folder(folder, usual)
                self.assertOtherStagesRan(launch, shortcut=folder != "Desktop")
                self.assertRegex(launch.url, SERVED_DID)
                if folder == "Desktop":
                    self.assertEqual(self.lnk_files(), [])
                else:
                    self.assertEqual(len(again.requests_to("/app/getuid")), 1, "nothing stored")
                for root in roots:
                    self.assertFalse(os.path.exists(os.path.join(root, "Tarnelis.lnk")), root)
                    self.assertFalse(os.path.exists(os.path.join(root, "OrvikWD")), root)


if __name__ == "__main__":
    sandbox.main()
