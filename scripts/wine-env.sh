# Sourced by the Wine runners and scripts: one Wine prefix in a cache folder outside the
# repository, Wine's ALSA driver selected explicitly and Wine kept quiet, so runs do not depend
# on a sound server or on the user's own Wine set-up.
EXCLUSIVE_TONE_CACHE=${EXCLUSIVE_TONE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/exclusive-tone}
EXCLUSIVE_TONE_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$EXCLUSIVE_TONE_CACHE/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winepulse.drv=d;winecoreaudio.drv=d;winealsa.drv=b;mscoree=d;mshtml=d}
# Unless the caller chose a device, Wine's default ALSA device is a sink that accepts any PCM.
export ALSA_CONFIG_PATH=${ALSA_CONFIG_PATH:-/usr/share/alsa/alsa.conf:$EXCLUSIVE_TONE_REPO/scripts/alsa/null-default.conf}
WINE64_LOADER=/usr/lib/wine/wine64
WINE32_LOADER=/usr/lib/wine/wine
WINESERVER64=/usr/lib/wine/wineserver64
