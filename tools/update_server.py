#!/usr/bin/env python3
"""A stand-in for the maker's update server, on loopback.

Serves a folder over HTTP/1.0, also to requests that name an absolute URL:
it stands for the proxy the hosts' settings name, so the checker reaches it
by its own means whatever its fixed update address. Every path asked for is
written down. Scripts may make a path misbehave (UpdateServer.faults):
("trickle", SECONDS) sends its body one byte at a time, SECONDS apart;
("cut",) states the whole length and closes after half of the body.

usage: update_server.py ROOT PORTFILE
  serves ROOT in the foreground, writes its port to PORTFILE once it listens,
  and prints each path asked for. Scripts import UpdateServer instead."""
import http.server
import os
import sys
import threading
import time
import urllib.parse


class UpdateServer:
    def __init__(self, root, on_request=None):
        self.root = os.path.abspath(root)
        self.asked = []
        self.faults = {}
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
                server.asked.append(path)
                if on_request:
                    on_request(path)
                name = os.path.normpath(os.path.join(server.root, path.lstrip("/")))
                if not name.startswith(server.root + os.sep) or not os.path.isfile(name):
                    self.send_error(404)
                    return
                with open(name, "rb") as f:
                    data = f.read()
                self.send_response(200)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                fault = server.faults.get(path, ("",))
                try:
                    if fault[0] == "trickle":
                        for byte in data:
                            time.sleep(fault[1])
                            self.wfile.write(bytes([byte]))
                            self.wfile.flush()
                    elif fault[0] == "cut":
                        self.wfile.write(data[:len(data) // 2])
                        self.close_connection = True
                    else:
                        self.wfile.write(data)
                except OSError:
                    pass  # the client went away

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    server = UpdateServer(sys.argv[1], lambda path: print("GET", path, flush=True))
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(str(server.port))
    os.rename(sys.argv[2] + ".tmp", sys.argv[2])
    try:
        server.thread.join()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
