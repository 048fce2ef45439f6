#!/usr/bin/env python3
"""dravin.exe itself under Wine, against fixture host installs.

Each scenario lays out a host folder (host files, fixture programs and
plug-ins with real version resources, the checker in its sub-folder), puts a
version list on a local update server, runs dravin.exe and then compares:
  - the host's log, byte for byte in Shift-JIS, start and end markers with the
    checker's own file version included (only the clock is a pattern);
  - the pages opened, recorded through the real shell path: Wine's browser
    launcher (HKCU\\Software\\Wine\\WineBrowser, value Browsers) runs the
    recorder script of tools/wine-prefix;
  - which files are left.
The hosts' settings files name the update server as their proxy, so the
checker fetches the list (and update files) from it by its own means. One
scenario installs a plug-in from the server, with the list made by
dravin-list, and runs again to find nothing new.
Then a second instance against an idle first one, which is finally closed by
a window message; and the window itself driven by real input (xdotool) and
window messages: its outline against the stored one, a drag on a transparent
pixel and on its surface, the run-control buttons, Home, About with its links,
its focus and its close box, and the places the window restores, with
screenshots saved under work/screenshots.

The prefix is private to this test (work/prefix): the browser setting and the
instance mutex must not meet other tests. Needs DISPLAY (tools/run-tests
provides one)."""
import argparse
import hashlib
import os
import struct
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

    def set_up(self, pages):
        # Fonts, the regional time forms the log patterns below expect, and
        # a browser stand-in that appends every opened page to the file named.
        subprocess.run([os.path.join(ROOT, "tools", "wine-prefix"), self.prefix, "--pages", pages],
                       check=True, env=self.env, stdin=subprocess.DEVNULL)
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
        self.bin = os.path.join(folder, "bin")
        os.makedirs(self.bin, exist_ok=True)
        # Where the fetch of the list stores it.
        self.temp_list = os.path.join(wine.temp, "fileversion.txt")

    def settings(self, name, extra=b""):
        """A host settings file that names the update server as the proxy."""
        if not name.endswith(".ini"):
            return b""
        return (b"[TSetup]\r\nUseProxy_Checked=True\r\nProxyServerAddress_Text=127.0.0.1\r\n"
                b"ProxyServerPort_Text=%d\r\nTimeOut_Text=20\r\n" % self.server.port) + extra

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
                  untouched=(), list_kept=False, error=None, list_fault=None):
        print("--", what)
        host = self.install(what.replace(" ", "-"), files, programs, plug_ins)
        if os.path.exists(self.temp_list):
            os.remove(self.temp_list)
        if version_list is None:
            if os.path.exists(self.list_file):
                os.remove(self.list_file)
        else:
            self.write_list(version_list)
        if list_fault:
            self.server.faults = {self.base_path + "fileversion.txt": list_fault}
        try:
            rc = self.run_checker(host)
        finally:
            self.server.faults = {}
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


def plug_release(s, args):
    """Zel Plug 1.1.0.0 as zelplug.dll in the server's bin folder, and its list entry."""
    path = os.path.join(s.bin, "zelplug.dll")
    shutil.copy(os.path.join(args.fixtures, "zelplug11.dll"), path)
    data = open(path, "rb").read()
    return "Zel Plug,zelplug.dll,1.1.0.0,(C) Plug Maker,%d,%s" % (len(data), hashlib.md5(data).hexdigest().upper())


def automatic(s, timeout=20):
    """Settings that name the server as the proxy and choose automatic installation."""
    return (s.settings("zel.ini", b"[TFormDravin]\r\nAutoDLL_Checked=True\r\nOpenHomePage_Checked=False\r\n")
            .replace(b"TimeOut_Text=20", b"TimeOut_Text=%d" % timeout))


