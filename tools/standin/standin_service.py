#!/usr/bin/env python3
"""Local stand-in for the cloud web service, for test and demo tooling only.

Answers the identity and report endpoints over plain HTTP/1.0, records every
connection byte-exactly as one JSON line, and can misbehave on purpose: the
behaviour is picked per connection from a mode file, so a harness can switch
it between launches without restarting the service.

    standin_service.py --port 80 --bind 127.0.0.1 --log LOG --mode-file MODE \
        [--ready-file PATH]

Standard library only: it has to run inside bare test sandboxes.
"""
import argparse
import http
import json
import os
import signal
import socket
import socketserver
import struct
import sys
import threading
import time
import uuid

READ_TIMEOUT = 5.0
SILENT_HOLD = 60.0
MARKER = b"uid:'"
IDENTITY_PATH = "/app/getuid"
REPORT_PATH = "/logger/common/log"
REDIRECT_TARGET = "http://elsewhere.invalid/app/getuid"
REPORT_BODY = b'{"code":0}'


# ---------------------------------------------------------------- answers

def new_id():
    return uuid.uuid4().hex.encode()


def identity_body(uid=None):
    return b'{"code":0,"data":{' + MARKER + (uid or new_id()) + b"'}}"


def answer(status, body, extra=(), length=None):
    """Full HTTP/1.0 answer; `length` lets a mode lie about Content-Length."""
    lines = [f"HTTP/1.0 {status} {http.HTTPStatus(status).phrase}",
             "Content-Type: text/html; charset=utf-8",
             f"Content-Length: {len(body) if length is None else length}",
             *extra, "Connection: close", "", ""]
    return "\r\n".join(lines).encode() + body


def answer_kept_alive(status, body, chunked=False):
    """HTTP/1.1 answer that leaves the connection open for the next request;
    chunked sends the body in two chunks instead of declaring its length."""
    framing = "Transfer-Encoding: chunked" if chunked else f"Content-Length: {len(body)}"
    lines = [f"HTTP/1.1 {status} {http.HTTPStatus(status).phrase}",
             "Content-Type: text/html; charset=utf-8", framing, "Connection: keep-alive", "", ""]
    if chunked:
        half = len(body) // 2
        body = b"".join(b"%x\r\n%s\r\n" % (len(part), part)
                        for part in (body[:half], body[half:]) if part) + b"0\r\n\r\n"
    return "\r\n".join(lines).encode() + body


class Exchange:
    """One request on a connection: the socket plus the record being built
    for the log."""

    def __init__(self, sock, conn, mode):
        self.sock = sock
        self.rec = {"conn": conn, "mode": mode, "empty": False, "complete": False,
                    "timeout": False, "request_line": "", "method": "", "path": "",
                    "version": "", "headers": [], "body_hex": "", "body": "",
                    "bytes_in": 0, "bytes_out": 0, "error": None}
        self.done = []  # records of earlier requests on a kept-alive connection

    def next_request(self):
        """Files the record of this request and starts one for the next."""
        self.done.append(self.rec)
        self.rec = Exchange(self.sock, self.rec["conn"], self.rec["mode"]).rec

    def recv(self, size):
        try:
            data = self.sock.recv(size)
        except socket.timeout:
            self.rec["timeout"] = True
            return b""
        self.rec["bytes_in"] += len(data)
        return data

    def send(self, data):
        self.sock.sendall(data)
        self.rec["bytes_out"] += len(data)

    def nodelay(self):
        # Without it Nagle may merge the pieces we deliberately send apart.
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def read(self):
        """Read headers and the declared body; True if the headers are whole."""
        buf = b""
        while b"\r\n\r\n" not in buf:
            chunk = self.recv(65536)
            if not chunk:
                # Nothing at all is what a connectivity probe looks like.
                self.rec["empty"] = not buf
                self._parse_head(buf)
                return False
            buf += chunk
        head, _, body = buf.partition(b"\r\n\r\n")
        self._parse_head(head)
        need = 0
        for name, value in self.rec["headers"]:
            if name.lower() == "content-length":
                need = int(value) if value.isdigit() else 0
        while len(body) < need:
            chunk = self.recv(min(65536, need - len(body)))
            if not chunk:
                break
            body += chunk
        body = body[:need]
        self.rec.update(complete=len(body) == need, body_hex=body.hex(),
                        body=body.decode("latin-1"))
        return True

    def _parse_head(self, head):
        if not head:
            return
        first, *lines = head.decode("latin-1").split("\r\n")
        method, path, version = (first.split(" ", 2) + ["", ""])[:3]
        headers = []
        for line in lines:
            name, _, value = line.partition(":")
            headers.append([name, value.strip(" \t")])
        self.rec.update(request_line=first, method=method, path=path,
                        version=version, headers=headers)

    def route(self):
        path = self.rec["path"].split("?", 1)[0]
        return {IDENTITY_PATH: "identity", REPORT_PATH: "report"}.get(path)


# ------------------------------------------------------- identity modes
# Each takes the exchange and sends the whole identity answer.

def mode_normal(ex):
    ex.send(answer(200, identity_body()))


def mode_split_marker(ex):
    data = answer(200, identity_body())
    cut = data.index(MARKER) + 2  # between "ui" and "d:'"
    ex.nodelay()
    ex.send(data[:cut])
    time.sleep(0.3)
    ex.send(data[cut:])


def mode_drip(ex):
    ex.nodelay()
    deadline = time.monotonic() + 3.0
    for byte in answer(200, identity_body()):
        if time.monotonic() >= deadline:
            break
        ex.send(bytes([byte]))
        time.sleep(0.1)


def cut_answer():
    body = identity_body()
    return answer(200, body + b" " * (300 - len(body)), length=2000)


