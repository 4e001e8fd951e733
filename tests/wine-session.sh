#!/bin/sh
# tests/wine-session.sh COMMAND...  runs COMMAND inside one Wine session:
# a virtual display, the scratch prefix build/wine/prefix (created when
# missing) and one wine server kept alive from start to end.
#
# Order matters: the display must exist before the first Wine process of a
# prefix, or later windows of that server get none; and every test seeds and
# checks the registry within this one server's life, because a server that
# starts anew runs the prefix's autostart entries and deletes RunOnce values.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wine/prefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=
if [ -z "$DISPLAY" ]; then
    display=90
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$display"
    tries=0
    while [ ! -e "/tmp/.X11-unix/X$display" ] && [ $tries -lt 50 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
fi

stop() {
    wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap stop EXIT INT TERM

mkdir -p "$WINEPREFIX"
wineserver -p
if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    # The server that made the prefix keeps its service database locked, so
    # the Task Scheduler's service never starts under it and every listing
    # fails (SCHED_E_SERVICE_NOT_RUNNING, or a timeout), which the program
    # says. A server of its own, as any later session has, runs the service:
    # Wine's scheduler then only lacks the listing.
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 </dev/null
else
    # The first process of a server starts Wine's background services; start
    # them here, away from the test runner's output pipes, which they would
    # otherwise hold open until the server ends.
    wine cmd /c exit >/dev/null 2>&1 </dev/null
fi

# A new prefix links Documents, Desktop and the like to the real home
# folder: tests write backups and disabled shortcuts there, so each becomes
# a real folder of the prefix.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
        rm -f "$link" && mkdir -p "$link"
    fi
done

"$@"
status=$?
exit $status
