#!/usr/bin/env bash
# Loading a full first-protocol image: bench_hexload (HexFile::Load, lines
# kept as the views need them) against srec_cat (see bench/support/srecrace.sh).
# Usage: bench/hexload.sh BUILD_DIR   (RUNS=20 by default)
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
program="$build/bench/bench_hexload"
[ -x "$program" ] || cmake --build "$build" -j2 --target bench_hexload >/dev/null

name=hexload
label=bench_hexload
ours() { "$program" "$1" "$2"; }
source "$(dirname "$0")/support/srecrace.sh"
srec_race "${RUNS:-20}"