def installation_from_the_server(s, args):
    """A newer plug-in on the server, automatic installation chosen: fetched,
    checked, installed; the next run finds it up to date. The list is made
    by dravin-list from the server's bin folder."""
    what = "a plug-in installed from the server"
    print("--", what)
    for name in os.listdir(s.bin):
        os.remove(os.path.join(s.bin, name))
    entry = plug_release(s, args)
    release = os.path.join(s.bin, "zelplug.dll")
    names = os.path.join(args.work, "names.txt")
    with open(names, "wb") as f:
        f.write("zelplug.dll=Zel Plug\r\n".encode("cp932"))
    windows = lambda path: "Z:" + path.replace("/", "\\")
    rc = s.wine.run(args.list_maker, windows(s.bin), windows(names), windows(s.list_file))
    if not check(rc == 0, f"{what}: dravin-list writes the list (rc {rc})"):
        return
    check(open(s.list_file, "rb").read() == (entry + "\r\n").encode(),
          f"{what}: the list names the release with its size and digest")
    host = s.install("installation", ["zel.ini", "zel.log"], ["zel.exe"], ["zelplug.dll"])
    with open(os.path.join(host, "zel.ini"), "wb") as f:
        f.write(automatic(s))
    installed = os.path.join(host, "dravin", "zelplug.dll")
    for run, messages in ((1, ["Zel Plug Ver.1.1.0.0をダウンロードします.", "Zel Plugをバージョンアップしました."]),
                          (2, [])):
        s.server.asked.clear()
        open(os.path.join(host, "zel.log"), "wb").close()
        rc = s.run_checker(host)
        check(rc == 0, f"{what}, run {run}: exit code 0 (got {rc})")
        s.check_log(f"{what}, run {run}", host, "zel.log", [STARTED, RUN_START, *messages, RUN_END])
        check(open(installed, "rb").read() == open(release, "rb").read(), f"{what}, run {run}: the release is installed")
        check(not os.path.exists(os.path.join(host, "dravin", "~dravin-update.staging")),
              f"{what}, run {run}: no staging file is left")
        expected = [s.base_path + "fileversion.txt"] + ([s.base_path + "bin/zelplug.dll"] if messages else [])
        check(s.server.asked == expected, f"{what}, run {run}: fetched {s.server.asked}")
        check(s.recorded_pages(0) == [], f"{what}, run {run}: no page opened")
    os.remove(release)


def stop_during_a_fetch(s, args, wine):
    """Stop and Esc during a fetch that would not end by itself: the server
    trickles one byte every 2 s and the host set no time-out. The fetch ends
    at once, and so does the program."""
    w = Window(s, args, wine)
    plug = plug_release(s, args)
    list_path, plug_path = s.base_path + "fileversion.txt", s.base_path + "bin/zelplug.dll"
    not_fetched = "zel.log: バージョンチェックファイルダウンロード失敗. (C.ERROR)"
    for what, slow, act, lines in [
        ("stop during the list's fetch", list_path, lambda: w.probe("click", "2"), [STARTED, RUN_START, not_fetched]),
        ("Esc during the list's fetch", list_path, lambda: w.probe("key", "1", "27"),
         [STARTED, RUN_START, not_fetched]),
        ("stop during a plug-in's fetch", plug_path, lambda: w.probe("click", "2"),
         [STARTED, RUN_START, "Zel Plug Ver.1.1.0.0をダウンロードします.", "Zel Plugのダウンロードに失敗しました.", RUN_END]),
    ]:
        print("--", what)
        host = s.install(what.replace(" ", "-").replace("'", ""), ["zel.log"], ["zel.exe"], ["zelplug.dll"])
        open(os.path.join(host, "zel.ini"), "wb").write(automatic(s, timeout=0))
        s.write_list([plug, "Zel,zel.exe,2.1.0.0,(C) Zel Soft,1,X"])
        s.server.faults = {slow: ("trickle", 2)}
        s.server.asked.clear()

        def during_the_fetch():
            check(w.until(lambda: slow in s.server.asked, 30), f"{what}: the fetch begins")
            time.sleep(1)
            act()
        try:
            if not run_with_input(s, w, wine, host, what, during_the_fetch, 30):
                continue
        finally:
            s.server.faults = {}
        s.check_log(what, host, "zel.log", lines)
        check(open(os.path.join(host, "dravin", "zelplug.dll"), "rb").read()
              == open(os.path.join(args.fixtures, "zelplug.dll"), "rb").read(),
              f"{what}: the installed plug-in is as it was")
        check(s.recorded_pages(0) == [], f"{what}: no page opened")
    os.remove(os.path.join(s.bin, "zelplug.dll"))


