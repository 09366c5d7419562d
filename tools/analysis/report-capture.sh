#!/usr/bin/env bash
# What an audio analyser reports on a captured tone: prints the analysis line and the verdict,
# draws the waveform and the dBFS spectrum into PNG, and exits 1 when the analysis flags the
# capture (2 when it cannot be analysed).
# Usage: report-capture.sh WAV PNG
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 WAV PNG" >&2; exit 2; }
wav=$1
png=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

# The analyser is native host code: built in the host preset, quietly unless it fails.
(cd "$root" && scripts/quietly cmake --preset host &&
  scripts/quietly cmake --build --preset host --target capture-analysis)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
"$root/build/host/bin/capture-analysis" --plot-data "$work" "$wav" || status=$?
[ "$status" -le 1 ] || exit "$status"
gnuplot -e "data='$work'; output='$png'" "$here/capture-picture.gp"
exit "$status"
