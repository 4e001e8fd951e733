#!/bin/sh
# check_pe.sh EXE FORMAT - checks a built orvane.exe: its object format and
# machine (pei-i386 or pei-x86-64), the Windows GUI subsystem, that it
# imports Windows system DLLs only (everything else is linked in
# statically), and that its version record says 1.2.0.0.
exe=$1
format=$2
objdump=objdump
[ "$format" = pei-i386 ] && objdump=i686-w64-mingw32-objdump
[ "$format" = pei-x86-64 ] && objdump=x86_64-w64-mingw32-objdump
headers=$($objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
status=0
echo "$headers" | grep -q "file format $format" || { echo "FAIL: not $format"; status=1; }
case $format in
    pei-i386) machine="Magic.*010b" ;;
    *) machine="Magic.*020b" ;;
esac
echo "$headers" | grep -q "$machine" || { echo "FAIL: wrong PE magic for $format"; status=1; }
echo "$headers" | grep -q "Subsystem.*(Windows GUI)" || { echo "FAIL: not a GUI program"; status=1; }
allowed=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll "
for dll in $(echo "$headers" | sed -n 's/^.*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case "$allowed" in
        *" $dll "*) ;;
        *) echo "FAIL: imports $dll, not a Windows system DLL"; status=1 ;;
    esac
done
# The fixed part of the version record follows its signature 0xFEEF04BD.
version=$(python3 - "$exe" <<'PYTHON'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    print("none")
else:
    ms, ls = struct.unpack_from("<II", data, at + 8)
    print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
PYTHON
)
[ "$version" = 1.2.0.0 ] || { echo "FAIL: version record $version, not 1.2.0.0"; status=1; }
[ $status -eq 0 ] && echo "$exe: $format, Windows GUI, system DLLs only, version $version"
exit $status
