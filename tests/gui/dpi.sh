#!/bin/sh
# tests/gui/dpi.sh WINE_GUI_EXE - the Dpi suite at 96, 144 and 192 DPI.
# Wine has one DPI for every monitor (HKCU\Control Panel\Desktop LogPixels)
# and reads it when its server starts: each DPI gets a server of its own, in
# a scratch prefix of its own, so the session's prefix and server are left
# alone. The 96 run's row count is handed to the others.
here=$(cd "$(dirname "$0")/../.." && pwd)
exe=$1
export WINEPREFIX="$here/build/wine/dpi-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
status=0
ORVANE_ROWS_AT_96=0
export ORVANE_ROWS_AT_96
for dpi in 96 144 192; do
    # The setting is written, then the server stopped: the next one reads it.
    "$here/tests/wine-session.sh" wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels \
        /t REG_DWORD /d $dpi /f >/dev/null 2>&1
    out=$(ORVANE_TEST_DPI=$dpi "$here/tests/wine-session.sh" wine "$exe" \
        --gtest_filter='Dpi.*' 2>&1)
    result=$?
    echo "$out"
    echo "== $dpi DPI: exit $result"
    [ $result -eq 0 ] || status=1
    if [ $dpi = 96 ]; then
        ORVANE_ROWS_AT_96=$(echo "$out" | sed -n 's/^ORVANE_ROWS \([0-9]*\).*/\1/p' | head -n 1)
        [ -n "$ORVANE_ROWS_AT_96" ] || { echo "FAIL: no row count at 96 DPI"; status=1; }
    fi
done
exit $status
