#!/usr/bin/env bash
# `qmss info FILE --bin OUT` on a full first-protocol image, against srec_cat.
# Generates a ~2 MB Intel HEX file (704 KiB of random data at 0x08000000,
# 16-byte records, CR LF) with srec_cat, checks that qmss writes back the same
# binary, then times RUNS whole-process runs of each, alternating: what a user
# waits for, start-up of the program included.
# Usage: bench/qmssinfo.sh BUILD_DIR   (RUNS=20 by default)
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR}
runs=${RUNS:-20}
program="$build/cli/qmss"

if ! command -v srec_cat >/dev/null 2>&1; then
  echo "qmssinfo: srec_cat not found (Debian package srecord); skipped"
  exit 0
fi
if [ ! -x "$program" ]; then
  cmake --build "$build" -j2 --target qmss >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c $((0xB0000)) /dev/urandom >"$work/image.bin"
srec_cat "$work/image.bin" -binary -offset 0x08000000 -o "$work/image.hex" -intel -obs 16 -crlf
echo "qmssinfo: $(wc -c <"$work/image.hex") bytes, $(wc -l <"$work/image.hex") records, 704 KiB image"

"$program" info "$work/image.hex" --bin "$work/ours.bin" >"$work/info.txt"
if ! cmp -s "$work/ours.bin" "$work/image.bin"; then
  echo "qmssinfo: qmss info --bin wrote a binary that differs from the source data" >&2
  exit 1
fi
if ! grep -q '^load report: clean' "$work/info.txt"; then
  echo "qmssinfo: qmss info did not report a clean load:" >&2
  cat "$work/info.txt" >&2
  exit 1
fi

# One untimed run of each warms the page cache and the loader. The timed runs
# alternate, so that a change in the machine's load hits both alike; bash's
# `time` gives wall, user and system time of each run.
srec_cat "$work/image.hex" -intel -o "$work/srec.bin" -binary
TIMEFORMAT='%3R %3U %3S'
for ((i = 0; i < runs; i++)); do
  { time "$program" info "$work/image.hex" --bin "$work/ours.bin" >/dev/null; } 2>>"$work/ours.times"
  { time srec_cat "$work/image.hex" -intel -o "$work/srec.bin" -binary; } 2>>"$work/srec.times"
done

awk -v n="$runs" '
  FNR == NR { wa += $1; ca += $2 + $3; next }
            { wb += $1; cb += $2 + $3 }
  END {
    printf "qmssinfo: %d runs each, wall: qmss info %.2f ms/run, srec_cat %.2f ms/run, ratio %.2f (target at most 0.50)\n",
           n, wa / n * 1000, wb / n * 1000, wa / wb
    printf "qmssinfo: cpu (user+sys): qmss info %.2f ms/run, srec_cat %.2f ms/run, ratio %.2f\n",
           ca / n * 1000, cb / n * 1000, (cb > 0 ? ca / cb : 0)
  }' "$work/ours.times" "$work/srec.times"
