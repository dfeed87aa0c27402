"""The exe signed after its link with a PKCS#12 file: it verifies against its
CA, stays what the image checks expect, signs to the same bytes twice, and a
failed signature stops the build without leaving an unsigned exe behind. The
same key on a software token (SoftHSM) stands in for a hardware one.

The CA, the code-signing certificate and the password are made here for the
run and thrown away after it. SIGNED_BUILD_DIR, if set, keeps the signed
build for the launch test; otherwise it lives in a temporary folder too."""
import hashlib
import http.server
import os
import re
import secrets
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

import pefile

from source_copy import ROOT, build, configure, copy_sources, exe_path, read_exe

PUBLISHER_CN = "Throwaway Test Publisher"


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def make_keys(where):
    """A CA, a code-signing certificate it issued, and both in a PKCS#12 file
    under a random password; returns the paths by name."""
    os.makedirs(where)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
            "-days", "30", "-subj", "/CN=Throwaway Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=where)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
            "-subj", "/CN=" + PUBLISHER_CN, cwd=where)
    with open(os.path.join(where, "signer.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
    openssl("x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "signer.pem", "-days", "30", "-extfile", "signer.ext",
            cwd=where)
    password = secrets.token_hex(16)
    keys = {name: os.path.join(where, name) for name in
            ("ca.pem", "signer.key", "signer.pem", "signer.p12", "password", "wrong-password")}
    with open(keys["password"], "w") as f:
        f.write(password + "\n")
    with open(keys["wrong-password"], "w") as f:
        f.write("not-" + password + "\n")
    openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-certfile", "ca.pem",
            "-out", "signer.p12", "-passout", "file:password", cwd=where)
    keys["secret"] = password
    return keys


SIGN_OPTIONS = ("PKCS12", "PASSWORD_FILE", "PKCS11_MODULE", "PKCS11_KEY", "PKCS11_ENGINE", "CERT",
                "TIMESTAMP_URL")


def sign_options(**values):
    """Every LAUNCHER_SIGN_* option, so that none lingers in the cache from before."""
    return tuple(f"LAUNCHER_SIGN_{name}={values.get(name, '')}" for name in SIGN_OPTIONS)


TSA_CONFIG = """[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = tsa.serial
signer_cert = tsa.pem
certs = ca.pem
signer_key = tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
accuracy = secs:1
ess_cert_id_alg = sha256
"""


class TimeStampServer(http.server.ThreadingHTTPServer):
    """An RFC 3161 time-stamp authority on loopback: `openssl ts -reply` with
    a time-stamping certificate from the throwaway CA in `keys`."""

    def __init__(self, keys):
        self.dir = os.path.dirname(keys["ca.pem"])
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "tsa.key", "-out", "tsa.csr",
                "-subj", "/CN=Throwaway Test TSA", cwd=self.dir)
        with open(os.path.join(self.dir, "tsa.ext"), "w") as f:
            f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                    "extendedKeyUsage=critical,timeStamping\n")
        openssl("x509", "-req", "-in", "tsa.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", "tsa.pem", "-days", "30", "-extfile", "tsa.ext", cwd=self.dir)
        with open(os.path.join(self.dir, "tsa.cnf"), "w") as f:
            f.write(TSA_CONFIG)
        self.requests = 0
        super().__init__(("127.0.0.1", 0), TimeStampHandler)
        self.url = "http://127.0.0.1:%d/" % self.server_address[1]
        threading.Thread(target=self.serve_forever, daemon=True).start()


class TimeStampHandler(http.server.BaseHTTPRequestHandler):

    def do_POST(self):
        server = self.server
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", "/dev/stdin",
                                "-out", "/dev/stdout"], input=query, cwd=server.dir,
                               capture_output=True, check=True).stdout
        server.requests += 1
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


def pkcs12_options(p12, password_file):
    return sign_options(PKCS12=p12, PASSWORD_FILE=password_file)


def signed_copy(where, keys):
    """The source folder, and what the configure and the build printed."""
    source = copy_sources(where)
    steps = (configure(source, *pkcs12_options(keys["signer.p12"], keys["password"])), build(source))
    return source, "".join(step.stdout + step.stderr for step in steps)


def verify(exe, *ca):
    return subprocess.run(["osslsigncode", "verify", *ca, "-in", exe],
                          capture_output=True, text=True)


class SignedBuildTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="launcher-signed-")
        cls.keys = make_keys(os.path.join(cls.temp.name, "keys"))
        where = os.environ.get("SIGNED_BUILD_DIR") or os.path.join(cls.temp.name, "a")
        shutil.rmtree(where, ignore_errors=True)
        cls.source, cls.log = signed_copy(where, cls.keys)
        cls.exe = exe_path(cls.source)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def assertVerifies(self, exe):
        result = verify(exe, "-CAfile", self.keys["ca.pem"])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Signature verification: ok", result.stdout)
        self.assertIn("Message digest algorithm  : SHA256", result.stdout)
        self.assertIn("Subject: /CN=" + PUBLISHER_CN, result.stdout)

    def test_verifies_against_its_ca_and_no_other(self):
        self.assertVerifies(self.exe)
        self.assertNotEqual(verify(self.exe).returncode, 0, "trusted without the throwaway CA")

    def test_a_flipped_byte_fails_verification(self):
        image = read_exe(self.source)
        pe = pefile.PE(data=image)
        text = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".text")
        signature = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
        self.assertGreater(signature.Size, 0)
        for where, offset in (("code", text.PointerToRawData + 16),
                              ("version resource", image.index("080404b0".encode("utf-16-le"))),
                              ("signature", signature.VirtualAddress + signature.Size // 2)):
            with self.subTest(where):
                tampered = bytearray(image)
                tampered[offset] ^= 0x01
                path = os.path.join(self.temp.name, "tampered.exe")
                with open(path, "wb") as f:
                    f.write(tampered)
                self.assertNotEqual(verify(path, "-CAfile", self.keys["ca.pem"]).returncode, 0)

    def test_passes_the_exe_image_checks(self):
        result = subprocess.run([sys.executable, os.path.join(ROOT, "tests", "e2e", "test_exe_image.py")],
                                env=dict(os.environ, LAUNCHER_EXE=self.exe),
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_the_password_is_nowhere_in_the_build(self):
        secret = self.keys["secret"].encode()
        self.assertNotIn(secret, self.log.encode())
        for folder, _, files in os.walk(os.path.join(self.source, "build")):
            for name in files:
                with open(os.path.join(folder, name), "rb") as f:
                    self.assertNotIn(secret, f.read(), os.path.join(folder, name))

    def test_two_signed_builds_give_the_same_exe(self):
        other, _ = signed_copy(os.path.join(self.temp.name, "b-longer-name"), self.keys)
        self.assertEqual(hashlib.sha256(read_exe(self.source)).hexdigest(),
                         hashlib.sha256(read_exe(other)).hexdigest())

    def test_a_time_stamp_from_the_server(self):
        server = TimeStampServer(self.keys)
        try:
            source = copy_sources(os.path.join(self.temp.name, "time-stamped"))
            configure(source, *sign_options(PKCS12=self.keys["signer.p12"], PASSWORD_FILE=self.keys["password"],
                                            TIMESTAMP_URL=server.url))
            build(source)
        finally:
            server.shutdown()
            server.server_close()
        self.assertEqual(server.requests, 1)
        result = verify(exe_path(source), "-CAfile", self.keys["ca.pem"], "-TSA-CAfile", self.keys["ca.pem"])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Timestamp Server Signature verification: ok", result.stdout)
        self.assertIn("Signature verification: ok", result.stdout)

    def test_a_failed_signature_stops_the_build_and_leaves_no_exe(self):
        source = copy_sources(os.path.join(self.temp.name, "failing"))
        good = pkcs12_options(self.keys["signer.p12"], self.keys["password"])
        gone = os.path.join(self.temp.name, "gone")
        closed = socket.socket()  # bound, never listening: connections are refused
        closed.bind(("127.0.0.1", 0))
        self.addCleanup(closed.close)

        def p12_gone():
            shutil.copy(self.keys["signer.p12"], gone)
            return pkcs12_options(gone, self.keys["password"])

        def password_gone():
            shutil.copy(self.keys["password"], gone)
            return pkcs12_options(self.keys["signer.p12"], gone)

        # (case, options for the configure, message); a file named `gone` is
        # deleted between the configure and the build.
        for case, options, message in (
                ("wrong password", lambda: pkcs12_options(self.keys["signer.p12"], self.keys["wrong-password"]),
                 "Wrong password"),
                ("PKCS#12 file gone after the configure", p12_gone,
                 "LAUNCHER_SIGN_PKCS12 '" + gone + "' does not exist"),
                ("password file gone after the configure", password_gone,
                 "LAUNCHER_SIGN_PASSWORD_FILE '" + gone + "' does not exist"),
                ("time-stamp server unreachable",
                 lambda: sign_options(PKCS12=self.keys["signer.p12"], PASSWORD_FILE=self.keys["password"],
                                      TIMESTAMP_URL="http://127.0.0.1:%d/" % closed.getsockname()[1]),
                 "RFC 3161 timestamping failed")):
            with self.subTest(case):
                configure(source, *good)
                build(source)
                self.assertVerifies(exe_path(source))
                configure(source, *options())
                if os.path.exists(gone):
                    os.remove(gone)
                for attempt in ("first", "again"):  # a stale exe must not count as up to date
                    result = build(source, check=False)
                    output = " ".join((result.stdout + result.stderr).split())
                    self.assertNotEqual(result.returncode, 0, f"{attempt}: {output}")
                    self.assertIn("Signing launcher.exe failed, so it is deleted", output)
                    self.assertIn(message, output)
                    self.assertFalse(os.path.exists(exe_path(source)), attempt)
                    self.assertFalse(os.path.exists(exe_path(source) + ".signing"), attempt)

    def test_signing_options_that_cannot_work_stop_the_configure(self):
        source = copy_sources(os.path.join(self.temp.name, "misconfigured"))
        missing = os.path.join(self.temp.name, "missing")
        p12, password = self.keys["signer.p12"], self.keys["password"]
        for options, message in (
                (pkcs12_options(missing, password), f"LAUNCHER_SIGN_PKCS12 '{missing}' does not exist"),
                (pkcs12_options(p12, missing), f"LAUNCHER_SIGN_PASSWORD_FILE '{missing}' does not exist"),
                (pkcs12_options(p12, ""), "LAUNCHER_SIGN_PKCS12 needs LAUNCHER_SIGN_PASSWORD_FILE"),
                (pkcs12_options("", password), "there is no key to sign with"),
                (sign_options(PKCS11_MODULE=p12, PKCS11_KEY="01"),
                 "LAUNCHER_SIGN_PKCS11_MODULE needs LAUNCHER_SIGN_CERT"),
                (sign_options(PKCS12=p12, PASSWORD_FILE=password, PKCS11_MODULE=p12), "not both")):
            with self.subTest(options=options):
                result = configure(source, *options, check=False)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(message, " ".join(result.stderr.split()))


SOFTHSM_MODULES = ("/usr/lib/softhsm/libsofthsm2.so", "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so")
SOFTHSM = next((path for path in SOFTHSM_MODULES if os.path.exists(path)), None)


def pkcs11_engine():
    """OpenSSL's PKCS#11 engine, where this OpenSSL keeps its engines."""
    engines = subprocess.run(["openssl", "version", "-e"], capture_output=True, text=True).stdout
    match = re.search(r'ENGINESDIR: "([^"]+)"', engines)
    path = os.path.join(match.group(1), "pkcs11.so") if match else ""
    return path if os.path.exists(path) else None


@unittest.skipUnless(SOFTHSM and shutil.which("softhsm2-util") and pkcs11_engine(),
                     "needs SoftHSM and OpenSSL's PKCS#11 engine")
class TokenSignedBuildTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="launcher-token-")
        cls.keys = make_keys(os.path.join(cls.temp.name, "keys"))
        tokens = os.path.join(cls.temp.name, "tokens")
        os.makedirs(tokens)
        conf = os.path.join(cls.temp.name, "softhsm2.conf")
        with open(conf, "w") as f:
            f.write(f"directories.tokendir = {tokens}\nobjectstore.backend = file\n")
        os.environ["SOFTHSM2_CONF"] = conf  # for the build's osslsigncode too
        pin = secrets.token_hex(4)
        cls.pin_file = os.path.join(cls.temp.name, "pin")
        with open(cls.pin_file, "w") as f:
            f.write(pin + "\n")
        subprocess.run(["softhsm2-util", "--init-token", "--free", "--label", "signing",
                        "--pin", pin, "--so-pin", secrets.token_hex(4)], check=True, capture_output=True)
        key = os.path.join(cls.temp.name, "signer.pk8")
        openssl("pkcs8", "-topk8", "-nocrypt", "-in", cls.keys["signer.key"], "-out", key, cwd=cls.temp.name)
        subprocess.run(["softhsm2-util", "--import", key, "--token", "signing", "--label", "signer",
                        "--id", "01", "--pin", pin], check=True, capture_output=True)
        os.remove(key)
        cls.source = copy_sources(os.path.join(cls.temp.name, "build"))

    @classmethod
    def tearDownClass(cls):
        os.environ.pop("SOFTHSM2_CONF", None)
        cls.temp.cleanup()

    def token_options(self, **values):
        # A URI with ';' in it: it must reach osslsigncode as one argument.
        return sign_options(**{"PKCS11_MODULE": SOFTHSM, "CERT": self.keys["signer.pem"],
                               "PKCS11_KEY": "pkcs11:token=signing;object=signer;type=private",
                               "PASSWORD_FILE": self.pin_file, **values})

    def test_signs_with_the_key_on_the_token(self):
        for engine in ("", pkcs11_engine()):
            with self.subTest(engine=engine or "found by osslsigncode"):
                configure(self.source, *self.token_options(PKCS11_ENGINE=engine))
                build(self.source)
                result = verify(exe_path(self.source), "-CAfile", self.keys["ca.pem"])
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertIn("Subject: /CN=" + PUBLISHER_CN, result.stdout)

    def test_a_wrong_pin_stops_the_build_and_leaves_no_exe(self):
        configure(self.source, *self.token_options(PASSWORD_FILE=self.keys["wrong-password"]))
        result = build(self.source, check=False)
        output = " ".join((result.stdout + result.stderr).split())
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("Signing launcher.exe failed, so it is deleted", output)
        self.assertIn("PIN incorrect", output)
        self.assertFalse(os.path.exists(exe_path(self.source)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
