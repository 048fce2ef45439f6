#!/usr/bin/env python3
"""FileMD5Hex throughput on a 256 MB file against md5sum and OpenSSL's MD5,
measured in one run: each program digests the same cached file several times,
the best time of each counts, and the digests must agree."""
import os
import subprocess
import sys
import time

tree = sys.argv[1]
size = 256 * 1024 * 1024
data_dir = os.path.join(tree, "benchdata")
os.makedirs(data_dir, exist_ok=True)
path = os.path.join(data_dir, "md5-256mb.bin")
if not os.path.exists(path) or os.path.getsize(path) != size:
    with open(path, "wb") as f:
        for _ in range(size // (1 << 20)):
            f.write(os.urandom(1 << 20))

ours = os.path.join(tree, "bench", "md5file")
peers = {
    "FileMD5Hex": [ours, path],
    "md5sum": ["md5sum", path],
    "openssl": ["openssl", "dgst", "-md5", "-r", path],
}


def digest_of(output):
    return output.split()[0].strip().lstrip("*").upper()


best = {}
digests = {}
for _ in range(5):
    for name, cmd in peers.items():
        start = time.perf_counter()
        out = subprocess.run(cmd, capture_output=True, text=True, check=True).stdout
        spent = time.perf_counter() - start
        best[name] = min(best.get(name, spent), spent)
        digests[name] = digest_of(out)

if len(set(digests.values())) != 1:
    print("digests differ:", digests)
    sys.exit(1)
mb = size / 1e6
for name in peers:
    print(f"{name:10s} {best[name]:.3f} s  {mb / best[name]:7.1f} MB/s")
fastest = min(best[n] for n in peers if n != "FileMD5Hex")
print(f"ratio FileMD5Hex/md5sum  {best['md5sum'] / best['FileMD5Hex']:.2f}")
print(f"ratio FileMD5Hex/openssl {best['openssl'] / best['FileMD5Hex']:.2f}")
print(f"ratio to the fastest peer {fastest / best['FileMD5Hex']:.2f}")
