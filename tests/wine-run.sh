#!/bin/sh
# Runs one Windows test program under Wine: CTest's emulator for the win64
# build. The prefix, display and wine server come from tests/wine-session.sh,
# which ./test wraps around the whole run.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wine/prefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX/drive_c" ]; then
    echo "wine-run.sh: no Wine prefix at $WINEPREFIX; run under tests/wine-session.sh" >&2
    exit 1
fi
exec wine "$@"
