"""A time-stamping authority on 127.0.0.1 for the signing tests: answers RFC 3161 requests (POST
application/timestamp-query) with `openssl ts -reply`, under a throwaway certificate it makes in DIR.
Usage: python3 tsa_server.py DIR; writes DIR/tsa.pem (the certificate to trust) and DIR/url once it listens."""

import http.server
import pathlib
import subprocess
import sys
import tempfile

CONFIG = """[tsa]
default_tsa = tsa_config
[tsa_config]
dir = {dir}
serial = $dir/serial
signer_cert = $dir/tsa.pem
signer_key = $dir/tsa-key.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
[extensions]
basicConstraints = CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
"""


def make_authority(folder):
    (folder / "tsa.cnf").write_text(CONFIG.format(dir=folder))
    (folder / "serial").write_text("01\n")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=Solvarn throwaway time stamps", "-config", folder / "tsa.cnf", "-extensions",
                    "extensions", "-keyout", folder / "tsa-key.pem", "-out", folder / "tsa.pem"],
                   check=True, capture_output=True)


class Authority(http.server.BaseHTTPRequestHandler):
    folder = pathlib.Path()

    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.NamedTemporaryFile(dir=self.folder) as request:
            request.write(query)
            request.flush()
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", self.folder / "tsa.cnf", "-queryfile",
                                    request.name, "-out", "/dev/stdout"], capture_output=True)
        if reply.returncode != 0 or self.headers.get("Content-Type") != "application/timestamp-query":
            self.send_error(400)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply.stdout)))
        self.end_headers()
        self.wfile.write(reply.stdout)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    Authority.folder = pathlib.Path(sys.argv[1]).resolve()
    make_authority(Authority.folder)
    server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
    # Renamed into place, so that a reader never sees half a line.
    (Authority.folder / "url.new").write_text(f"http://127.0.0.1:{server.server_port}/\n")
    (Authority.folder / "url.new").rename(Authority.folder / "url")
    server.serve_forever()
