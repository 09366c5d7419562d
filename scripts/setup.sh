#!/usr/bin/env bash
# Installs what the build and the tests need and prepares the Wine prefix. Idempotent: a second
# run only checks. Usage: setup.sh [--win32] [--extras]
#   --win32   also 32-bit Wine (i386 architecture), for the 32-bit Windows test leg
#   --extras  also the load generator of the service-time measurement (stress-ng)
# Without Debian's package tools it checks that the commands the build runs are there instead.
# SKIP_SETUP=1 skips the packages (the Wine prefix is still prepared).
# Exit status: 0 ready; 1 something the build needs is missing (apt's own error is shown);
# 3 ready but for 32-bit Wine, which cannot be installed here: the reason, naming the package
# and apt's first error, is the one line on standard output. Progress goes to standard error.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

packages=(cmake ninja-build g++ g++-multilib g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 clang googletest libbenchmark-dev
          wine64 qemu-user-static sox gnuplot-nox libfftw3-dev python3-mpmath python3-gmpy2)
# What those packages provide, checked by name where there are no Debian packages.
commands=(cmake ninja g++ clang clang++ i686-w64-mingw32-gcc-posix i686-w64-mingw32-g++-posix
          i686-w64-mingw32-windres x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix
          x86_64-w64-mingw32-windres qemu-i386-static sox gnuplot flock "$WINE64_LOADER" "$WINESERVER64")
want_win32=no
# 32-bit Wine costs only a test leg when it is missing, and it can be missing on a machine that
# runs 32-bit code: a mirror whose i386 index is out of sync cannot provide it.
win32_packages=()
for arg in "$@"; do
  case "$arg" in
    --win32) want_win32=yes; win32_packages=(wine32:i386) ;;
    --extras) packages+=(stress-ng); commands+=(stress-ng) ;;
    *) echo "setup.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }

# Elsewhere: the commands, and what the build takes from files rather than commands.
check_without_packages() {
  local missing=() command
  for command in "${commands[@]}"; do
    command -v "$command" >/dev/null || missing+=("$command")
  done
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=("GoogleTest sources in /usr/src/googletest")
  echo '#include <benchmark/benchmark.h>' | g++ -x c++ -fsyntax-only - >/dev/null 2>&1 ||
    missing+=("Google Benchmark's header benchmark/benchmark.h")
  echo '#include <fftw3.h>' | g++ -x c++ -fsyntax-only - >/dev/null 2>&1 ||
    missing+=("FFTW3's header fftw3.h")
  echo 'int main() {}' | g++ -m32 -static -x c++ - -o /dev/null >/dev/null 2>&1 ||
    missing+=("32-bit static linking with g++ -m32 -static (multilib)")
  [ ${#missing[@]} -eq 0 ] && return
  echo "setup.sh: not a Debian or Ubuntu system, and the build needs what is missing here:" >&2
  printf '  %s\n' "${missing[@]}" >&2
  echo "Install these (or run with SKIP_SETUP=1 to go on regardless)." >&2
  exit 1
}

if [ "${SKIP_SETUP:-}" = 1 ]; then
  packages=() win32_packages=()
elif ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
  check_without_packages
  packages=() win32_packages=()
fi

if [ ${#win32_packages[@]} -gt 0 ] &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: the i386 architecture is missing. Run: sudo dpkg --add-architecture i386" >&2
    exit 1
  fi
  dpkg --add-architecture i386
fi

first_error() { grep -m1 '^E:' "$1" || grep -m1 . "$1" || echo "no message"; }

# One index that fails to download (a mirror in the middle of a sync) leaves the others usable:
# a warning, and the install goes on with the lists there are.
updated=no
apt_update() {
  [ "$updated" = yes ] && return
  updated=yes
  local log
  log=$(mktemp)
  apt-get update -qq -o DPkg::Lock::Timeout=300 >"$log" 2>&1 ||
    echo "setup.sh: warning: apt-get update failed, going on with the package lists there are: $(first_error "$log")" >&2
  rm -f "$log"
}

missing=() missing_win32=()
for p in "${packages[@]+"${packages[@]}"}"; do installed "$p" || missing+=("$p"); done
for p in "${win32_packages[@]+"${win32_packages[@]}"}"; do installed "$p" || missing_win32+=("$p"); done
unavailable=""
if [ "$(id -u)" -ne 0 ]; then
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup.sh: missing packages: ${missing[*]}" >&2
    echo "Run: sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  [ ${#missing_win32[@]} -eq 0 ] ||
    unavailable="32-bit Wine is not installed (${missing_win32[*]}; as root: apt-get install ${missing_win32[*]})"
  missing_win32=()
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup.sh: installing ${missing[*]}" >&2
  apt_update
  log=$(mktemp)
  if ! apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 "${missing[@]}" >"$log" 2>&1; then
    cat "$log" >&2
    echo "setup.sh: apt-get could not install ${missing[*]} (its output is above)" >&2
    exit 1
  fi
  rm -f "$log"
fi
if [ ${#missing_win32[@]} -gt 0 ]; then
  echo "setup.sh: installing ${missing_win32[*]}" >&2
  apt_update
  log=$(mktemp)
  apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 "${missing_win32[@]}" >"$log" 2>&1 ||
    unavailable="32-bit Wine cannot be installed (${missing_win32[*]}: $(first_error "$log"))"
  rm -f "$log"
fi
if [ "$want_win32" = yes ] && [ -z "$unavailable" ] && ! command -v "$WINE32_LOADER" >/dev/null; then
  unavailable="32-bit Wine is not installed ($WINE32_LOADER not found)"
fi

# The Wine prefixes, made once: a 64-bit one, and with --win32 a 32-bit one for 32-bit Wine.
prepare_wine_prefix "$EXCLUSIVE_TONE_WINEPREFIX" "$WINE64_LOADER" win64 || exit 1
if [ -n "$unavailable" ]; then
  echo "$unavailable"
  exit 3
fi
if [ "$want_win32" = yes ]; then
  prepare_wine_prefix "$EXCLUSIVE_TONE_WINEPREFIX32" "$WINE32_LOADER" win32 || exit 1
fi
