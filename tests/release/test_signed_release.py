"""tools/release with a signing key in its environment: every exe of the
table, of either architecture, ships signed and verifies against its CA."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "build"))
from release_run import release, write_table  # noqa: E402
from test_signed_build import make_keys  # noqa: E402

ROW = {"display_name": "Tarnelis", "channel_id": "000007351", "game_id": "731605",
       "package_name": "com.kestrune.tnls.vantu", "service_host": "service.example",
       "portal_host": "portal.example", "version": "1.2.0.0", "publisher": "Kestrune Games"}


class SignedReleaseTest(unittest.TestCase):

    def test_every_exe_is_signed(self):
        folder = tempfile.mkdtemp(prefix="launcher-signed-release-")
        self.addCleanup(shutil.rmtree, folder, True)
        keys = make_keys(os.path.join(folder, "keys"))
        table = os.path.join(folder, "channels.csv")
        write_table(table, [dict(ROW, arch="x86"), dict(ROW, arch="x64")])
        env = dict(os.environ, LAUNCHER_SIGN_PKCS12=keys["signer.p12"],
                   LAUNCHER_SIGN_PASSWORD_FILE=keys["password"])
        dist = os.path.join(folder, "dist")
        run = release(table, dist, os.path.join(folder, "build"), env=env)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertNotIn(keys["secret"], run.stdout + run.stderr)
        exes = sorted(name for name in os.listdir(dist) if name.endswith(".exe"))
        self.assertEqual(len(exes), 2, exes)
        for name in exes:
            with self.subTest(name):
                verify = subprocess.run(["osslsigncode", "verify", "-CAfile", keys["ca.pem"],
                                         "-in", os.path.join(dist, name)],
                                        capture_output=True, text=True)
                self.assertEqual(verify.returncode, 0, verify.stdout + verify.stderr)
        # The sums are those of the signed files.
        sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=dist,
                              capture_output=True, text=True)
        self.assertEqual(sums.returncode, 0, sums.stdout + sums.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
