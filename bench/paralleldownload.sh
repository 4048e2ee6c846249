#!/usr/bin/env bash
# Wall time of one K7310 download against three at once (one command, three
# ports), the same image, 115200 baud, simulators that carry bytes no faster
# than the line would (--pace). Three at once should take at most 1.2 times
# one: the ports run side by side, each in its own process.
# Usage: bench/paralleldownload.sh BUILD_DIR   (MAIN_KIB=64 by default)
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
program="$build/cli/qmss"
[ -x "$program" ] || cmake --build "$build" -j2 --target qmss >/dev/null
program=$(cd "$(dirname "$program")" && pwd)/qmss

work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
export QMSS_INI="$work/none.INI" LC_ALL=C

# A total image: MAIN_KIB of seeded bytes for the main processor, 8 KiB for
# each of the others, in their slots.
python3 - "${MAIN_KIB:-64}" > total.hex <<'PY'
import random, sys
random.seed(7)
def part(base, size):
    out = []
    for offset in range(0, size, 16):
        address = base + offset
        if offset == 0 or (address & 0xFFFF) == 0:
            upper = address >> 16
            record = [2, 0, 0, 4, upper >> 8, upper & 0xFF]
            out.append(":" + "".join("%02X" % b for b in record) + "%02X" % (-sum(record) & 0xFF))
        data = [random.randrange(256) for _ in range(16)]
        record = [16, (address >> 8) & 0xFF, address & 0xFF, 0] + data
        out.append(":" + "".join("%02X" % b for b in record) + "%02X" % (-sum(record) & 0xFF))
    return out
lines = part(0x08000000, int(sys.argv[1]) * 1024)
for slot in (0x08080000, 0x08090000, 0x080A0000):
    lines += part(slot, 8 * 1024)
lines.append(":00000001FF")
print("\r\n".join(lines), end="\r\n")
PY

# Starts a paced simulator; its port in $port.
start_sim() {
  "$program" sim k7310 --awake --pace --parity E --dump "$1" > "$1.out" 2>&1 &
  sims+=($!)
  for _ in $(seq 50); do
    port=$(sed -n 's/^PORT //p' "$1.out")
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  echo "the simulator printed no port" >&2
  return 1
}

seconds_of() {  # runs the command, prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>run.err || { cat run.err >&2; return 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f\n", b - a }'
}

start_sim one
one=$(seconds_of "$program" download k7310 total.hex -p "$port" --baud 115200 --parity E -q)
ports=()
for n in 1 2 3; do
  start_sim "three$n"
  ports+=(-p "$port")
done
three=$(seconds_of "$program" download k7310 total.hex "${ports[@]}" --baud 115200 --parity E -q)
ratio=$(awk -v a="$one" -v b="$three" 'BEGIN { printf "%.2f\n", b / a }')
echo "one download:         ${one} s"
echo "three at once:        ${three} s"
echo "three against one:    ${ratio} (target at most 1.2)"
