#!/bin/bash
# tools/package.sh - the release packages, from the built win32 and win64
# exes: dist/orvane-1.2.0-win32.zip and dist/orvane-1.2.0-win64.zip, each
# holding orvane.exe, the console program orvanec.exe, README.md and
# LICENSE, each exe checked first.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
version=1.2.0
mkdir -p dist
for arch in win32 win64; do
    exe="build/$arch/bin/orvane.exe"
    format=pei-i386
    [ $arch = win64 ] && format=pei-x86-64
    console="build/$arch/bin/orvanec.exe"
    sh tests/release/check_pe.sh "$exe" $format
    sh tests/release/check_pe.sh "$console" $format console
    stage="build/package/orvane-$version-$arch"
    rm -rf "$stage"
    mkdir -p "$stage"
    cp "$exe" "$console" README.md LICENSE "$stage/"
    rm -f "dist/orvane-$version-$arch.zip"
    (cd "$stage" && cmake -E tar cf "$root/dist/orvane-$version-$arch.zip" --format=zip \
        orvane.exe orvanec.exe README.md LICENSE)
    echo "   dist/orvane-$version-$arch.zip"
done
