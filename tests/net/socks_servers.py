"""Real SOCKS servers on loopback for the tests: Debian's danted (levels 4
and 5 without login) and microsocks (level 5, with and without a user), on
free ports, with configurations generated in a folder of the working
directory. Imported by the peers that run around the test programs.

    procs = []
    start_socks_servers(env, procs)   # sets the variables below in env
    ...
    stop_servers(procs)

  DRAVIN_DANTE_PORT             danted
  DRAVIN_MICROSOCKS_PORT        microsocks without a user
  DRAVIN_MICROSOCKS_LOGIN_PORT  microsocks with user "dravin", password "s3cret"

A server that is not installed, or does not come up, leaves its variable
unset: the tests that need it say so.
"""
import os
import shutil
import socket
import subprocess
import time


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, proc):
    for _ in range(200):
        if proc.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def adopt_orphans():
    """danted's helper processes outlive their parent for a moment: as their
    subreaper this process can collect them instead of leaving zombies."""
    try:
        import ctypes
        ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    except (OSError, AttributeError):
        pass


def reap_orphans():
    time.sleep(0.3)
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def start_socks_servers(env, procs, which=("danted", "microsocks")):
    adopt_orphans()
    work = os.path.abspath("socks-servers")
    os.makedirs(work, exist_ok=True)
    danted = shutil.which("danted") or ("/usr/sbin/danted" if os.path.exists("/usr/sbin/danted") else None)
    if "danted" in which and danted:
        port = free_port()
        conf = os.path.join(work, "danted.conf")
        lines = [
            f"logoutput: {os.path.join(work, 'danted.log')}",
            f"internal: 127.0.0.1 port = {port}",
            "external: 127.0.0.1",
            "clientmethod: none",
            "socksmethod: none",
        ]
        if os.getuid() == 0:
            lines += ["user.privileged: root", "user.unprivileged: nobody"]
        lines += [
            "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }",
            "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }",
        ]
        with open(conf, "w") as f:
            f.write("\n".join(lines) + "\n")
        proc = subprocess.Popen([danted, "-f", conf, "-p", os.path.join(work, "danted.pid"), "-N", "1"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(proc)
        if wait_listening(port, proc):
            env["DRAVIN_DANTE_PORT"] = str(port)
    microsocks = shutil.which("microsocks")
    if "microsocks" in which and microsocks:
        for var, extra in (("DRAVIN_MICROSOCKS_PORT", []),
                           ("DRAVIN_MICROSOCKS_LOGIN_PORT", ["-u", "dravin", "-P", "s3cret"])):
            port = free_port()
            proc = subprocess.Popen([microsocks, "-i", "127.0.0.1", "-p", str(port)] + extra,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            procs.append(proc)
            if wait_listening(port, proc):
                env[var] = str(port)


def stop_servers(procs):
    """Stops the given server processes (any, not only these) and collects
    what they left behind."""
    for proc in procs:
        proc.terminate()
    for proc in procs:
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
    reap_orphans()
