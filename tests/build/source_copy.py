"""Builds of the launcher from a copy of its sources in a folder of the test's."""
import os
import shutil
import subprocess

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SOURCES = ("CMakeLists.txt", "CMakePresets.json", "cmake", "launcher", "identity", "http",
           "play", "shortcut", "resources")
# The preset of the build under test; its folder is build/<preset>.
PRESET = os.environ.get("LAUNCHER_PRESET", "windows")


def copy_sources(where):
    """Copies the launcher's sources to `where`/source and returns that folder."""
    source = os.path.join(where, "source")
    os.makedirs(source)
    for name in SOURCES:
        path = os.path.join(ROOT, name)
        if os.path.isdir(path):
            shutil.copytree(path, os.path.join(source, name))
        else:
            shutil.copy(path, source)
    return source


def configure(source, *options, check=True):
    """The build's preset without the tests, plus -D `options`."""
    return subprocess.run(["cmake", "--preset", PRESET, "-DLAUNCHER_BUILD_TESTS=OFF",
                           *("-D" + option for option in options)],
                          cwd=source, check=check, capture_output=True, text=True)


def build(source, check=True):
    return subprocess.run(["cmake", "--build", "--preset", PRESET, "--target", "launcher"],
                          cwd=source, check=check, capture_output=True, text=True)


def exe_path(source):
    return os.path.join(source, "build", PRESET, "bin", "launcher.exe")


def read_exe(source):
    with open(exe_path(source), "rb") as f:
        return f.read()
