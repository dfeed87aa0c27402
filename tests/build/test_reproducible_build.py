"""Two builds of the same sources, in different folders and at different
times, give the same exe byte for byte: no timestamps or paths in the image."""
import hashlib
import os
import tempfile
import time
import unittest

from source_copy import build, configure, copy_sources, read_exe


def build_copy(where):
    """Copies the launcher's sources to `where` and builds the exe there."""
    source = copy_sources(where)
    configure(source)
    build(source)
    return read_exe(source)


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
