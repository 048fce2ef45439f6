#!/usr/bin/env python3
"""A real web server (nginx) and a real proxy (tinyproxy) on loopback, around
one run of a program.

usage: web_peers.py PROGRAM [ARGS...]

Everything lives in ./web below the working directory: the documents, the
generated configurations, the password files, logs and pid files. Both
servers run in the foreground as the user running the tests, on free ports,
and are stopped when the program ends. The program gets:

  DRAVIN_NGINX_PORT      nginx; /doc/N.bin holds N bytes (see SIZES),
                         /auth/ needs Basic "user" / "secret",
                         /cookie/ sets the cookie "sid=abc"
  DRAVIN_TINYPROXY_PORT  tinyproxy, open to loopback
  DRAVIN_AUTHPROXY_PORT  tinyproxy that wants Basic "puser" / "ppass"
  DRAVIN_WEB_ROOT        the document folder
  DRAVIN_DANTE_PORT      danted, SOCKS 4 and 5 to loopback (tests/net/socks_servers.py);
                         through it, nginx's /moved/8192 relocates to /doc/8192.bin
  DRAVIN_CUT_PORT        a relay to nginx that closes after 5 MB of the answer
  DRAVIN_HOLD_PORT       a server that answers 1000 bytes with their length,
                         then keeps the connection open until the client closes
"""
import os
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "net"))
from socks_servers import start_socks_servers, stop_servers  # noqa: E402

SIZES = [0, 1, 8191, 8192, 8193, 100000, 10 * 1024 * 1024, 50 * 1024 * 1024]
CUT_AFTER = 5 * 1024 * 1024
BIG_DOCS = {"big.bin": int(os.environ.get("DRAVIN_BIG_DOC_MB", "0")) * 1024 * 1024}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def document(path, size):
    # Bytes that differ from block to block, so a misplaced piece shows.
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    block = bytes((i * 7 + i // 251) % 256 for i in range(65536))
    with open(path + ".tmp", "wb") as f:
        left, n = size, 0
        while left > 0:
            chunk = block[n % 251:] + block[: n % 251]
            f.write(chunk[: min(left, len(chunk))])
            left -= min(left, len(chunk))
            n += 1
    os.rename(path + ".tmp", path)


def serve(handle):
    """Calls handle(conn) on a thread for every connection to a free loopback
    port; returns the port."""
    sock = socket.socket()
    sock.bind(("127.0.0.1", 0))
    sock.listen(16)

    def accept():
        while True:
            conn, _ = sock.accept()
            threading.Thread(target=handle, args=(conn,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return sock.getsockname()[1]


def cut_relay(nginx_port):
    def handle(conn):
        try:
            with socket.create_connection(("127.0.0.1", nginx_port)) as up:
                up.sendall(conn.recv(65536))
                left = CUT_AFTER
                while left > 0:
                    data = up.recv(min(65536, left))
                    if not data:
                        break
                    conn.sendall(data)
                    left -= len(data)
        except OSError:
            pass
        conn.close()
    return serve(handle)


def holding_server():
    def handle(conn):
        try:
            conn.recv(65536)
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"h" * 1000)
            conn.settimeout(60)
            while conn.recv(65536):
                pass
        except OSError:
            pass
        conn.close()
    return serve(handle)


def wait_port(port, proc, name):
    for _ in range(500):
        if proc.poll() is not None:
            sys.exit("%s ended at start (status %s)" % (name, proc.returncode))
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.02)
    sys.exit("%s does not listen on %d" % (name, port))


def tinyproxy_conf(work, name, port, auth):
    conf = os.path.join(work, name + ".conf")
    with open(conf, "w") as f:
        f.write("Port %d\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\nAllow 127.0.0.1\n"
                "LogLevel Error\nLogFile \"%s\"\nPidFile \"%s\"\nDisableViaHeader Yes\n"
                % (port, os.path.join(work, name + ".log"), os.path.join(work, name + ".pid")))
        if os.getuid() == 0:
            f.write("User root\nGroup root\n")
        if auth:
            f.write("BasicAuth puser ppass\n")
    return conf


def main():
    work = os.path.abspath("web")
    root = os.path.join(work, "root")
    for sub in ("doc", "auth", "cookie"):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    for size in SIZES:
        document(os.path.join(root, "doc", "%d.bin" % size), size)
    for name, size in BIG_DOCS.items():
        if size:
            document(os.path.join(root, "doc", name), size)
    document(os.path.join(root, "auth", "a.bin"), 1000)
    document(os.path.join(root, "cookie", "c.bin"), 10)
    for tmp in ("client", "proxy", "fastcgi", "uwsgi", "scgi"):
        os.makedirs(os.path.join(work, "tmp", tmp), exist_ok=True)

    hashed = subprocess.check_output(["openssl", "passwd", "-apr1", "secret"], text=True).strip()
    with open(os.path.join(work, "htpasswd"), "w") as f:
        f.write("user:%s\n" % hashed)

    nginx_port, proxy_port, authproxy_port = free_port(), free_port(), free_port()
    with open(os.path.join(work, "nginx.conf"), "w") as f:
        f.write("""daemon off;
master_process off;
worker_processes 1;
pid {w}/nginx.pid;
error_log {w}/nginx-error.log error;
events {{ worker_connections 256; }}
http {{
  access_log {w}/nginx-access.log;
  client_body_temp_path {w}/tmp/client;
  proxy_temp_path {w}/tmp/proxy;
  fastcgi_temp_path {w}/tmp/fastcgi;
  uwsgi_temp_path {w}/tmp/uwsgi;
  scgi_temp_path {w}/tmp/scgi;
  types {{ application/octet-stream bin; }}
  sendfile on;
  if_modified_since before;
  server {{
    listen 127.0.0.1:{port};
    root {root};
    location /auth/ {{ auth_basic "dravin"; auth_basic_user_file {w}/htpasswd; }}
    location /cookie/ {{ add_header Set-Cookie "sid=abc; Path=/"; }}
    location = /moved/8192 {{ return 302 http://127.0.0.1:{port}/doc/8192.bin; }}
  }}
}}
""".format(w=work, port=nginx_port, root=root))

    procs, socks = [], []
    try:
        nginx = subprocess.Popen(["nginx", "-p", work, "-c", os.path.join(work, "nginx.conf")])
        procs.append(nginx)
        wait_port(nginx_port, nginx, "nginx")
        for name, port, auth in (("tinyproxy", proxy_port, False), ("authproxy", authproxy_port, True)):
            p = subprocess.Popen(["tinyproxy", "-d", "-c", tinyproxy_conf(work, name, port, auth)])
            procs.append(p)
            wait_port(port, p, name)
        env = dict(os.environ, DRAVIN_NGINX_PORT=str(nginx_port), DRAVIN_TINYPROXY_PORT=str(proxy_port),
                   DRAVIN_AUTHPROXY_PORT=str(authproxy_port), DRAVIN_WEB_ROOT=root,
                   DRAVIN_CUT_PORT=str(cut_relay(nginx_port)), DRAVIN_HOLD_PORT=str(holding_server()))
        start_socks_servers(env, socks, which=("danted",))
        status = subprocess.call(sys.argv[1:], env=env)
    finally:
        stop_servers(procs + socks)
    sys.exit(status)


if __name__ == "__main__":
    main()
