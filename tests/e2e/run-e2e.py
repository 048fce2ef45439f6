#!/usr/bin/env python3
"""dravin.exe itself under Wine, against fixture host installs.

Each scenario lays out a host folder (host files, fixture programs and
plug-ins with real version resources, the checker in its sub-folder), puts a
version list on a local update server, runs dravin.exe and then compares:
  - the host's log, byte for byte in Shift-JIS, start and end markers with the
    checker's own file version included (only the clock is a pattern);
  - the pages opened, recorded through the real shell path: Wine's browser
    launcher (HKCU\\Software\\Wine\\WineBrowser, value Browsers) runs a
    recorder script;
  - which files are left.
The hosts' settings files name the update server as their proxy, so the
checker fetches the list from it by its own means.
Then a second instance against an idle first one, which is finally closed by
a window message.

The prefix is private to this test (work/prefix): the browser setting and the
instance mutex must not meet other tests. Needs DISPLAY (tools/run-tests
provides one)."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.parse

STARTED = "バージョンチェックプラグイン"
RUN_START = "バージョンチェック開始"
RUN_END = "バージョンチェック終了"
NEW_PLUGINS = "新しいプラグインがリリースされています."

failures = []
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from update_server import UpdateServer  # noqa: E402


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


class Wine:
    def __init__(self, work):
        self.prefix = os.path.join(work, "prefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, env=self.env)

    def run(self, *args, timeout=120):
        return subprocess.run(["wine", *args], timeout=timeout, **self.quiet).returncode

    def output(self, *args, timeout=60):
        return subprocess.run(["wine", *args], timeout=timeout, capture_output=True,
                              stdin=subprocess.DEVNULL, env=self.env).stdout

    def start(self, *args):
        return subprocess.Popen(["wine", *args], **self.quiet)

    def set_up(self, recorder):
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            print("creating the Wine prefix")
            self.run("wineboot", "--init", timeout=300)
            subprocess.run(["wineserver", "-w"], **self.quiet)
        # Wine's services start with the first program and outlive it: started
        # here, with no pipe of ours, so that nothing waits on them.
        subprocess.run(["wineserver", "-p"], **self.quiet)
        self.run("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
        self.run("reg", "add", r"HKCU\Software\Wine\WineBrowser", "/v", "Browsers", "/d", recorder, "/f")
        temp = self.output("cmd", "/c", "echo %TEMP%").decode("ascii", "replace").strip()
        self.temp = subprocess.run(["winepath", "-u", temp], capture_output=True, env=self.env,
                                   stdin=subprocess.DEVNULL, text=True).stdout.strip()
        os.makedirs(self.temp, exist_ok=True)

    def shut_down(self):
        subprocess.run(["wineserver", "-k"], **self.quiet)


def read_addresses(header, overrides):
    values = dict(re.findall(r'#define DRAVIN_(\w+) "([^"]*)"', open(header, encoding="utf-8").read()))
    for item in overrides:
        name, _, value = item.partition("=")
        if value:
            values[name] = value
    return values


class Scenarios:
    def __init__(self, args, wine, pages, server, base_url):
        self.args = args
        self.wine = wine
        self.pages = pages
        self.server = server
        self.page_file = os.path.join(args.work, "pages.txt")
        self.base_path = urllib.parse.urlsplit(base_url).path
        folder = os.path.join(server.root, self.base_path.strip("/"))
        self.list_file = os.path.join(folder, "fileversion.txt")
        os.makedirs(folder, exist_ok=True)
        # Where the fetch of the list stores it.
        self.temp_list = os.path.join(wine.temp, "fileversion.txt")

    def settings(self, name):
        """A host settings file that names the update server as the proxy."""
        if not name.endswith(".ini"):
            return b""
        return (b"[TSetup]\r\nUseProxy_Checked=True\r\nProxyServerAddress_Text=127.0.0.1\r\n"
                b"ProxyServerPort_Text=%d\r\nTimeOut_Text=20\r\n" % self.server.port)

    # -- fixtures
    def install(self, name, host_files=(), host_programs=(), plug_ins=()):
        host = os.path.join(self.args.work, "hosts", name)
        shutil.rmtree(host, ignore_errors=True)
        os.makedirs(os.path.join(host, "dravin"))
        shutil.copy(self.args.dravin, os.path.join(host, "dravin", "dravin.exe"))
        for f in host_files:
            with open(os.path.join(host, f), "wb") as out:
                out.write(self.settings(f))
        for f in host_programs:
            shutil.copy(os.path.join(self.args.fixtures, f), host)
        for f in plug_ins:
            shutil.copy(os.path.join(self.args.fixtures, f), os.path.join(host, "dravin"))
        return host

    def write_list(self, lines):
        with open(self.list_file, "wb") as f:
            f.write(b"".join(line.encode("cp932") + b"\r\n" for line in lines))

    # -- observations
    def recorded_pages(self, expected_count):
        deadline = time.time() + 15
        pages = []
        while time.time() < deadline:
            pages = open(self.page_file).read().split() if os.path.exists(self.page_file) else []
            if len(pages) >= expected_count:
                break
            time.sleep(0.1)
        time.sleep(0.5)  # anything more would show now
        return open(self.page_file).read().split() if os.path.exists(self.page_file) else []

    def log_pattern(self, lines, ended=True):
        pattern = (rb"--- START ---\t\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\r\n"
                   + re.escape(b"Version " + self.args.version.encode()) + rb"\r\n")
        for line in lines:
            pattern += re.escape(line.encode("cp932")) + rb"\r\n"
        if ended:
            pattern += rb"--- END ---\t\d{4}-\d\d-\d\d\t\d\d:\d\d:\d\d\r\n"
        return re.compile(pattern, re.S)

    def check_log(self, what, host, name, lines, ended=True):
        data = open(os.path.join(host, name), "rb").read()
        if not check(self.log_pattern(lines, ended).fullmatch(data), f"{what}: {name} as expected"):
            print("  got:", data.decode("cp932", "replace").replace("\r\n", " | "))

    def run_checker(self, host, *args, timeout=60):
        if os.path.exists(self.page_file):
            os.remove(self.page_file)
        return self.wine.run(os.path.join(host, "dravin", "dravin.exe"), *args, timeout=timeout)

    # -- one check run
    def check_run(self, what, files, programs, plug_ins, version_list, log_to, messages, pages,
                  untouched=(), list_kept=False, error=None):
        print("--", what)
        host = self.install(what.replace(" ", "-"), files, programs, plug_ins)
        if os.path.exists(self.temp_list):
            os.remove(self.temp_list)
        if version_list is None:
            if os.path.exists(self.list_file):
                os.remove(self.list_file)
        else:
            self.write_list(version_list)
        rc = self.run_checker(host)
        check(rc == 0, f"{what}: exit code 0 (got {rc})")
        lines = [STARTED, RUN_START, *messages] + ([] if error else [RUN_END])
        if error:
            lines.append(f"{log_to}: {error} (C.ERROR)")
        if log_to:
            self.check_log(what, host, log_to, lines)
        for name in untouched:
            check(os.path.getsize(os.path.join(host, name)) == 0, f"{what}: {name} untouched")
        for name in ("zel.log", "orn.log"):
            if name not in files:
                check(not os.path.exists(os.path.join(host, name)), f"{what}: no {name} created")
        got = self.recorded_pages(len(pages))
        check(got == [self.pages[p] for p in pages], f"{what}: pages {pages} opened (got {got})")
        check(os.path.exists(self.temp_list) == list_kept,
              f"{what}: the fetched list is {'kept' if list_kept else 'deleted'}")


def probe(args, wine, command, *more):
    exe = os.path.join(args.fixtures, "dravin_probe.exe")
    result = subprocess.run(["wine", exe, command, *more], capture_output=True, env=wine.env,
                            stdin=subprocess.DEVNULL, timeout=60)
    return result.returncode, result.stdout.decode("utf-8", "replace")


def single_instance_and_idle_window(s, args, wine):
    what = "second instance and idle window"
    print("--", what)
    host = s.install("instances", ["zel.ini", "zel.log"], ["zel.exe"])
    s.write_list(["Zel,zel.exe,9.0,x,1,X"])
    s.server.asked.clear()
    first = wine.start(os.path.join(host, "dravin", "dravin.exe"), "/options")
    try:
        if not check(probe(args, wine, "wait", "20000")[0] == 0, f"{what}: the window appears"):
            return
        rc, dump = probe(args, wine, "dump")
        rows = [row.split("|") for row in dump.splitlines()]
        check(rows and rows[0][:4] == ["form", "プラグインバージョンチェック", "visible", "normal"]
              and rows[0][4] == "445,183", f"{what}: the window's caption and client size ({rows[:1]})")
        controls = [(r[0], r[1], r[2], r[3]) for r in rows[1:] if r[0] in ("button", "radio")]
        check(controls == [("radio", "", "enabled", "checked"),
                           ("button", "一時停止", "enabled", "-"), ("button", "停止", "enabled", "-"),
                           ("button", "スキップ", "disabled", "-"), ("button", "再開", "disabled", "-"),
                           ("radio", "", "enabled", "unchecked")],
              f"{what}: option and run buttons in their design states ({controls})")
        check(["label", "", "enabled", "-", "24,48,353,25"] in rows, f"{what}: the empty status line")
        time.sleep(1)
        before = open(os.path.join(host, "zel.log"), "rb").read()
        s.check_log(what, host, "zel.log", [STARTED], ended=False)

        started = time.time()
        rc = s.run_checker(host, timeout=30)
        took = time.time() - started
        check(rc == 0 and took < 8, f"{what}: the second instance ends at once (rc {rc}, {took:.1f} s)")
        check(open(os.path.join(host, "zel.log"), "rb").read() == before, f"{what}: the second instance writes nothing")
        check(s.recorded_pages(0) == [], f"{what}: the second instance opens nothing")
        check(s.server.asked == [], f"{what}: nobody fetched the list ({s.server.asked})")
        check(first.poll() is None, f"{what}: the idle window waits")
        check(probe(args, wine, "close")[0] == 0, f"{what}: WM_CLOSE posted")
        try:
            check(first.wait(timeout=20) == 0, f"{what}: the idle instance ends when closed")
        except subprocess.TimeoutExpired:
            check(False, f"{what}: the idle instance ends when closed")
        s.check_log(what, host, "zel.log", [STARTED])
    finally:
        if first.poll() is None:
            first.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dravin", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--addresses", required=True)
    parser.add_argument("--override", action="append", default=[])
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("dravin_e2e: needs an X display (tools/run-tests starts Xvfb)", file=sys.stderr)
        return 1
    addresses = read_addresses(args.addresses, args.override)
    pages = {"zel product": addresses["ZEL_PRODUCT_PAGE"], "orn product": addresses["ORN_PRODUCT_PAGE"],
             "zel plug-in": addresses["ZEL_PLUGIN_PAGE"], "orn plug-in": addresses["ORN_PLUGIN_PAGE"],
             "maker": addresses["MAKER_TOP_PAGE"]}

    os.makedirs(args.work, exist_ok=True)
    recorder = os.path.join(args.work, "record-page.sh")
    with open(recorder, "w") as f:
        f.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + os.path.join(args.work, "pages.txt") + "'\n")
    os.chmod(recorder, 0o755)

    wine = Wine(args.work)
    server = UpdateServer(os.path.join(args.work, "server"))
    try:
        wine.set_up(recorder)
        s = Scenarios(args, wine, pages, server, addresses["UPDATE_BASE_URL"])
        own = f"Dravin,dravin.exe,{args.version},(C) Dravin,1,X"
        s.check_run("both settings files Zel wins",
                    ["zel.ini", "orn.ini", "zel.log", "orn.log"], ["zel.exe"], ["zelplug.dll"],
                    ["Zel,zel.exe,2.1.0.0,(C) Zel Soft,100,X",
                     'Zel Plug,zelplug.dll,"1, 0, 0, 1",(C) Plug Maker,10,X',
                     "Filter,ornfilter.dll,9.0,(C) Filter Maker,10,X",
                     own],
                    "zel.log", ["Zel Ver.2.1.0.0がリリースされています."], ["zel product"], untouched=["orn.log"])
        s.check_run("Zel settings with an Orn log",
                    ["zel.ini", "orn.log"], ["zel.exe"], ["zelplug.dll"],
                    ["Zel Plug,zelplug.dll,1.0.0.1,(C) Plug Maker,10,X", "Zel,zel.exe,9.0,x,1,X"],
                    "orn.log", [NEW_PLUGINS], ["zel plug-in"])
        # Without settings the fetch goes straight to the build's update
        # address, which the test's server does not stand for.
        s.check_run("no host files and a direct fetch",
                    [], ["zel.exe", "orn.exe"], [],
                    ["Orn,orn.exe,3.2.0.0,(C) Orn Works,1,X", "Zel,zel.exe,2.0.0.0,(C) Zel Soft 2,1,X"],
                    None, [], [])
        s.check_run("Orn host with odd lines and a case difference",
                    ["orn.ini", "orn.log"], ["orn.exe"], ["ornfilter.dll"],
                    ["", "just,three,fields", "a,b,c,d,e,f,g", "Orn,orn.exe,3.1.0.0,(C) Orn Works,1,X",
                     "Filter,ornfilter.dll,1.5.0.0 Beta,(C) Filter Maker,10,X", "Orn,orn.exe,4.0,x,1,X"],
                    "orn.log", [NEW_PLUGINS], ["orn plug-in"])
        s.check_run("a newer checker",
                    ["zel.ini", "zel.log"], ["zel.exe"], [],
                    ["Dravin,DRAVIN.EXE,9.9.9.9,(C) Dravin,1,X"],
                    "zel.log", [NEW_PLUGINS], ["zel plug-in"])
        s.check_run("identical versions and names with folders",
                    ["zel.ini", "zel.log"], ["zel.exe"], ["zelplug.dll"],
                    ["Evil,..\\zel.exe,9,9,1,X", "Evil,..\\dravin\\zelplug.dll,9,9,1,X", "Evil,../zel.exe,9,9,1,X",
                     "Zel,zel.exe,2.0.0.0,(C) Zel Soft,1,X", 'Zel Plug,zelplug.dll,"1, 0, 0, 1",(C) Plug Maker,1,X',
                     own],
                    "zel.log", [], [])
        s.check_run("an empty list",
                    ["zel.ini", "zel.log"], ["zel.exe"], [], [],
                    "zel.log", [], [], error="バージョンチェックファイルダウンロード失敗.")
        s.check_run("no list",
                    ["orn.log"], ["zel.exe"], [], None,
                    "orn.log", [], [], error="バージョンチェックファイルダウンロード失敗.")
        single_instance_and_idle_window(s, args, wine)
    finally:
        wine.shut_down()
        server.stop()
    print(f"dravin_e2e: {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