def paths_the_code_page_cannot_spell(s, args, wine):
    """A temp folder "Zürich" and a host in "Müller": code page 932 has
    neither letter, and its best-fit "u" names folders that do not exist.
    The checker goes by their short names: it finds its host, fetches into
    the temp folder and installs."""
    what = "folders the code page cannot spell"
    print("--", what)
    temp = os.path.join(args.work, "Zürich")
    shutil.rmtree(temp, ignore_errors=True)
    os.makedirs(temp)
    plug = plug_release(s, args)
    host = s.install("Müller", ["zel.log"], ["zel.exe"], ["zelplug.dll"])
    open(os.path.join(host, "zel.ini"), "wb").write(automatic(s))
    s.write_list(["Zel,zel.exe,2.1.0.0,(C) Zel Soft,1,X", plug])
    key = r"HKCU\Environment"
    before = re.search(r"TEMP\s+REG_\w+\s+(.*)", wine.output("reg", "query", key, "/v", "TEMP").decode("utf-8", "replace"))
    wine.run("reg", "add", key, "/v", "TEMP", "/d", "Z:" + temp.replace("/", "\\"), "/f")
    try:
        rc = s.run_checker(host)
    finally:
        if before:
            wine.run("reg", "add", key, "/v", "TEMP", "/d", before.group(1).strip(), "/f")
    check(rc == 0, f"{what}: exit code 0 (got {rc})")
    s.check_log(what, host, "zel.log", [STARTED, RUN_START, "Zel Ver.2.1.0.0がリリースされています.",
                                        "Zel Plug Ver.1.1.0.0をダウンロードします.", "Zel Plugをバージョンアップしました.",
                                        RUN_END])
    check(sorted(os.listdir(temp)) == ["zelplug.dll"], f"{what}: the fetches went to the temp folder ({os.listdir(temp)})")
    check(open(os.path.join(host, "dravin", "zelplug.dll"), "rb").read()
          == open(os.path.join(s.bin, "zelplug.dll"), "rb").read(), f"{what}: the release is installed")
    check(s.recorded_pages(1) == [s.pages["zel product"]], f"{what}: the product page opened")
    os.remove(os.path.join(s.bin, "zelplug.dll"))


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
                           ("button", "", "enabled", "-"), ("button", "", "enabled", "-"),
                           ("button", "", "enabled", "-"), ("radio", "", "enabled", "unchecked")],
              f"{what}: option and run buttons in their design states, in tab order ({controls})")
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


def stored_outline(artwork):
    """The region data the build stored for the window (Rgn1.dat: the picture
    property, then RgnData)."""
    data = open(os.path.join(artwork, "Rgn1.dat"), "rb").read()
    pos = 0
    for _ in range(2):
        name_length = data[pos]
        pos += 1 + name_length + 1
        count = struct.unpack_from("<I", data, pos)[0]
        pos += 4
        value, pos = data[pos:pos + count], pos + count
    return value


class Window:
    """The checker's window seen from outside: probe queries and real input."""

    def __init__(self, s, args, wine):
        self.s, self.args, self.wine = s, args, wine
        self.shots = os.path.join(args.work, "screenshots")
        os.makedirs(self.shots, exist_ok=True)

    def probe(self, *command):
        return probe(self.args, self.wine, *command)

    def rows(self, cls=None):
        out = self.probe(*(["-c", cls] if cls else []), "dump")[1]
        return [row.split("|") for row in out.splitlines()]

    def buttons(self):
        """Enabled states of Pause, Resume, Skip and Stop."""
        rows = {r[1]: r[2] == "enabled" for r in self.rows() if r[0] == "button" and r[1]}
        return [rows.get(n) for n in ("一時停止", "再開", "スキップ", "停止")]

    def origin(self, cls=None):
        out = self.probe(*(["-c", cls] if cls else []), "where")[1].split()
        return tuple(int(v) for v in out[1].split(","))

    def click(self, x, y, cls=None):
        ox, oy = self.origin(cls)
        subprocess.run(["xdotool", "mousemove", str(ox + x), str(oy + y), "sleep", "0.3", "click", "1"], check=True)

    def drag(self, x, y, dx, dy):
        ox, oy = self.origin()
        subprocess.run(["xdotool", "mousemove", str(ox + x), str(oy + y), "sleep", "0.3", "mousedown", "1",
                        "sleep", "0.3"], check=True)
        for step in range(1, 11):
            subprocess.run(["xdotool", "mousemove", str(ox + x + dx * step // 10), str(oy + y + dy * step // 10),
                            "sleep", "0.05"], check=True)
        subprocess.run(["xdotool", "mouseup", "1"], check=True)
        time.sleep(0.5)

    def close_box(self, cls):
        """The dark pixels at the right end of a window's caption, where its
        close box is, row by row."""
        out = self.probe("-c", cls, "where")[1].split()
        left, top, right, bottom = (int(v) for v in out[0].split(","))
        ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], capture_output=True,
                             check=True).stdout
        # Exactly one blank ends the header: the pixels may begin with bytes that look like blanks.
        header = re.match(rb"P6\s+(\d+)\s+\d+\s+255\s", ppm)
        columns, pixels = int(header.group(1)), ppm[header.end():]
        dark = lambda x, y: max(pixels[3 * (y * columns + x):3 * (y * columns + x) + 3]) < 48
        return [[dark(x, y) for x in range(right - 32, right)] for y in range(top, int(out[1].split(",")[1]))]

    def shot(self, name):
        path = os.path.join(self.shots, name)
        subprocess.run(["import", "-window", "root", path], check=True)
        print("screenshot:", path)

    def until(self, condition, limit=20):
        deadline = time.time() + limit
        while time.time() < deadline:
            if condition():
                return True
            time.sleep(0.2)
        return condition()


