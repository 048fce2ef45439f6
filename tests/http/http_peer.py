#!/usr/bin/env python3
"""A scripted HTTP peer for the client tests, on loopback, around one run.

usage: http_peer.py PROGRAM [ARGS...]

Starts the peer on 127.0.0.1, runs PROGRAM with DRAVIN_HTTP_PEER_PORT (its
port) and DRAVIN_HTTP_PEER_LOG (a folder) in the environment, and exits with
the program's status. DRAVIN_HTTP_SOCKS_PORT is a SOCKS 5 proxy in front of
it that counts the connections it relayed in LOG/socks. Every request the peer reads (header, and a body of the
length it announces) is stored byte for byte in LOG/req-N (N counting from 1),
before any answer is sent. The answer is chosen by the request path, which may
also come as an absolute URL (the peer then stands for a proxy):

  /s/ok/N            200, Content-Length N, N bytes of the pattern, close
  /s/nolength/N      200 without length, N bytes, close
  /s/html            no header at all: "<hTmL>" lines, then close
  /s/zero            200 with Content-Length 0; the connection stays open
                     until the client closes it
  /s/status/C/N      status C with N bytes of body, then the connection stays
                     open until the client closes it
  /s/loc/V           302 with "Location: V" (V percent-decoded, "{port}"
                     replaced by the peer's port) and a body, then close
  /s/loop            302 to /s/loop, for ever
  /s/longline/N/E    a header line of exactly N bytes before its line end E
                     ("crlf" or "lf"), then "ok" as body, then close
  /s/nul             a zero byte inside a header line, 9000 more header bytes,
                     then close
  /s/lf              the whole response with LF line ends
  /s/cuthead         a status line and one field, then close
  /s/cutbody/N       announces 2N bytes, sends N, closes
  /s/holdhead        a status line, then nothing until the client closes
  /s/holdbody        a whole header and 100 bytes of body, then nothing
  /s/endless         200 without length, then the pattern until the client
                     closes
  /s/trickle/N/MS    200, Content-Length N, then the N bytes one by one, MS
                     milliseconds apart, then close
  /s/silent          nothing at all until the client closes
  /s/echo            200 with the recorded request as body, then close
  /s/cookie          two Set-Cookie fields, a challenge and a range
  /s/raw/B           the bytes B (percent-decoded), then close
  /s/rawhold/B       the bytes B, then nothing until the client closes
  /s/rawreset/B      the bytes B, then a reset (linger 0) instead of a close
  /s/headers         a status line, then header lines without end
  /s/extra           reads on for 300 ms after the request, then answers
                     200 with the count of bytes that came after it
  /s/earlyloc/V      302 to V as soon as the request header is in, without
                     reading the body; then reads on until the client closes
  /s/early           413 as soon as the request header is in; then reads
                     the body on and writes "BYTES eof" or "BYTES reset" (what
                     came of the body, how the connection ended) to
                     LOG/early-N
The pattern is byte i = i % 251.
"""
import os
import posixpath
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse


