"""Two builds of the same sources, in different folders and at different
times, give the same exe byte for byte: no timestamps or paths in the image."""
import hashlib
import os
import shutil
import subprocess
import tempfile
import time
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SOURCES = ("CMakeLists.txt", "CMakePresets.json", "cmake", "launcher", "identity", "http",
           "play", "shortcut", "resources")
# The preset of the build under test; its folder is build/<preset>.
PRESET = os.environ.get("LAUNCHER_PRESET", "windows")


def build_copy(where):
    """Copies the launcher's sources to `where` and builds the exe there."""
    source = os.path.join(where, "source")
    os.makedirs(source)
    for name in SOURCES:
        path = os.path.join(ROOT, name)
        if os.path.isdir(path):
            shutil.copytree(path, os.path.join(source, name))
        else:
            shutil.copy(path, source)
    subprocess.run(["cmake", "--preset", PRESET, "-DLAUNCHER_BUILD_TESTS=OFF"], cwd=source,
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", PRESET, "--target", "launcher"],
                   cwd=source, check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(source, "build", PRESET, "bin", "launcher.exe"), "rb") as f:
        return f.read()


class ReproducibleBuildTest(unittest.TestCase):

    def test_two_builds_give_the_same_exe(self):
        with tempfile.TemporaryDirectory(prefix="launcher-build-a-") as a, \
                tempfile.TemporaryDirectory(prefix="launcher-build-b-longer-name-") as b:
            first = build_copy(a)
            time.sleep(2)  # a later second: any timestamp in the image would differ
            second = build_copy(b)
        self.assertEqual(hashlib.sha256(first).hexdigest(), hashlib.sha256(second).hexdigest())
        for path in (a, b):
            self.assertNotIn(os.path.basename(path).encode(), first)


if __name__ == "__main__":
    unittest.main(verbosity=2)