def is_cross(glyph):
    """True for a glyph shaped like an X: both diagonals drawn, the same when
    mirrored. The letter a missing symbol font leaves there ("r") is not."""
    cells = [(x, y) for y, row in enumerate(glyph) for x, dark in enumerate(row) if dark]
    if not 8 <= len(cells) <= sum(map(len, glyph)) // 4:
        return False
    xs, ys = [x for x, _ in cells], [y for _, y in cells]
    left, right, top, bottom = min(xs), max(xs), min(ys), max(ys)
    dark = set(cells)
    mirrored = sum((left + right - x, y) not in dark for x, y in cells)
    corners = [(left, top), (right, top), (left, bottom), (right, bottom)]
    near = lambda cx, cy: any(abs(x - cx) <= 1 and abs(y - cy) <= 1 for x, y in cells)
    return mirrored <= len(cells) // 8 and all(near(cx, cy) for cx, cy in corners)


def window_by_real_input(s, args, wine):
    what = "the window by real input"
    print("--", what)
    host = s.install("window", ["zel.ini", "zel.log"], ["zel.exe"])
    s.write_list(["Zel,zel.exe,9.0,x,1,X"])
    if os.path.exists(s.page_file):
        os.remove(s.page_file)
    w = Window(s, args, wine)
    checker = wine.start(os.path.join(host, "dravin", "dravin.exe"), "/options")
    try:
        if not check(w.probe("wait", "20000")[0] == 0, f"{what}: the window appears"):
            return
        time.sleep(1)
        w.shot("start.png")
        check(w.probe("region")[1].strip() == stored_outline(args.artwork).hex(),
              f"{what}: the window's outline is the stored region data")

        # A transparent pixel inside the bounding box (right of the title tab)
        # is not the window's: a drag there moves nothing. The surface drags it.
        before = w.origin()
        w.drag(300, 20, 50, 30)
        check(w.origin() == before, f"{what}: a drag on a transparent pixel does not reach the window")
        w.drag(250, 100, 50, 30)
        check(w.origin() == (before[0] + 50, before[1] + 30),
              f"{what}: a drag on the surface moves the window ({before} -> {w.origin()})")

        # Pause, then Resume: the wait notices within about a second.
        w.click(360, 150)
        check(w.until(lambda: w.buttons() == [False, True, False, True]),
              f"{what}: paused, Resume enabled and Pause disabled ({w.buttons()})")
        w.shot("pause.png")
        w.click(96, 150)
        started = time.time()
        check(w.until(lambda: w.buttons() == [True, False, False, True]),
              f"{what}: resumed, Pause enabled again ({w.buttons()})")
        print(f"   the pause ended {time.time() - started:.1f} s after Resume")

        w.click(372, 60)  # Home
        check(s.recorded_pages(1) == [s.pages["software"]], f"{what}: Home opens the maker's software page")

        w.click(396, 60)  # About
        check(w.until(lambda: (w.rows("TAboutForm") or [[""] * 3])[0][2:3] == ["visible"]),
              f"{what}: About shows its dialog")
        time.sleep(1)
        w.shot("about.png")
        about = w.rows("TAboutForm")
        check(about and about[0][1] == "バージョン情報" and about[0][4] == "334,204",
              f"{what}: the dialog's caption and size ({about[:1]})")
        focus = w.probe("-c", "TAboutForm", "focus")[1].strip().lower()
        check(focus == "button|ok", f"{what}: the dialog's OK button has the focus ({focus})")
        glyph = w.close_box("TAboutForm")
        check(is_cross(glyph), f"{what}: the close box shows a cross, the system's symbol font's glyph:\n"
              + "\n".join("".join("#" if p else "." for p in row) for row in glyph))
        w.click(40, 100, "TAboutForm")
        w.click(40, 148, "TAboutForm")
        check(s.recorded_pages(3) == [s.pages["software"], s.pages["download"], s.pages["support"]],
              f"{what}: the dialog's links open their pages")
        subprocess.run(["xdotool", "key", "Return"], check=True)
        check(w.until(lambda: w.rows("TAboutForm")[0][2] == "hidden"), f"{what}: Enter hides the dialog")
        w.click(396, 60)  # About again
        check(w.until(lambda: w.rows("TAboutForm")[0][2] == "visible"), f"{what}: About shows its dialog again")
        w.probe("-c", "TAboutForm", "key", "0", "27")  # Esc
        check(w.until(lambda: w.rows("TAboutForm")[0][2] == "hidden"), f"{what}: Esc hides the dialog")

        w.click(420, 60)  # Minimise
        check(w.until(lambda: w.rows()[0][2] == "hidden" and checker.poll() is None),
              f"{what}: minimised, the window leaves the screen and the program stays")
        check(w.probe("close")[0] == 0, f"{what}: WM_CLOSE posted")
        try:
            check(checker.wait(timeout=20) == 0, f"{what}: the window closes")
        except subprocess.TimeoutExpired:
            check(False, f"{what}: the window closes")
    finally:
        if checker.poll() is None:
            checker.kill()