def mode_cut_midway(ex):
    ex.send(cut_answer())


def mode_reset_midway(ex):
    ex.send(cut_answer())
    # Linger 0 turns close() into a RST instead of an orderly FIN.
    ex.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    ex.sock.close()


def sender(data_fn):
    return lambda ex: ex.send(data_fn())


IDENTITY_MODES = {
    "normal": mode_normal,
    "status500": sender(lambda: answer(500, identity_body())),
    "empty-body": sender(lambda: answer(200, b"")),
    "no-marker": sender(lambda: answer(200, b'{"code":0,"data":{}}')),
    "short-id": sender(lambda: answer(200, identity_body(new_id()[:10]))),
    "marker-twice": sender(lambda: answer(
        200, b'{"code":0,"data":{' + MARKER + new_id() + b"'},"
             b'"old":{' + MARKER + new_id() + b"'}}")),
    "huge": sender(lambda: answer(
        200, (identity_body() + b" " * (1 << 20))[:1 << 20])),
    "marker-late": sender(lambda: answer(
        200, b'{"pad":"' + b"x" * 1100 + b'","code":0,"data":{'
             + MARKER + new_id() + b"'}}")),
    "split-marker": mode_split_marker,
    "nul-bytes": sender(lambda: answer(
        200, b"\x00\xff\xfe" + identity_body() + b"\x00\xfe\xff")),
    "gbk-body": sender(lambda: answer(
        200, f"设备标识 uid:'{uuid.uuid4().hex}' 完成".encode("utf-8"))),
    "drip": mode_drip,
    "cut-midway": mode_cut_midway,
    "reset-midway": mode_reset_midway,
    "redirect301": sender(lambda: answer(
        301, b"moved", extra=[f"Location: {REDIRECT_TARGET}"])),
    "redirect302": sender(lambda: answer(
        302, b"found", extra=[f"Location: {REDIRECT_TARGET}"])),
    "status404": sender(lambda: answer(404, b"not found")),
    "status503": sender(lambda: answer(503, b"service unavailable")),
    "not-http": sender(lambda: b"hello world\r\n"),
}


# ---------------------------------------------------- connection modes
# These own the whole connection, for every path, before anything is read.

def conn_accept_close(ex):
    pass  # the server closes the socket as soon as we return


def conn_silent(ex):
    ex.read()
    # Hold until the client gives up; keep counting whatever else it sends.
    deadline = time.monotonic() + SILENT_HOLD
    ex.sock.settimeout(1.0)
    while time.monotonic() < deadline:
        try:
            chunk = ex.sock.recv(65536)
        except socket.timeout:
            continue
        if not chunk:
            break
        ex.rec["bytes_in"] += len(chunk)


def conn_kept_alive(chunked):
    """Serves every request of the connection until the client closes it."""
    def serve(ex):
        while ex.read():
            route = ex.route()
            body = {"identity": identity_body(), "report": REPORT_BODY}.get(route)
            ex.send(answer_kept_alive(404 if body is None else 200,
                                      b"no such endpoint\n" if body is None else body, chunked))
            ex.next_request()
    return serve


CONNECTION_MODES = {"accept-close": conn_accept_close, "silent": conn_silent,
                    "keep-alive": conn_kept_alive(False), "chunked": conn_kept_alive(True)}


def respond(ex):
    route = ex.route()
    if route is None:
        ex.send(answer(404, b"no such endpoint\n"))
    elif route == "report":
        ex.send(answer(200, REPORT_BODY))
    else:
        mode = IDENTITY_MODES.get(ex.rec["mode"])
        if mode is None:
            # A typo in the mode file must not pass as a normal run unnoticed.
            ex.rec["error"] = "unknown mode, answered normally"
            mode = mode_normal
        mode(ex)


# ------------------------------------------------------------- server

def read_mode(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().strip() or "normal"
    except OSError:
        return "normal"


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        srv = self.server
        with srv.lock:
            srv.conn_count += 1
            conn = srv.conn_count
        ex = Exchange(self.request, conn, read_mode(srv.mode_file))
        ex.sock.settimeout(READ_TIMEOUT)
        try:
            whole = CONNECTION_MODES.get(ex.rec["mode"])
            if whole:
                whole(ex)
            elif ex.read():
                respond(ex)
        except OSError as e:
            ex.rec["error"] = f"{type(e).__name__}: {e}"
        finally:
            # A kept-alive connection's last read finds the client gone: that
            # is no request of its own.
            for rec in ex.done + ([] if ex.done and not ex.rec["request_line"] else [ex.rec]):
                srv.record(rec)


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True  # a silent or stuck client must never delay exit

    def __init__(self, addr, log_path, mode_file):
        self.log_path, self.mode_file = log_path, mode_file
        self.lock = threading.Lock()
        self.conn_count = 0
        super().__init__(addr, Handler)

    def record(self, rec):
        # Open/append/close under the lock so tailing readers only see whole lines.
        line = json.dumps(rec, ensure_ascii=True) + "\n"
        with self.lock, open(self.log_path, "a", encoding="ascii") as f:
            f.write(line)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--port", type=int, default=80,
                   help="0 picks a free port; the ready file then names it")
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--log", required=True)
    p.add_argument("--mode-file", required=True)
    p.add_argument("--ready-file")
    args = p.parse_args(argv)

    def stop(signum, frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    server = Server((args.bind, args.port), args.log, args.mode_file)
    try:
        if args.ready_file:
            # Rename so a waiting harness never reads a half-written file.
            tmp = args.ready_file + ".tmp"
            with open(tmp, "w") as f:
                f.write(f"{server.server_address[1]}\n")
            os.replace(tmp, args.ready_file)
        server.serve_forever()
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
