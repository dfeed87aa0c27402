"""A launch that finds an id file: what it sends as the device id."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness"))
import sandbox  # noqa: E402

ID = "0123456789abcdef0123456789ABCDEF"
DEFAULT_ID = "1" * 32
LONG_VALUE = "".join(chr(ord("a") + i % 26) for i in range(70))

# (what the id file holds, the "did" the page gets)
ID_FILE_CASES = [
    (b"[info]\r\nid=" + ID.encode() + b"\r\n", ID),
    (b"[info]\nid=" + ID.encode() + b"\n", ID),              # Linux line ends
    (b"[info]\r\nother=1\r\n", DEFAULT_ID),                  # no key
    (b"[other]\r\nid=" + ID.encode() + b"\r\n", DEFAULT_ID),  # no section
    (b"", DEFAULT_ID),                                       # empty file
    (b"[info]\r\nid=\r\n", ""),                              # empty value
    (b"[info]\r\nid=" + LONG_VALUE.encode() + b"\r\n", LONG_VALUE[:63]),
]


class DeviceIdFileTest(sandbox.SandboxTestCase):

    def test_the_stored_id_is_sent_and_the_file_kept(self):
        for content, did in ID_FILE_CASES:
            with self.subTest(content=content):
                self.sb.reset()
                self.write_id_file(content)
                launch = self.launch()
                self.assertLaunchedCleanly(launch)
                self.assertEqual(launch.url, self.play_url + "?did=" + did)
                self.assertEqual(launch.requests_to("/app/getuid"), [], "no identity request")
                self.assertEqual(launch.id_file, content, "the id file is never rewritten")

    def test_no_id_file_and_no_service_opens_the_page_with_an_empty_did(self):
        self.sb.reset(reachable=False)
        launch = self.launch()
        self.assertLaunchedCleanly(launch)
        self.assertEqual(launch.url, self.play_url + "?did=")
        self.assertIsNone(launch.id_file)
        self.assertEqual(launch.records + launch.checks, [])

    def test_command_line_and_show_state_change_nothing(self):
        self.write_id_file(b"[info]\r\nid=" + ID.encode() + b"\r\n")
        plain = self.launch()
        with_arguments = self.launch(["--debug", "C:\\other.ini", "did=evil"])
        minimized = self.sb.launch("start", ["/wait", "/min", sandbox.windows_path(self.exe), "/x"])
        for launch in (plain, with_arguments, minimized):
            self.assertLaunchedCleanly(launch)
            self.assertEqual(launch.url, plain.url)
            self.assertEqual([r["body"] for r in launch.records],
                             [r["body"] for r in plain.records])


if __name__ == "__main__":
    sandbox.main()