def run_with_input(s, w, wine, host, what, act, timeout, *arguments):
    """Starts the checker of host with the arguments given, acts on its window
    once it is there, and waits for the program to end; False when the window
    never appeared."""
    if os.path.exists(s.page_file):
        os.remove(s.page_file)
    checker = wine.start(os.path.join(host, "dravin", "dravin.exe"), *arguments)
    try:
        if not check(w.probe("wait", "20000")[0] == 0, f"{what}: the window appears"):
            return False
        act()
        try:
            check(checker.wait(timeout=timeout) == 0, f"{what}: the program ends")
        except subprocess.TimeoutExpired:
            check(False, f"{what}: the program ends")
        return True
    finally:
        if checker.poll() is None:
            checker.kill()


def stored_places(s, args, wine):
    """Where the window restores itself. A settings file in the Windows folder
    (the storage's own, read as the window is shown) places the window and
    chooses automatic installation: restoring it neither shows nor activates
    the window, so the run, which the first activation starts, sees the
    choice. A place off every screen is brought back within reach."""
    w = Window(s, args, wine)
    what = "a place and options in the Windows folder"
    print("--", what)
    own = os.path.join(wine.prefix, "drive_c", "windows", "dravin.INI")
    host = s.install("windows-folder", ["zel.ini", "zel.log"], ["zel.exe"], ["zelplug.dll"])
    for name in os.listdir(s.bin):
        os.remove(os.path.join(s.bin, name))
    s.write_list(["Zel Plug,zelplug.dll,1.1.0.0,(C) Plug Maker,10,X"])
    with open(own, "wb") as f:
        f.write(b"[TFormDravin]\r\nPixelsPerInch=96\r\nNormPos=300,200,745,383\r\n"
                b"OpenHomePage_Checked=False\r\nAutoDLL_Checked=True\r\n")
    try:
        check(s.run_checker(host) == 0, f"{what}: exit code 0")
        s.check_log(what, host, "zel.log", [STARTED, RUN_START, "Zel Plug Ver.1.1.0.0をダウンロードします.",
                                            "Zel Plugのダウンロードに失敗しました.", RUN_END])
        check(s.recorded_pages(0) == [], f"{what}: no page opened")
    finally:
        os.remove(own)

    what = "a place off every screen"
    print("--", what)
    host = s.install("off-screen", ["zel.log"], ["zel.exe"])
    with open(os.path.join(host, "zel.ini"), "wb") as f:
        f.write(b"[TFormDravin]\r\nPixelsPerInch=96\r\nNormPos=-32000,-32000,-31555,-31817\r\n")
    screen = [int(v) for v in subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True,
                                             text=True, check=True).stdout.split()]

    def on_the_screen():
        time.sleep(1)
        left, top, right, bottom = (int(v) for v in w.probe("where")[1].split()[0].split(","))
        check(0 <= left and 0 <= top and right <= screen[0] and bottom <= screen[1],
              f"{what}: the window is on the screen ({left},{top},{right},{bottom} on {screen})")
        w.probe("close")
    run_with_input(s, w, wine, host, what, on_the_screen, 20, "/options")


