#!/usr/bin/env bash
# Installs what the build and the tests need and prepares the Wine prefix. Idempotent: a second
# run only checks. Usage: setup.sh [--win32] [--extras]
#   --win32   also 32-bit Wine (i386 architecture), for the optional 32-bit Windows test leg
#   --extras  also the load generator of the service-time measurement (stress-ng)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

packages=(cmake ninja-build g++ g++-multilib g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 clang googletest libbenchmark-dev
          wine64 qemu-user-static sox gnuplot-nox libfftw3-dev)
want_win32=no
for arg in "$@"; do
  case "$arg" in
    --win32) want_win32=yes; packages+=(wine32:i386) ;;
    --extras) packages+=(stress-ng) ;;
    *) echo "setup.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }

if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
  echo "setup.sh: this is not a Debian or Ubuntu system. Install by hand: ${packages[*]}" >&2
  echo "(CMake, Ninja, g++ with 32-bit multilib, MinGW-w64 posix-thread compilers, GoogleTest" >&2
  echo " sources in /usr/src/googletest, Google Benchmark, 64-bit Wine, qemu-i386-static, sox," >&2
  echo " gnuplot, FFTW3)" >&2
  exit 1
fi

if [ "$want_win32" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: the i386 architecture is missing. Run: sudo dpkg --add-architecture i386" >&2
    exit 1
  fi
  dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: missing packages: ${missing[*]}" >&2
    echo "Run: sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  echo "setup.sh: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Wine prefixes, made once: a 64-bit one, and with --win32 a 32-bit one for 32-bit Wine,
# served by the 64-bit wineserver.
prepare_prefix() {  # PREFIX LOADER [WINEARCH]
  [ -f "$1/.exclusive-tone-prefix" ] && return
  echo "setup.sh: preparing the Wine prefix in $1"
  mkdir -p "$1"
  WINEPREFIX=$1 WINEARCH=${3:-} WINESERVER=$WINESERVER64 "$2" wineboot --init >/dev/null 2>&1 || true
  WINEPREFIX=$1 WINESERVER=$WINESERVER64 "$2" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1 || true
  WINEPREFIX=$1 "$WINESERVER64" -w
  touch "$1/.exclusive-tone-prefix"
}
prepare_prefix "$WINEPREFIX" "$WINE64_LOADER"
if [ "$want_win32" = yes ]; then
  prepare_prefix "$EXCLUSIVE_TONE_CACHE/wine32" "$WINE32_LOADER" win32
fi
