#!/usr/bin/env bash
# bit-perfect-check as a command: its line and exit status on recordings that Python writes from
# mpmath's sines (make_recording.py), and on files it cannot read.
# Usage: command_test.sh PYTHON EXE [RUNNER...]
set -uo pipefail
python=$1
exe=$2
shift 2
runner=("$@")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

# expect STATUS LINE-PREFIX FILE: the command's exit status and the start of what it prints.
expect() {
  local output status
  # Run with each arithmetic of the sine's products: a processor without FMA says so first.
  output=$("${runner[@]}" "$exe" "$3" 2>&1 | tr -d '\r' | grep -v ': this processor has no FMA')
  status=${PIPESTATUS[0]}
  if [ "$status" != "$1" ] || [[ "$output" != "$2"* ]]; then
    echo "FAILED on $3: status $status (expected $1), output:"
    echo "$output"
    echo "expected it to start with: $2"
    failures=$((failures + 1))
  fi
}

"$python" "$here/make_recording.py" clean.wav --silence 2400 || exit 1
"$python" "$here/make_recording.py" gain.wav --harm gain || exit 1
head -c 30 clean.wav >cut.wav
expect 0 "bit-perfect: yes, 24-bit tone in 24-bit integer PCM, 2 channels, 48001 frames from capture frame 2400 = tone frame 0" clean.wav
expect 1 "bit-perfect: no, 24-bit tone in 24-bit integer PCM, 2 channels, 47999 frames" gain.wav
expect 2 "bit-perfect-check: cut.wav: fmt chunk runs past the end of the file" cut.wav
expect 2 "bit-perfect-check: missing.wav: cannot open missing.wav" missing.wav
[ "$failures" -eq 0 ] && echo "bit-perfect-check: every command case passed"
exit $((failures > 0))