def pattern(n):
    block = bytes(i % 251 for i in range(251))
    return (block * (n // 251 + 1))[:n]


class Server:
    """Listens on a free loopback port; each connection goes to handle()
    on a thread of its own."""

    def __init__(self):
        self.lock = threading.Lock()
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            conn, _ = self.sock.accept()
            threading.Thread(target=self.handle, args=(conn,), daemon=True).start()


class Peer(Server):
    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.count = 0
        self.early = 0
        super().__init__()

    def read_request(self, conn):
        data = b""
        while True:
            for end in (b"\r\n\r\n", b"\n\n"):
                at = data.find(end)
                if at >= 0:
                    head = data[: at + len(end)]
                    first = head.split(b"\n", 1)[0]
                    if b" /s/early" in first or b" /s/extra" in first:
                        return data
                    length = 0
                    for line in head.split(b"\n"):
                        if line.lower().startswith(b"content-length:"):
                            length = int(line.split(b":", 1)[1].strip() or 0)
                    while len(data) < len(head) + length:
                        chunk = conn.recv(65536)
                        if not chunk:
                            break
                        data += chunk
                    return data
            chunk = conn.recv(65536)
            if not chunk:
                return data
            data += chunk

    def record(self, request):
        with self.lock:
            self.count += 1
            name = os.path.join(self.log_dir, "req-%d" % self.count)
        with open(name + ".tmp", "wb") as f:
            f.write(request)
        os.rename(name + ".tmp", name)

    def handle(self, conn):
        try:
            request = self.read_request(conn)
            self.record(request)
            target = request.split(b"\n", 1)[0].split(b" ")
            path = target[1].decode("latin-1") if len(target) > 1 else "/"
            if "://" in path:
                path = urllib.parse.urlsplit(path).path or "/"
            path = posixpath.normpath(path.split("?")[0].split("#")[0])
            self.answer(conn, path, request)
        except OSError:
            pass
        finally:
            conn.close()

    def hold(self, conn):
        conn.settimeout(30)
        try:
            while conn.recv(65536):
                pass
        except OSError:
            pass

    @staticmethod
    def read_on(conn, request, seconds):
        """Reads what follows the request's header until the client ends
        the connection, or for at most SECONDS of silence: the count of
        those bytes, and "eof", "reset" or "silent"."""
        got, how = len(request) - request.find(b"\r\n\r\n") - 4, "eof"
        conn.settimeout(seconds)
        try:
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                got += len(chunk)
        except socket.timeout:
            how = "silent"
        except OSError:
            how = "reset"
        return got, how

    def answer(self, conn, path, request):
        words = path.split("/")[2:] if path.startswith("/s/") else ["ok", "0"]
        what = words[0]
        arg = lambda i: words[i] if len(words) > i else ""
        if what == "ok":
            n = int(arg(1))
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % n + pattern(n))
        elif what == "nolength":
            conn.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + pattern(int(arg(1))))
        elif what == "html":
            conn.sendall(b"<hTmL>\r\n<body>x</body>\r\nrest")
        elif what == "zero":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
            self.hold(conn)
        elif what == "status":
            code, n = int(arg(1)), int(arg(2))
            conn.sendall(b"HTTP/1.1 %d Not Found\r\nContent-Length: %d\r\n\r\n" % (code, n) + pattern(n))
            self.hold(conn)
        elif what == "loc":
            value = urllib.parse.unquote("/".join(words[1:])).replace("{port}", str(self.port))
            conn.sendall(b"HTTP/1.0 302 Found\r\nLocation: " + value.encode("latin-1") +
                         b"\r\nContent-Length: 5\r\n\r\nmoved")
        elif what == "loop":
            conn.sendall(b"HTTP/1.0 302 Found\r\nLocation: /s/loop\r\n\r\nagain")
        elif what == "longline":
            n, end = int(arg(1)), b"\r\n" if arg(2) == "crlf" else b"\n"
            line = b"X-Long: " + b"x" * (n - 8)
            conn.sendall(b"HTTP/1.0 200 OK" + end + line + end + end + b"ok")
        elif what == "nul":
            conn.sendall(b"HTTP/1.0 200 OK\r\nX-A: a\0b\r\n" + b"X-B: b\r\n" * 1125 + b"\r\nbody")
        elif what == "lf":
            conn.sendall(b"HTTP/1.0 200 OK\nContent-Type: Text/HTML; Charset=x\nX-Cr: a\rb\n\nbody\nmore")
        elif what == "cuthead":
            conn.sendall(b"HTTP/1.0 200 OK\r\nX-A: b\r\n")
        elif what == "cutbody":
            n = int(arg(1))
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % (2 * n) + pattern(n))
        elif what == "silent":
            self.hold(conn)
        elif what == "holdhead":
            conn.sendall(b"HTTP/1.0 200 OK\r\n")
            self.hold(conn)
        elif what == "holdbody":
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + pattern(100))
            self.hold(conn)
        elif what == "echo":
            conn.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + request)
        elif what == "early":
            # Refuses the body as soon as the header is in, then reads on and
            # notes how much of the body came and how the connection ended.
            conn.sendall(b"HTTP/1.0 413 Too Large\r\nContent-Length: 5\r\n\r\nlarge")
            got, how = self.read_on(conn, request, 30)
            with self.lock:
                self.early += 1
                name = os.path.join(self.log_dir, "early-%d" % self.early)
            with open(name + ".tmp", "w") as f:
                f.write("%d %s" % (got, how))
            os.rename(name + ".tmp", name)
        elif what in ("raw", "rawhold", "rawreset"):
            conn.sendall(urllib.parse.unquote_to_bytes("/".join(words[1:])))
            if what == "rawhold":
                self.hold(conn)
            elif what == "rawreset":
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif what == "headers":
            conn.sendall(b"HTTP/1.0 200 OK\r\n")
            line = b"X-More: " + b"m" * 90 + b"\r\n"
            while True:
                conn.sendall(line * 100)
        elif what == "extra":
            got, _ = self.read_on(conn, request, 0.3)
            conn.sendall(b"HTTP/1.0 200 OK\r\n\r\n%d" % got)
        elif what == "earlyloc":
            value = urllib.parse.unquote("/".join(words[1:])).replace("{port}", str(self.port))
            conn.sendall(b"HTTP/1.0 302 Found\r\nLocation: " + value.encode("latin-1") + b"\r\n\r\n")
            self.hold(conn)
        elif what == "cookie":
            conn.sendall(b"HTTP/1.0 200 OK\r\nSet-Cookie: a=1; path=/\r\nset-cookie:  b=2\r\n"
                         b"WWW-Authenticate: Basic realm=\"r\"\r\nAccept-Ranges: bytes\r\n"
                         b"Content-Range: bytes 100-199/1000\r\nContent-Length: 2\r\n\r\nok")
        elif what == "endless":
            conn.sendall(b"HTTP/1.0 200 OK\r\n\r\n")
            block = pattern(251) * 256
            while True:
                conn.sendall(block)
        elif what == "trickle":
            n, ms = int(arg(1)), int(arg(2))
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % n)
            for i in range(n):
                time.sleep(ms / 1000)
                conn.sendall(pattern(i + 1)[i:])
        else:
            conn.sendall(b"HTTP/1.0 500 Unknown script\r\n\r\n")