def run_control(s, args, wine):
    """A long list keeps the run busy while the buttons are pressed."""
    long_list = [f"Gone,gone{i}.dll,1.0,x,1,X" for i in range(100000)] + ["Zel,zel.exe,9.0,x,1,X"]
    last = "Zel Ver.9.0がリリースされています."
    w = Window(s, args, wine)
    for what, act, finished in [
        ("pause, then stop", lambda: (w.probe("click", "1"),
                                      check(w.until(lambda: w.buttons() == [False, True, False, True]),
                                            "pause, then stop: paused"),
                                      w.click(272, 150)), False),
        ("Esc stops the run", lambda: w.probe("key", "1", "27"), False),
        ("minimised, the run goes on", lambda: w.probe("click", "7"), True),
    ]:
        print("--", what)
        host = s.install(what.replace(" ", "-").replace(",", ""), ["zel.ini", "zel.log"], ["zel.exe"])
        s.write_list(long_list)
        if os.path.exists(s.temp_list):
            os.remove(s.temp_list)

        def during_the_scan(act=act):
            # Stop and Esc during the list's fetch would end that fetch instead.
            check(w.until(lambda: os.path.exists(s.temp_list)
                          and os.path.getsize(s.temp_list) == os.path.getsize(s.list_file), 60),
                  f"{what}: the list is fetched")
            time.sleep(0.5)
            act()
        if run_with_input(s, w, wine, host, what, during_the_scan, 120):
            s.check_log(what, host, "zel.log", [STARTED, RUN_START] + ([last] if finished else []) + [RUN_END])


# Settings files after a run: what the host had, and the golden file the
# system's profile functions wrote under Wine (tests/e2e/golden; the host
# build's writer is checked against the same files by app_tests).
SETTINGS_CASES = [
    ("the options follow the host's section", "zel.ini",
     b"[TSetup]\r\nUseProxy_Checked=False\r\nTimeOut_Text=60\r\n", "new-section.ini"),
    ("stored options restored and updated in place", "zel.ini",
     b"[TSetup]\r\nTimeOut_Text=60\r\n[TFormDravin]\r\nAutoDLL_Checked=true\r\nOpenHomePage_Checked=False\r\n"
     b"Extra=1\r\n[After]\r\na=b\r\n", "in-place.ini"),
    ("Orn's settings file", "orn.ini", b"", "orn.ini"),
]


