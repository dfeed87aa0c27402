"""Runs the stand-in service in a subprocess and talks to it over real sockets."""
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVICE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "standin_service.py")
ID_RE = re.compile(rb"uid:'([0-9a-f]*)'")


class StandinTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        d = self.tmp.name
        self.log, self.mode, ready = (os.path.join(d, n) for n in ("log", "mode", "ready"))
        self.proc = subprocess.Popen(
            [sys.executable, SERVICE, "--port", "0", "--bind", "127.0.0.1",
             "--log", self.log, "--mode-file", self.mode, "--ready-file", ready])
        deadline = time.monotonic() + 10
        while not os.path.exists(ready):
            self.assertLess(time.monotonic(), deadline, "service never got ready")
            self.assertIsNone(self.proc.poll(), "service died at start")
            time.sleep(0.05)
        with open(ready) as f:
            self.port = int(f.read())

    def tearDown(self):
        self.proc.terminate()
        # SIGTERM must end it cleanly, not by a traceback or a kill.
        self.assertEqual(self.proc.wait(timeout=10), 0)
        self.tmp.cleanup()

    def set_mode(self, name):
        with open(self.mode, "w") as f:
            f.write(f"  {name}\n")

    def exchange(self, raw, timeout=10):
        """Send raw bytes, return (everything received, error raised or None)."""
        data, err = b"", None
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(raw)
            try:
                while chunk := s.recv(65536):
                    data += chunk
            except OSError as e:
                err = e
        return data, err

    def get(self, path="/app/getuid"):
        return self.exchange(f"GET {path} HTTP/1.0\r\nHost: x\r\n\r\n".encode())

    def records(self, count, wait=5):
        deadline = time.monotonic() + wait
        while True:
            try:
                with open(self.log) as f:
                    recs = [json.loads(line) for line in f]
            except FileNotFoundError:
                recs = []
            if len(recs) >= count or time.monotonic() > deadline:
                return recs

    def test_identity_modes(self):
        # mode, status line start, ids expected in the body (lengths), body check
        table = [
            ("normal", b"HTTP/1.0 200", [32], None),
            ("status500", b"HTTP/1.0 500", [32], None),
            ("empty-body", b"HTTP/1.0 200", [], lambda b: b == b""),
            ("no-marker", b"HTTP/1.0 200", [], None),
            ("short-id", b"HTTP/1.0 200", [10], None),
            ("marker-twice", b"HTTP/1.0 200", [32, 32], None),
            ("huge", b"HTTP/1.0 200", [32], lambda b: len(b) == 1 << 20 and b.index(b"uid:'") < 100),
            ("marker-late", b"HTTP/1.0 200", [32], lambda b: b.index(b"uid:'") > 1100),
            ("split-marker", b"HTTP/1.0 200", [32], None),
            ("nul-bytes", b"HTTP/1.0 200", [32], lambda b: b"\x00\xff\xfe" in b),
            # UTF-8 on the wire, yet every character also exists in GBK.
            ("gbk-body", b"HTTP/1.0 200", [32],
             lambda b: b.decode("utf-8").encode("gbk") != b and b[:1] > b"\x7f"),
            ("redirect301", b"HTTP/1.0 301", [], lambda b: b"uid:'" not in b),
            ("redirect302", b"HTTP/1.0 302", [], None),
            ("status404", b"HTTP/1.0 404", [], None),
            ("status503", b"HTTP/1.0 503", [], None),
        ]
        for mode, status, id_lens, check in table:
            with self.subTest(mode=mode):
                self.set_mode(mode)
                data, err = self.get()
                self.assertIsNone(err)
                self.assertTrue(data.startswith(status), data[:40])
                head, _, body = data.partition(b"\r\n\r\n")
                self.assertIn(f"Content-Length: {len(body)}".encode(), head)
                ids = ID_RE.findall(body)
                self.assertEqual([len(i) for i in ids], id_lens)
                self.assertEqual(len(set(ids)), len(ids), "ids must differ")
                if check:
                    self.assertTrue(check(body))
                if mode.startswith("redirect"):
                    self.assertIn(b"Location: http://elsewhere.invalid/app/getuid", head)
        self.set_mode("normal")
        ids = [ID_RE.search(self.get()[0]).group(1) for _ in range(2)]
        self.assertNotEqual(ids[0], ids[1], "each answer needs a fresh id")

    def test_split_marker_arrives_in_two_pieces(self):
        self.set_mode("split-marker")
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as s:
            s.sendall(b"GET /app/getuid HTTP/1.0\r\n\r\n")
            first = s.recv(65536)
            start = time.monotonic()
            rest = s.recv(65536)
            waited = time.monotonic() - start
        self.assertTrue(first.endswith(b"ui"), first)
        self.assertTrue(rest.startswith(b"d:'"), rest)
        self.assertGreater(waited, 0.2)

    def test_report_recorded_exactly(self):
        self.set_mode("no-marker")  # identity-only modes must not touch the report
        body = b'{"a":1}\x00\xff\r\n\r\nend'
        raw = (b"POST /logger/common/log HTTP/1.0\r\nX-Odd-CASE:   spaced value \t\r\n"
               b"Content-Length: %d\r\n\r\n" % len(body)) + body
        data, _ = self.exchange(raw)
        self.assertTrue(data.startswith(b"HTTP/1.0 200 OK\r\n"))
        self.assertTrue(data.endswith(b"\r\n\r\n{\"code\":0}"))
        [rec] = self.records(1)
        self.assertEqual(bytes.fromhex(rec["body_hex"]), body)
        self.assertEqual(rec["body"].encode("latin-1"), body)
        self.assertEqual(rec["headers"], [["X-Odd-CASE", "spaced value"],
                                          ["Content-Length", str(len(body))]])
        self.assertEqual((rec["method"], rec["path"], rec["version"]),
                         ("POST", "/logger/common/log", "HTTP/1.0"))
        self.assertEqual((rec["bytes_in"], rec["bytes_out"]), (len(raw), len(data)))
        self.assertEqual((rec["mode"], rec["empty"], rec["complete"]), ("no-marker", False, True))

    def test_connection_shapes(self):
        # A silent peer is held open by another thread while the next ones are served.
        self.set_mode("normal")
        socket.create_connection(("127.0.0.1", self.port)).close()
        idle = socket.create_connection(("127.0.0.1", self.port))
        try:
            self.assertTrue(self.get()[0].startswith(b"HTTP/1.0 200"))
            self.assertTrue(self.get("/other")[0].startswith(b"HTTP/1.0 404"))
        finally:
            idle.close()
        recs = self.records(4)
        empty = [r for r in recs if r["empty"]]
        self.assertTrue(empty and all(r["bytes_in"] == 0 for r in empty))
        self.assertEqual(sorted(r["conn"] for r in recs), [1, 2, 3, 4])

    def test_broken_answers(self):
        # mode, what the client must see
        def truncated(data, err):
            head, _, body = data.partition(b"\r\n\r\n")
            return b"Content-Length: 2000" in head and 0 < len(body) < 2000 \
                and ID_RE.search(body)

        table = [
            ("cut-midway", lambda d, e: e is None and truncated(d, e)),
            ("reset-midway", lambda d, e: isinstance(e, ConnectionResetError)),
            ("not-http", lambda d, e: d == b"hello world\r\n"),
            ("accept-close", lambda d, e: d == b""),
            ("drip", lambda d, e: 20 <= len(d) <= 35 and d.startswith(b"HTTP/1.0 200")),
        ]
        for mode, ok in table:
            with self.subTest(mode=mode):
                self.set_mode(mode)
                data, err = self.get()
                self.assertTrue(ok(data, err), (data[:60], err))

    def test_kept_alive_connections_serve_every_request(self):
        # mode, how the identity answer's body is framed
        table = [("keep-alive", b"Content-Length: "), ("chunked", b"Transfer-Encoding: chunked")]
        for mode, framing in table:
            with self.subTest(mode=mode):
                self.set_mode(mode)
                seen = len(self.records(0, wait=0))
                with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
                    answers = []
                    for path in ("/app/getuid", "/logger/common/log"):
                        s.sendall(f"POST {path} HTTP/1.1\r\nHost: x\r\n"
                                  "Content-Length: 0\r\n\r\n".encode())
                        data = b""
                        while not data.endswith((b"}}", b"0\r\n\r\n", b'"code":0}')):
                            data += s.recv(65536)
                        self.assertTrue(data.startswith(b"HTTP/1.1 200"), data)
                        self.assertIn(framing, data)
                        answers.append(data)
                    # The id may straddle the two chunks.
                    self.assertTrue(ID_RE.search(re.sub(rb"\r\n[0-9a-f]+\r\n", b"", answers[0])))
                recs = self.records(seen + 2)[seen:]
                self.assertEqual([r["path"] for r in recs], ["/app/getuid", "/logger/common/log"])
                self.assertEqual({r["conn"] for r in recs}, {recs[0]["conn"]})

    def test_silent_and_mode_switch(self):
        self.set_mode("silent")
        with socket.create_connection(("127.0.0.1", self.port), timeout=1) as s:
            s.sendall(b"POST /logger/common/log HTTP/1.0\r\nContent-Length: 2\r\n\r\nhi")
            with self.assertRaises(socket.timeout):
                s.recv(1)
        self.set_mode("no-marker")
        self.assertNotIn(b"uid:'", self.get()[0])
        os.remove(self.mode)  # no file means normal again
        self.assertTrue(ID_RE.search(self.get()[0]))
        recs = sorted(self.records(3), key=lambda r: r["conn"])
        self.assertEqual([r["mode"] for r in recs], ["silent", "no-marker", "normal"])
        self.assertEqual((recs[0]["body"], recs[0]["bytes_out"]), ("hi", 0))


if __name__ == "__main__":
    unittest.main()
