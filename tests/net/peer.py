#!/usr/bin/env python3
"""Loopback peers for the socket tests, on the Linux side, around one test run.

usage: peer.py PROGRAM [ARGS...]

Starts the peers on 127.0.0.1, runs PROGRAM with their ports in the
environment and exits with its status. The peers:

  DRAVIN_PEER_PORT      commands, one line each, then behaviour:
                          SEND n     n bytes of the pattern, then close at once
                          RESET n    n bytes of the pattern, then a reset
                          ECHO       every byte back until the client closes
                          HOLD       nothing; close when the client does
                          COUNT n    read n bytes, answer "GOT n MD5\\r\\n"
                          DIAL p n   n clients, one after the other, connect to
                                     port p, send "client i\\r\\n" and read until
                                     closed; answers "DIALED hex\\r\\n" with all
                                     they read
                          UDP p text send text in a datagram to port p, then
                                     answer "UDP hex\\r\\n" with the datagram
                                     that comes back to the sender
                          SOCKS steps  a scripted SOCKS proxy for one client:
                                     answers "PORT p\\r\\n", runs the steps on
                                     the client that connects to p, then
                                     answers "READ hex\\r\\n" with every byte
                                     it read from that client. Steps:
                                     rN read N bytes; wHEX write; sHEX write a
                                     byte at a time; h read until the client
                                     closes; c close
  DRAVIN_PEER_SLOW_PORT the same commands, with a small receive buffer and a
                        reader that takes 512 bytes at a time with a pause
  DRAVIN_PEER_GREET_PORT  sends 20000 bytes of the pattern at once on accept,
                          then closes
  DRAVIN_PEER_CLOSED_PORT nothing listens there: connections are refused

  and the real SOCKS servers of socks_servers.py (DRAVIN_DANTE_PORT,
  DRAVIN_MICROSOCKS_PORT, DRAVIN_MICROSOCKS_LOGIN_PORT)

The pattern is byte i = i % 251.
"""
import hashlib
import os
import socket
import struct
import subprocess
import sys
import threading
import time

from socks_servers import start_socks_servers, stop_servers


def pattern(n):
    block = bytes(i % 251 for i in range(251))
    return (block * (n // 251 + 1))[:n]


def read_line(conn):
    line = b""
    while not line.endswith(b"\n"):
        chunk = conn.recv(1)
        if not chunk:
            return None
        line += chunk
    return line.decode("ascii").strip()


def drain(conn):
    try:
        while conn.recv(65536):
            pass
    except OSError:
        pass


def serve_command(conn, slow):
    line = read_line(conn)
    if line is None:
        return
    words = line.split()
    cmd = words[0]
    arg = int(words[1]) if len(words) > 1 and words[1].isdigit() else 0
    if cmd == "SEND":
        conn.sendall(pattern(arg))
    elif cmd == "RESET":
        conn.sendall(pattern(arg))
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    elif cmd == "ECHO":
        while True:
            data = conn.recv(65536)
            if not data:
                break
            conn.sendall(data)
    elif cmd == "HOLD":
        drain(conn)
    elif cmd == "DIAL":
        port, count, got = int(words[1]), int(words[2]), b""
        for i in range(count):
            with socket.create_connection(("127.0.0.1", port), timeout=30) as c:
                # A connection the other side resets ends like a closed one,
                # also when the reset comes before the client has written
                # (a close with our line unread resets).
                try:
                    c.sendall(f"client {i}\r\n".encode("ascii"))
                    while True:
                        chunk = c.recv(65536)
                        if not chunk:
                            break
                        got += chunk
                except (ConnectionResetError, BrokenPipeError):
                    pass
        conn.sendall(f"DIALED {got.hex()}\r\n".encode("ascii"))
    elif cmd == "UDP":
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as u:
            u.settimeout(30)
            u.sendto(words[2].encode("ascii"), ("127.0.0.1", int(words[1])))
            try:
                data, _ = u.recvfrom(65536)
            except OSError:
                data = b""
        conn.sendall(f"UDP {data.hex()}\r\n".encode("ascii"))
    elif cmd == "SOCKS":
        scripted_proxy(conn, words[1:])
    elif cmd == "COUNT":
        digest, got = hashlib.md5(), 0
        while got < arg:
            data = conn.recv(min(512 if slow else 65536, arg - got))
            if not data:
                break
            digest.update(data)
            got += len(data)
            if slow:
                time.sleep(0.002)
        conn.sendall(f"GOT {got} {digest.hexdigest().upper()}\r\n".encode("ascii"))
        drain(conn)


def scripted_proxy(control, steps):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    s.listen(1)
    control.sendall(f"PORT {s.getsockname()[1]}\r\n".encode("ascii"))
    s.settimeout(30)
    try:
        client, _ = s.accept()
    except OSError:
        control.sendall(b"READ \r\n")
        return
    finally:
        s.close()
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    client.settimeout(30)
    got = b""
    try:
        for step in steps:
            kind, arg = step[0], step[1:]
            if kind == "r":
                want = len(got) + int(arg)
                while len(got) < want:
                    chunk = client.recv(want - len(got))
                    if not chunk:
                        break
                    got += chunk
            elif kind == "w":
                client.sendall(bytes.fromhex(arg))
            elif kind == "s":
                for b in bytes.fromhex(arg):
                    client.sendall(bytes([b]))
                    time.sleep(0.02)
            elif kind == "h":
                while True:
                    chunk = client.recv(65536)
                    if not chunk:
                        break
                    got += chunk
            elif kind == "c":
                break
    except OSError:
        pass
    client.close()
    control.sendall(f"READ {got.hex()}\r\n".encode("ascii"))


def handle(conn, kind):
    try:
        if kind == "greet":
            conn.sendall(pattern(20000))
        else:
            serve_command(conn, kind == "slow")
    except OSError:
        pass
    finally:
        conn.close()


def listener(kind):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if kind == "slow":
        # Accepted connections take the listener's buffer size.
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 2048)
    s.bind(("127.0.0.1", 0))
    s.listen(64)

    def run():
        while True:
            conn, _ = s.accept()
            threading.Thread(target=handle, args=(conn, kind), daemon=True).start()

    threading.Thread(target=run, daemon=True).start()
    return s.getsockname()[1]


def closed_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    env = dict(os.environ)
    env["DRAVIN_PEER_PORT"] = str(listener("plain"))
    env["DRAVIN_PEER_SLOW_PORT"] = str(listener("slow"))
    env["DRAVIN_PEER_GREET_PORT"] = str(listener("greet"))
    env["DRAVIN_PEER_CLOSED_PORT"] = str(closed_port())
    procs = []
    try:
        start_socks_servers(env, procs)
        status = subprocess.call(sys.argv[1:], env=env)
    finally:
        stop_servers(procs)
    sys.exit(status)


if __name__ == "__main__":
    main()