def settings_files(s, args, wine):
    golden_dir = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden")
    w = Window(s, args, wine)

    def compare(what, path, golden):
        got = open(path, "rb").read()
        if args.write_golden:
            open(os.path.join(golden_dir, golden), "wb").write(got)
            print("wrote", golden)
            return
        want = open(os.path.join(golden_dir, golden), "rb").read()
        if not check(got == want, f"{what}: the settings file is the golden {golden}"):
            print("  got:", got)

    for what, name, before, golden in SETTINGS_CASES:
        print("--", what)
        host = s.install(what.replace(" ", "-").replace("'", ""), ["zel.log"], ["zel.exe"])
        open(os.path.join(host, name), "wb").write(before)
        if os.path.exists(s.list_file):
            os.remove(s.list_file)
        check(s.run_checker(host) == 0, f"{what}: exit code 0")
        compare(what, os.path.join(host, name), golden)

    what = "no settings file"
    print("--", what)
    host = s.install("no-settings", ["zel.log"], ["zel.exe"])
    s.run_checker(host)
    check(not os.path.exists(os.path.join(host, "zel.ini")) and not os.path.exists(os.path.join(host, "orn.ini")),
          f"{what}: none is made")

    # With an argument the window only serves the options: the user picks
    # automatic installation and closes the window.
    what = "the options changed on the idle window"
    print("--", what)
    host = s.install("options", ["zel.log"], ["zel.exe"])
    open(os.path.join(host, "zel.ini"), "wb").write(b"")

    def pick_automatic():
        # A click that lands before the window has taken its place after its
        # first showing is lost; clicking a radio button again changes nothing.
        def auto_checked():
            return [r[3] for r in w.rows() if r[0] == "radio"] == ["unchecked", "checked"]
        clicked = False
        for _ in range(5):
            time.sleep(1)
            w.click(40, 120)  # the option button AutoDLL
            if w.until(auto_checked, 4):
                clicked = True
                break
        check(clicked, f"{what}: the click checks AutoDLL and unchecks OpenHomePage")
        w.probe("close")
    if run_with_input(s, w, wine, host, what, pick_automatic, 20, "/options"):
        compare(what, os.path.join(host, "zel.ini"), "options.ini")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dravin", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--addresses", required=True)
    parser.add_argument("--artwork", required=True)
    parser.add_argument("--write-golden", action="store_true",
                        help="write the settings files of the run as the golden files instead of comparing")
    parser.add_argument("--list-maker", required=True)
    parser.add_argument("--override", action="append", default=[])
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("dravin_e2e: needs an X display (tools/run-tests starts Xvfb)", file=sys.stderr)
        return 1
    addresses = read_addresses(args.addresses, args.override)
    pages = {"zel product": addresses["ZEL_PRODUCT_PAGE"], "orn product": addresses["ORN_PRODUCT_PAGE"],
             "zel plug-in": addresses["ZEL_PLUGIN_PAGE"], "orn plug-in": addresses["ORN_PLUGIN_PAGE"],
             "maker": addresses["MAKER_TOP_PAGE"], "software": addresses["MAKER_SOFTWARE_PAGE"],
             "download": addresses["DOWNLOAD_PAGE"], "support": addresses["SUPPORT_BOARD_PAGE"]}

    os.makedirs(args.work, exist_ok=True)

    wine = Wine(args.work)
    server = UpdateServer(os.path.join(args.work, "server"))
    try:
        wine.set_up(os.path.join(args.work, "pages.txt"))
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
        # Device names and control bytes: never looked at, so the scan goes
        # on to the host's own release.
        s.check_run("device names and control bytes",
                    ["zel.ini", "zel.log"], ["zel.exe"], ["zelplug.dll"],
                    ["Evil,NUL,9,9,1,X", "Evil,com1.dll,9,9,1,X", "Evil,CONOUT$.dll,9,9,1,X",
                     "Evil,dravin.exe\0x,9,9,1,X", "Ev\x01il,zelplug.dll,9,9,1,X", "Evil,zelplug.dll,9.\x7f0,9,1,X",
                     "Zel,zel.exe,2.1.0.0,(C) Zel Soft,1,X"],
                    "zel.log", ["Zel Ver.2.1.0.0がリリースされています."], ["zel product"])
        s.check_run("an empty list",
                    ["zel.ini", "zel.log"], ["zel.exe"], [], [],
                    "zel.log", [], [], error="バージョンチェックファイルダウンロード失敗.")
        # The server states the list's length and closes after half of it: a
        # list cut short is not taken as whole, whatever lines it has.
        s.check_run("a list cut short",
                    ["zel.ini", "zel.log"], ["zel.exe"], [],
                    ["Zel,zel.exe,2.1.0.0,(C) Zel Soft,1,X"] * 40,
                    "zel.log", [], [], error="バージョンチェックファイルダウンロード失敗.", list_fault=("cut",))
        s.check_run("no list",
                    ["orn.log"], ["zel.exe"], [], None,
                    "orn.log", [], [], error="バージョンチェックファイルダウンロード失敗.")
        installation_from_the_server(s, args)
        stop_during_a_fetch(s, args, wine)
        paths_the_code_page_cannot_spell(s, args, wine)
        single_instance_and_idle_window(s, args, wine)
        settings_files(s, args, wine)
        if args.write_golden:
            return 0
        window_by_real_input(s, args, wine)
        stored_places(s, args, wine)
        run_control(s, args, wine)
    finally:
        wine.shut_down()
        server.stop()
    print(f"dravin_e2e: {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
