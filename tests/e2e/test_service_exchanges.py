"""The identity request and the launch report, as the service receives them."""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "harness"))
import sandbox  # noqa: E402

USER_AGENT = "Mozilla/4.0 (Compatible; MSIE 6.0;)"
CONTENT_TYPE = "application/x-www-form-urlencoded; charset=UTF-8"
ID_FILE = re.compile(rb"\[info\]\r\nid=([0-9a-f]{32})\r\n")


def report_body(did):
    return ('reportInfo={"type":"13524",\t\t"userId":"%s",\t\t"bId" : "3A91C07E52D",'
            '\t\t"channelId" : "000007351",\t\t"pkgName" : "com.kestrune.tnls.vantu",'
            '\t\t"op" : "%s",\t\t"did" : "%s"}' % (did, did, did))


def headers(record):
    return {name.lower(): value for name, value in record["headers"]}


class ServiceExchangesTest(sandbox.SandboxTestCase):

    def assertNoIdentity(self, launch):
        self.assertLaunchedCleanly(launch)
        self.assertIsNone(launch.id_file)
        self.assertEqual(launch.url, self.play_url + "?did=")

    def test_first_launch_obtains_the_id_and_later_ones_reuse_it(self):
        first = self.launch()
        self.assertLaunchedCleanly(first)
        match = ID_FILE.fullmatch(first.id_file or b"")
        self.assertIsNotNone(match, first.id_file)
        did = match.group(1).decode()
        self.assertEqual(first.url, self.play_url + "?did=" + did)
        self.assertEqual([r["path"] for r in first.records], ["/app/getuid", "/logger/common/log"])
        self.assertEqual(first.requests_to("/logger/common/log")[0]["body"], report_body(did))

        later = self.launch()
        self.assertLaunchedCleanly(later)
        self.assertEqual(later.url, first.url)
        self.assertEqual([r["path"] for r in later.records], ["/logger/common/log"])
        self.assertEqual(later.records[0]["body"], report_body(did))
        self.assertEqual(later.id_file, first.id_file)

    def test_requests_on_the_wire(self):
        launch = self.launch()
        identity = launch.requests_to("/app/getuid")[0]
        report = launch.requests_to("/logger/common/log")[0]
        host = self.options["LAUNCHER_SERVICE_HOST"]
        for record in (identity, report):
            with self.subTest(path=record["path"]):
                self.assertEqual(record["method"], "POST")
                self.assertEqual(record["version"], "HTTP/1.0")
                h = headers(record)
                self.assertEqual(h["referer"], "http://" + host)
                self.assertEqual(h["accept"], "*/*")
                self.assertEqual(h["user-agent"], USER_AGENT)
                self.assertEqual(h["content-type"], CONTENT_TYPE)
                self.assertEqual(h["host"], host)
                self.assertIn("no-cache", h.get("cache-control", "") + h.get("pragma", ""))
                self.assertEqual(int(h["content-length"]), len(bytes.fromhex(record["body_hex"])))
        self.assertEqual(identity["body_hex"], "")
        self.assertEqual(bytes.fromhex(report["body_hex"]),
                         report_body(launch.url.split("did=")[1]).encode())
        self.assertEqual(len(report["body_hex"]) // 2, 254)
        # Each exchange is preceded by the connectivity check's empty connection.
        self.assertEqual(len(launch.checks), 2)

    def test_identity_answers_accepted_or_refused(self):
        # (how the service answers, whether an id is stored)
        cases = [("status500", True),      # the status is not examined
                 ("marker-twice", True),
                 ("huge", True),           # far beyond the answer buffer
                 ("cut-midway", True),     # the id came before the cut
                 ("short-id", False),
                 ("no-marker", False),
                 ("empty-body", False)]
        for mode, stored in cases:
            with self.subTest(mode=mode):
                self.sb.reset(mode)
                launch = self.launch()
                self.assertLaunchedCleanly(launch)
                reports = launch.requests_to("/logger/common/log")
                self.assertEqual(len(reports), 1)
                if stored:
                    did = ID_FILE.fullmatch(launch.id_file or b"").group(1).decode()
                    self.assertEqual(launch.url, self.play_url + "?did=" + did)
                    self.assertEqual(reports[0]["body"], report_body(did))
                else:
                    self.assertNoIdentity(launch)
                    self.assertEqual(reports[0]["body"], report_body(""))
                    self.assertEqual(len(reports[0]["body"]), 158)

    def test_a_refused_answer_is_asked_again_next_launch(self):
        self.sb.reset("short-id")
        self.assertNoIdentity(self.launch())
        self.sb.set_service_mode("normal")
        again = self.launch()
        self.assertEqual(len(again.requests_to("/app/getuid")), 1)
        self.assertIsNotNone(ID_FILE.fullmatch(again.id_file or b""))

    def test_without_a_service_the_launch_goes_on(self):
        self.sb.reset(reachable=False)  # the host name does not resolve
        unresolved = self.launch()
        self.assertNoIdentity(unresolved)
        self.assertEqual(unresolved.records + unresolved.checks, [])

        self.sb.reset()
        self.sb.stop_service()  # resolves, but nothing listens
        try:
            refused = self.launch()
        finally:
            self.sb.start_service()
        self.assertNoIdentity(refused)


if __name__ == "__main__":
    sandbox.main()
