#!/usr/bin/env bash
# Soak: streams in real time on the virtual endpoint for the given minutes (default 10) and
# compares every frame the endpoint receives with the comparison tone of tests/support (its own
# loop over the sine, sharing no code with the player's generator); fails on any gap, repeat or
# corrupt frame, or on a reference left unreleased.
set -euo pipefail
minutes=${1:-10}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here/.."
scripts/quietly cmake --preset win64
scripts/quietly cmake --build --preset win64 --target stream_service_time
scripts/wine64-run build/win64/bin/stream_service_time.exe --seconds $((minutes * 60))
