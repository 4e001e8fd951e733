#!/bin/bash
# tools/screenshots.sh - the README's screenshots: the main window with
# sample entries and the Add/Edit window, taken under Xvfb in a scratch
# prefix and written to docs/.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
tools/build win64 >/dev/null
export WINEPREFIX="$root/build/wine/screenshot-prefix"
rm -rf "$WINEPREFIX"
unset DISPLAY
bin="$root/build/win64/bin"
tests/wine-session.sh bash -c '
    set -e
    wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
    wine "$1/orvane_samples.exe"
    wine "$1/orvane.exe" &
    for i in $(seq 1 80); do
        xwininfo -root -tree 2>/dev/null | grep -q "\"Orvane Tool\"" && break
        sleep 0.25
    done
    # A fresh prefix paints late: give the first window time.
    sleep 6
    import -window root "$2/shot.png"
    convert "$2/shot.png" -trim +repage "$2/docs/main-window.png"
    wine "$1/orvane_samples.exe" --post 111
    sleep 2
    import -window root "$2/shot.png"
    convert "$2/shot.png" -trim +repage "$2/docs/add-edit-window.png"
    rm -f "$2/shot.png"
' shots "$bin" "$root"
echo "Screenshots written to docs/main-window.png and docs/add-edit-window.png"
