#!/usr/bin/env bash
# The set-up on machines whose package mirror misbehaves, with stand-ins for apt-get, dpkg,
# dpkg-query and id early on the PATH and for the 32-bit probe beside copies of the scripts: an
# index that fails to download is a warning, 32-bit Wine that cannot be installed only drops
# the 32-bit leg (with one line naming the package and apt's first error), and a package the
# build needs that cannot be installed stops the set-up with apt's own error shown.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$repo/tests/end_to_end/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/scripts" "$work/bin" "$work/prefix" "$work/prefix32"
cp "$repo/scripts/setup.sh" "$repo/scripts/wine-env.sh" "$repo/scripts/wine32-ready" "$work/scripts/"
# Prefixes that count as made, so that no Wine runs.
touch "$work/prefix/.exclusive-tone-prefix" "$work/prefix/system.reg" \
      "$work/prefix32/.exclusive-tone-prefix" "$work/prefix32/system.reg"
export EXCLUSIVE_TONE_WINEPREFIX=$work/prefix EXCLUSIVE_TONE_WINEPREFIX32=$work/prefix32

# The stand-ins read the scenario from the environment: STUB_MISSING (the packages not installed),
# STUB_UPDATE (ok or fail), STUB_UNINSTALLABLE (packages apt cannot install), STUB_UID,
# STUB_RUNS_32BIT (yes or a reason). Every apt-get call is logged.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
for p in $STUB_MISSING; do [ "$p" = "${!#}" ] && exit 1; done
printf 'install ok installed'
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
STUB
cat >"$work/bin/id" <<'STUB'
#!/usr/bin/env bash
echo "${STUB_UID:-0}"
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_LOG"
if [ "$1" = update ]; then
  [ "$STUB_UPDATE" = ok ] && exit 0
  echo "E: Failed to fetch http://mirror/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
  exit 100
fi
for p in "$@"; do
  for bad in $STUB_UNINSTALLABLE; do
    if [ "$p" = "$bad" ]; then
      echo " $p : Depends: libc6:i386 but it is not going to be installed"
      echo "E: Unable to correct problems, you have held broken packages."
      exit 100
    fi
  done
done
STUB
# The 64-bit and 32-bit Wine loaders, found on the PATH where /usr/lib/wine has none.
printf '#!/bin/sh\n' | tee "$work/bin/wine" "$work/bin/wine64" "$work/bin/wineserver" >/dev/null
cat >"$work/scripts/runs-32bit-code" <<'STUB'
#!/usr/bin/env bash
[ "$STUB_RUNS_32BIT" = yes ] && exit 0
echo "$STUB_RUNS_32BIT"
exit 1
STUB
chmod +x "$work/bin/"* "$work/scripts/"*
export PATH=$work/bin:$PATH STUB_LOG=$work/apt.log

index_error="E: Failed to fetch http://mirror/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
warning="setup.sh: warning: apt-get update failed, going on with the package lists there are: $index_error"
held="E: Unable to correct problems, you have held broken packages."

# name | command | missing | update | uninstallable | uid | runs 32-bit | exit | stdout | in stderr | apt calls
scenarios=(
  "ready|wine32-ready|-|ok|-|0|yes|0||-|"
  "index out of sync, 32-bit Wine cannot be installed|wine32-ready|wine32:i386|fail|wine32:i386|0|yes|1|32-bit Wine cannot be installed (wine32:i386: $held)|$warning|update,install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 wine32:i386"
  "the same through setup.sh --win32 (make test-win32)|setup.sh --win32|wine32:i386|fail|wine32:i386|0|yes|3|32-bit Wine cannot be installed (wine32:i386: $held)|$warning|update,install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 wine32:i386"
  "index out of sync, 32-bit Wine installs all the same|wine32-ready|wine32:i386|fail|-|0|yes|0||$warning|update,install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 wine32:i386"
  "index out of sync, a needed package installs all the same|setup.sh|sox wine32:i386|fail|-|0|yes|0||$warning|update,install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 sox"
  "a needed package cannot be installed|setup.sh|sox wine32:i386|ok|sox|0|yes|1||$held|update,install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 sox"
  "a needed package cannot be installed, and no 32-bit Wine|wine32-ready|sox wine32:i386|ok|sox|0|yes|2||$held|update,install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 sox"
  "kernel without 32-bit code: no 32-bit Wine asked for|wine32-ready|wine32:i386|fail|wine32:i386|0|this kernel does not run 32-bit x86 programs|1|this kernel does not run 32-bit x86 programs|-|"
  "not root, no 32-bit Wine|wine32-ready|wine32:i386|ok|-|1000|yes|1|32-bit Wine is not installed (wine32:i386; as root: apt-get install wine32:i386)|-|"
)

for row in "${scenarios[@]}"; do
  IFS='|' read -r name command missing update uninstallable uid runs status stdout stderr calls <<<"$row"
  : >"$STUB_LOG"
  # shellcheck disable=SC2086  # the command's words
  actual_stdout=$(STUB_MISSING=${missing#-} STUB_UPDATE=$update STUB_UNINSTALLABLE=${uninstallable#-} \
                  STUB_UID=$uid STUB_RUNS_32BIT=$runs "$work/scripts/"$command 2>"$work/stderr")
  check "$name: exit status" "$status" "$?"
  check "$name: standard output" "$stdout" "$actual_stdout"
  if [ "$stderr" != - ]; then
    check "$name: standard error shows" yes "$(grep -qxF -- "$stderr" "$work/stderr" && echo yes || cat "$work/stderr")"
  fi
  check "$name: apt-get calls" "$calls" "$(sed 's/^apt-get //; s/^update -qq -o DPkg::Lock::Timeout=300$/update/' "$STUB_LOG" | paste -sd,)"
done

finish
