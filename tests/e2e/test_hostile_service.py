"""Whatever answers for the service (the exchange is plain HTTP), a launch
ends cleanly, opens the page, and stores a well-formed id or none."""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness"))
import sandbox  # noqa: E402

VALID_ID_FILE = re.compile(rb"\[info\]\r\nid=[A-Za-z0-9_-]{32}\r\n")

# (how the stand-in answers, whether an id gets stored: True, False, or None
# where either is sound)
HOSTILE_ANSWERS = [
    ("huge", True),            # 1 MiB: the first 1023 bytes are kept, the rest drained
    ("marker-late", False),    # the marker lies past the answer buffer
    ("split-marker", True),    # the marker arrives in two TCP segments
    ("nul-bytes", None),       # NUL bytes and invalid UTF-8 around the marker
    ("gbk-body", True),        # Chinese text, valid GBK once converted
    ("drip", False),           # a byte every 100 ms for 3 s, then cut
    ("reset-midway", None),    # a reset in the middle of the body
    ("cut-midway", True),      # an orderly close in the middle of the body
    ("redirect301", False),    # to a host that does not resolve
    ("redirect302", False),
    ("status404", False),
    ("status500", True),       # the status is not examined; its body holds an id
    ("status503", False),
    ("not-http", False),       # no status line at all
    ("accept-close", False),   # every connection closed at once, the report's too
]

# Answers that leave the connection open, which WinINet then pools between
# the identity request and the report.
KEPT_ALIVE_ANSWERS = [
    ("keep-alive", True),      # HTTP/1.1, Content-Length, Connection: keep-alive
    ("chunked", True),         # HTTP/1.1, Transfer-Encoding: chunked
]
# 32-bit WinINet's pool thread faults under qemu-user; see the README's known limits.
EMULATION_LIMIT = ("not run under emulation: 32-bit WinINet under qemu-i386 hangs on a "
                   "kept-alive connection")


class HostileServiceTest(sandbox.SandboxTestCase):

    def test_every_answer_ends_in_a_clean_launch(self):
        self.assertEveryAnswerEndsInACleanLaunch(HOSTILE_ANSWERS)

    def test_kept_alive_answers_end_in_a_clean_launch(self):
        if sandbox.runs_emulated(self.exe):
            print(EMULATION_LIMIT, flush=True)
            self.skipTest(EMULATION_LIMIT)
        self.assertEveryAnswerEndsInACleanLaunch(KEPT_ALIVE_ANSWERS)
        # The report still goes out after a kept-alive identity exchange.
        self.sb.reset("keep-alive")
        launch = self.launch()
        self.assertEqual([r["path"] for r in launch.records], ["/app/getuid", "/logger/common/log"])

    def assertEveryAnswerEndsInACleanLaunch(self, answers):
        for mode, stored in answers:
            with self.subTest(mode=mode):
                self.sb.reset(mode)
                launch = self.launch()
                self.assertLaunchedCleanly(launch)
                self.assertTrue(launch.url.startswith(self.play_url + "?did="), launch.url)
                if launch.id_file is not None:
                    self.assertRegex(launch.id_file, VALID_ID_FILE)
                    self.assertEqual(launch.url, self.play_url + "?did=" +
                                     launch.id_file[11:43].decode())
                else:
                    self.assertEqual(launch.url, self.play_url + "?did=")
                if stored is not None:
                    self.assertEqual(launch.id_file is not None, stored, launch.id_file)


if __name__ == "__main__":
    sandbox.main()
