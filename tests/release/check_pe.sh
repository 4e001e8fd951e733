#!/bin/sh
# check_pe.sh EXE FORMAT - checks a built orvane.exe: its object format
# (pei-i386 or pei-x86-64), the Windows GUI subsystem, and that it imports
# Windows system DLLs only (everything else is linked in statically).
exe=$1
format=$2
objdump=objdump
[ "$format" = pei-i386 ] && objdump=i686-w64-mingw32-objdump
[ "$format" = pei-x86-64 ] && objdump=x86_64-w64-mingw32-objdump
headers=$($objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
status=0
echo "$headers" | grep -q "file format $format" || { echo "FAIL: not $format"; status=1; }
echo "$headers" | grep -q "Subsystem.*(Windows GUI)" || { echo "FAIL: not a GUI program"; status=1; }
allowed=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll "
for dll in $(echo "$headers" | sed -n 's/^.*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case "$allowed" in
        *" $dll "*) echo "imports $dll" ;;
        *) echo "FAIL: imports $dll, not a Windows system DLL"; status=1 ;;
    esac
done
[ $status -eq 0 ] && echo "$exe: $format, Windows GUI, system DLLs only"
exit $status
