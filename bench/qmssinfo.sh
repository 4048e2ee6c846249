#!/usr/bin/env bash
# `qmss info FILE --bin OUT` on a full first-protocol image, against srec_cat
# (see bench/support/srecrace.sh); the load must also report clean.
# Usage: bench/qmssinfo.sh BUILD_DIR   (RUNS=20 by default)
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
program="$build/cli/qmss"
[ -x "$program" ] || cmake --build "$build" -j2 --target qmss >/dev/null

name=qmssinfo
label="qmss info"
ours() { "$program" info "$1" --bin "$2" >/dev/null; }
check_ours() {
  local report
  report=$("$program" info "$1")
  grep -q '^load report: clean' <<<"$report" && return 0
  echo "$name: the load did not report clean:" >&2
  echo "$report" >&2
  return 1
}
source "$(dirname "$0")/support/srecrace.sh"
srec_race "${RUNS:-20}"
