#!/usr/bin/env bash
# The stream's service time beside the machine's own limit, in one run: for each load (idle,
# then both cores busy with stress-ng), a plain thread waking every 3 ms natively and under Wine
# without the player, then the player streaming for SECONDS on the real-time virtual endpoint.
# The goal: the stream's p99.9 adds less than 10 % of the 3 ms period to the p99.9 of the plain
# thread under Wine. Exits with the stream tool's status: non-zero when a frame differed or a
# reference was left. Usage: service-time.sh [SECONDS] (default 60; the baselines take a third).
set -uo pipefail
seconds=${1:-60}
baseline_seconds=$((seconds / 3 > 0 ? seconds / 3 : 1))
cd "$(dirname "${BASH_SOURCE[0]}")/.."
native=build/host/bin/timer_wakeup
wine_timer=build/win64/bin/timer_wakeup.exe
stream=build/win64/bin/stream_service_time.exe
work=$(mktemp -d)
load=''
trap '[ -z "$load" ] || kill "$load" 2>/dev/null; rm -rf "$work"' EXIT

p999() { sed -n 's/.*p99\.9 \([0-9.]*\).*/\1/p' "$1"; }
count() { sed -n "s/.*$2: \\([0-9]*\\).*/\\1/p" "$1"; }

measure() {  # LABEL
  echo "== $1: a plain thread waking every 3 ms, natively, $baseline_seconds s"
  "$native" --seconds "$baseline_seconds" | tee "$work/native"
  echo "== $1: the same thread under Wine, $baseline_seconds s"
  scripts/wine64-run "$wine_timer" --seconds "$baseline_seconds" | tr -d '\r' | tee "$work/wine"
  echo "== $1: the player streaming under Wine, $seconds s"
  scripts/wine64-run "$stream" --seconds "$seconds" | tr -d '\r' | tee "$work/stream"
  local status=${PIPESTATUS[0]}
  awk -v stream="$(p999 "$work/stream")" -v wine="$(p999 "$work/wine")" \
      -v native="$(p999 "$work/native")" -v late="$(count "$work/stream" 'late buffers')" \
      -v late_wakes="$(count "$work/wine" 'late wakes (more than a period)')" -v label="$1" 'BEGIN {
    added = stream - wine
    printf "%s: stream p99.9 %.1f us, plain thread under Wine %.1f us (ratio %.2f), natively %.1f us; late buffers %d, late wakes under Wine %d; the stream adds %.1f us, %.1f %% of a period: goal (under 10 %%) %s\n",
           label, stream, wine, (wine > 0 ? stream / wine : 0), native, late, late_wakes, added,
           added / 30, (added < 300 ? "met" : "missed")
  }'
  return "$status"
}

status=0
measure idle || status=$?
stress-ng --cpu 2 --timeout $((seconds + 2 * baseline_seconds + 30))s >/dev/null 2>&1 &
load=$!
measure "both cores busy (stress-ng --cpu 2)" || status=$?
exit "$status"
