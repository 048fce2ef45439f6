#!/usr/bin/env python3
"""The window picture's conversion to region data: the host build's time, and
under Wine our conversion against the system's regions (one rectangle region
per run united with CombineRgn, then GetRegionData), measured in one run of
the Windows build. usage: region.py TREE (DRAVIN_BENCH_WIN: the Windows tree)"""
import os
import subprocess
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
tree = sys.argv[1]
window = os.path.join(tree, "artwork", "window.bmp")
print("-- host build")
status = subprocess.run([os.path.join(tree, "bench", "regionbench"), window]).returncode
win = os.environ.get("DRAVIN_BENCH_WIN")
if win:
    print("-- Windows build under Wine")
    exe = os.path.join(win, "bench", "regionbench.exe")
    status |= subprocess.run([os.path.join(root, "tools", "wine-run"), exe,
                              "Z:" + os.path.abspath(window).replace("/", "\\")]).returncode
sys.exit(status)