class Socks5(Server):
    """A SOCKS 5 proxy without authentication that relays to the target it
    is asked for and counts the connections it relayed in LOG/socks."""

    def __init__(self, log_dir):
        self.log = os.path.join(log_dir, "socks")
        self.count = 0
        super().__init__()

    @staticmethod
    def exactly(conn, n):
        data = b""
        while len(data) < n:
            chunk = conn.recv(n - len(data))
            if not chunk:
                raise OSError("closed")
            data += chunk
        return data

    def handle(self, conn):
        try:
            greeting = self.exactly(conn, 2)
            self.exactly(conn, greeting[1])
            conn.sendall(b"\x05\x00")
            head = self.exactly(conn, 4)
            if head[3] == 3:
                host = self.exactly(conn, self.exactly(conn, 1)[0]).decode("latin-1")
            else:
                host = socket.inet_ntoa(self.exactly(conn, 4))
            port = int.from_bytes(self.exactly(conn, 2), "big")
            target = socket.create_connection((host, port))
            conn.sendall(b"\x05\x00\x00\x01\x7f\x00\x00\x01" + port.to_bytes(2, "big"))
            with self.lock:
                self.count += 1
                with open(self.log, "w") as f:
                    f.write(str(self.count))
            threading.Thread(target=self.pipe, args=(target, conn), daemon=True).start()
            self.pipe(conn, target)
        except OSError:
            conn.close()

    @staticmethod
    def pipe(src, dst):
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                dst.sendall(data)
            dst.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def main():
    log_dir = tempfile.mkdtemp(prefix="http-peer-")
    peer = Peer(log_dir)
    socks = Socks5(log_dir)
    env = dict(os.environ, DRAVIN_HTTP_PEER_PORT=str(peer.port), DRAVIN_HTTP_PEER_LOG=log_dir,
               DRAVIN_HTTP_SOCKS_PORT=str(socks.port))
    status = subprocess.call(sys.argv[1:], env=env)
    subprocess.call(["rm", "-rf", log_dir])
    sys.exit(status)


if __name__ == "__main__":
    main()
