# Sourced by the benchmarks that race one of our programs against srec_cat on
# the same ~2 MB Intel HEX file (704 KiB of random data at 0x08000000, 16-byte
# records, CR LF, generated with srec_cat), as whole processes: what a user
# waits for, start-up included.
#
# The caller sets name (the prefix of every printed line) and label (what the
# figures call our program), defines `ours IN OUT` (reads the HEX file IN and
# writes its binary to OUT; a non-zero status fails the benchmark), and calls
# srec_race RUNS; it may define `check_ours IN` too, run once before the
# timing for what else must hold. The binary ours writes is checked against
# the source data before anything is timed: a fast wrong answer is worthless.

srec_race() {
  local runs=$1
  if ! command -v srec_cat >/dev/null 2>&1; then
    echo "$name: srec_cat not found (Debian package srecord); skipped"
    return 0
  fi
  work=$(mktemp -d)  # global: the exit trap needs it after this returns
  trap 'rm -rf "$work"' EXIT

  head -c $((0xB0000)) /dev/urandom >"$work/image.bin"
  srec_cat "$work/image.bin" -binary -offset 0x08000000 -o "$work/image.hex" -intel -obs 16 -crlf
  echo "$name: $(wc -c <"$work/image.hex") bytes, $(wc -l <"$work/image.hex") records, 704 KiB image"

  ours "$work/image.hex" "$work/ours.bin"
  if ! cmp -s "$work/ours.bin" "$work/image.bin"; then
    echo "$name: $label wrote a binary that differs from the source data" >&2
    return 1
  fi
  if declare -F check_ours >/dev/null; then check_ours "$work/image.hex" || return 1; fi

  # One untimed run of each warms the page cache and the loader. The timed
  # runs alternate, so that a change in the machine's load hits both alike;
  # bash's `time` gives wall, user and system time of each run.
  srec_cat "$work/image.hex" -intel -o "$work/srec.bin" -binary
  local TIMEFORMAT='%3R %3U %3S'
  local i
  for ((i = 0; i < runs; i++)); do
    { time ours "$work/image.hex" "$work/ours.bin"; } 2>>"$work/ours.times"
    { time srec_cat "$work/image.hex" -intel -o "$work/srec.bin" -binary; } 2>>"$work/srec.times"
  done

  awk -v n="$runs" -v name="$name" -v label="$label" '
    FNR == NR { wa += $1; ca += $2 + $3; next }
              { wb += $1; cb += $2 + $3 }
    END {
      printf "%s: %d runs each, wall: %s %.2f ms/run, srec_cat %.2f ms/run, ratio %.2f (target at most 0.50)\n",
             name, n, label, wa / n * 1000, wb / n * 1000, wa / wb
      printf "%s: cpu (user+sys): %s %.2f ms/run, srec_cat %.2f ms/run, ratio %.2f\n",
             name, label, ca / n * 1000, cb / n * 1000, (cb > 0 ? ca / cb : 0)
    }' "$work/ours.times" "$work/srec.times"
}
