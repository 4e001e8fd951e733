#!/bin/sh
# check_packages.sh DIST - each release zip holds exactly orvane.exe,
# orvanec.exe, README.md and LICENSE, its exes pass check_pe.sh, and the
# shipped (win32) zip and orvane.exe stay small: every picture at three
# DPIs, and every reader added, must not turn a small utility into a
# large download (560 KiB since the logon record's reader came in).
dist=$1
here=$(dirname "$0")
status=0
for arch in win32 win64; do
    zip="$dist/orvane-1.2.0-$arch.zip"
    [ -f "$zip" ] || { echo "FAIL: $zip missing"; status=1; continue; }
    scratch=$(mktemp -d)
    (cd "$scratch" && cmake -E tar xf "$zip")
    listing=$(cd "$scratch" && ls | sort | tr '\n' ' ')
    [ "$listing" = "LICENSE README.md orvane.exe orvanec.exe " ] || { echo "FAIL: $zip holds $listing"; status=1; }
    format=pei-i386
    [ $arch = win64 ] && format=pei-x86-64
    if [ $arch = win32 ]; then
        zipped=$(wc -c < "$zip")
        exe=$(wc -c < "$scratch/orvane.exe")
        [ "$zipped" -le 573440 ] || { echo "FAIL: $zip is $zipped bytes, over 560 KiB"; status=1; }
        [ "$exe" -le 1048576 ] || { echo "FAIL: orvane.exe is $exe bytes, over 1 MiB"; status=1; }
    fi
    sh "$here/check_pe.sh" "$scratch/orvane.exe" $format || status=1
    sh "$here/check_pe.sh" "$scratch/orvanec.exe" $format console || status=1
    rm -rf "$scratch"
done
exit $status
