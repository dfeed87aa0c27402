"""The signed exe launches like the unsigned one: the signature appended to
the image changes nothing that is loaded and run."""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness"))
import sandbox  # noqa: E402


class SignedLaunchTest(sandbox.SandboxTestCase):

    def test_first_and_later_launch_run_all_four_stages(self):
        shortcut = self.options["LAUNCHER_DISPLAY_NAME"] + ".lnk"
        for which, requests in (("first", ["/app/getuid", "/logger/common/log"]),
                                ("later", ["/logger/common/log"])):
            with self.subTest(which):
                launch = self.launch()
                self.assertLaunchedCleanly(launch)
                self.assertRegex(launch.url, "^" + re.escape(self.play_url) + r"\?did=[0-9a-f]{32}$")
                self.assertEqual([r["path"] for r in launch.records], requests)
                self.assertEqual(launch.shortcuts, [shortcut])


if __name__ == "__main__":
    sandbox.main()
