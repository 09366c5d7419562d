# Sourced by the Wine runners and scripts: the project's own Wine prefixes in a cache folder
# outside the repository, Wine's ALSA driver selected explicitly and Wine kept quiet, so runs do
# not depend on a sound server or on the user's own Wine set-up. A WINEPREFIX, WINEDEBUG or
# WINEDLLOVERRIDES already set is replaced: the tests compare exact output, and the set-up must
# never change the user's own prefix. EXCLUSIVE_TONE_WINEPREFIX (64-bit Wine) and
# EXCLUSIVE_TONE_WINEPREFIX32 (32-bit Wine) choose other prefixes.
EXCLUSIVE_TONE_CACHE=${EXCLUSIVE_TONE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/exclusive-tone}
EXCLUSIVE_TONE_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
EXCLUSIVE_TONE_WINEPREFIX=${EXCLUSIVE_TONE_WINEPREFIX:-$EXCLUSIVE_TONE_CACHE/wine}
EXCLUSIVE_TONE_WINEPREFIX32=${EXCLUSIVE_TONE_WINEPREFIX32:-$EXCLUSIVE_TONE_CACHE/wine32}
# Where the endpoint DLL is registered as the device enumerator (scripts/endpoint-play): never
# in the prefixes above, which keep Wine's own audio.
EXCLUSIVE_TONE_ENDPOINT_WINEPREFIX=$EXCLUSIVE_TONE_WINEPREFIX-endpoint
EXCLUSIVE_TONE_ENDPOINT_WINEPREFIX32=$EXCLUSIVE_TONE_WINEPREFIX32-endpoint
export WINEPREFIX=$EXCLUSIVE_TONE_WINEPREFIX
export WINEDEBUG=-all
# Menu entries are of no use here, and under an emulator their builder costs a minute a session.
export WINEDLLOVERRIDES='winepulse.drv=d;winecoreaudio.drv=d;winealsa.drv=b;mscoree=d;mshtml=d;winemenubuilder.exe=d'
unset WINEARCH WINELOADER WINESERVER
# Wine's default ALSA device is a sink that accepts any PCM, unless a test chooses other ALSA
# settings (EXCLUSIVE_TONE_ALSA_CONFIG, one file). A user's own ALSA_CONFIG_PATH is replaced like
# the Wine settings above: it would change what the tests expect. alsa-lib splits that path at
# spaces as well as colons, so a settings file whose path holds either is read from a copy.
alsa_settings=${EXCLUSIVE_TONE_ALSA_CONFIG:-$EXCLUSIVE_TONE_REPO/scripts/alsa/null-default.conf}
case $alsa_settings in
  *[[:space:]:]*)
    alsa_copy=/tmp/exclusive-tone-$UID-alsa-$(sha256sum <"$alsa_settings" | cut -c1-16).conf
    [ -f "$alsa_copy" ] || { cp "$alsa_settings" "$alsa_copy.$$" && mv -f "$alsa_copy.$$" "$alsa_copy"; }
    alsa_settings=$alsa_copy ;;
esac
export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$alsa_settings

# Debian and Ubuntu keep Wine's loaders in /usr/lib/wine; other systems put them on the path.
first_program() {  # CANDIDATE... : the first that exists, or else the first named
  local candidate
  for candidate in "$@"; do command -v "$candidate" 2>/dev/null && return; done
  echo "$1"
}
WINE64_LOADER=$(first_program /usr/lib/wine/wine64 wine64 wine)
WINE32_LOADER=$(first_program /usr/lib/wine/wine wine)
WINESERVER64=$(first_program /usr/lib/wine/wineserver64 wineserver)

# Makes a Wine prefix once: PREFIX LOADER WINEARCH, served by the 64-bit wineserver. A prefix is
# ready once Wine has made it and the audio driver is set; one of ours that is not (interrupted,
# or Wine failed) is removed and made again. Runs at once take turns (PREFIX.prepare-lock), so
# one never removes a prefix that another is still making. On failure prints Wine's output and
# returns 1.
prepare_wine_prefix() {
  local prefix=$1 loader=$2 arch=$3 me=${0##*/} log status=0
  [ -f "$prefix/.exclusive-tone-prefix" ] && [ -f "$prefix/system.reg" ] && return
  mkdir -p "$(dirname "$prefix")"
  exec 8>"$prefix.prepare-lock"
  flock 8
  # Wine's processes must not inherit the lock (8>&-): its server outlives the preparation.
  if [ ! -f "$prefix/.exclusive-tone-prefix" ] || [ ! -f "$prefix/system.reg" ]; then
    if [ -f "$prefix/.exclusive-tone-prefix" ] || [ -f "$prefix/.exclusive-tone-preparing" ]; then
      echo "$me: the Wine prefix in $prefix is unfinished: making it again" >&2
      rm -rf "$prefix"
    fi
    echo "$me: preparing the Wine prefix in $prefix" >&2
    mkdir -p "$prefix"
    touch "$prefix/.exclusive-tone-preparing"
    log=$(mktemp)
    if { WINEPREFIX=$prefix WINEARCH=$arch WINESERVER=$WINESERVER64 "$loader" wineboot --init &&
         WINEPREFIX=$prefix WINESERVER=$WINESERVER64 \
             "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f &&
         WINEPREFIX=$prefix "$WINESERVER64" -w &&
         [ -f "$prefix/system.reg" ]; } >"$log" 2>&1 8>&-; then
      mv "$prefix/.exclusive-tone-preparing" "$prefix/.exclusive-tone-prefix"
    else
      cat "$log" >&2
      echo "$me: Wine could not prepare the prefix in $prefix (its output is above)" >&2
      status=1
    fi
    rm -f "$log"
  fi
  exec 8>&-
  return "$status"
}
