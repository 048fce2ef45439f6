#!/usr/bin/env bash
# FileMD5Hex against md5sum on random files from 0 bytes to 100 MB, with sizes
# at and around the 16384- and 65536-byte boundaries.
# usage: md5-vs-md5sum.sh CHECKER DATA_DIR [EMULATOR...]
set -euo pipefail
checker=$1 data=$2
shift 2
mkdir -p "$data"
cd "$data"

sizes="0 1 55 56 63 64 65 1000 16383 16384 16385 32767 32768 32769 49152 65535 65536 65537
       131071 131072 131073 196608 1048576 3000001 104857600"
# A few more sizes that nobody chose, but the same ones in every run.
seeded=$(awk 'BEGIN { srand(1321); for (i = 0; i < 6; i++) printf "%d ", int(rand() * 5000000) }')

: > list.md5
for n in $sizes $seeded; do
  f="random-$n.bin"
  if [ ! -f "$f" ] || [ "$(stat -c %s "$f")" -ne "$n" ]; then
    head -c "$n" /dev/urandom > "$f.tmp" && mv "$f.tmp" "$f"
  fi
  md5sum "$f" >> list.md5
done
exec "$@" "$checker" list.md5
