#!/usr/bin/env python3
"""The version list's field splitter on lines of 64 KB and 1 MB, against a
plain split at every comma of the same line, in one run of the host build.
usage: csv.py TREE"""
import os
import subprocess
import sys

tree = sys.argv[1]
sys.exit(subprocess.run([os.path.join(tree, "bench", "csvbench"), "64", "1024"]).returncode)
