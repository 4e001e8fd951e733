#!/bin/sh
# check_pe.sh EXE FORMAT [console] - checks a built orvane.exe (or, with
# "console", orvanec.exe): its object format and machine (pei-i386 or
# pei-x86-64), the Windows GUI (console: CUI) subsystem, that it
# imports Windows system DLLs only (everything else is linked in
# statically), that its version record says 1.2.0.0, and that it embeds
# the application manifest as resource type 24, id 1.
exe=$1
format=$2
subsystem="Windows GUI"
[ "${3:-}" = console ] && subsystem="Windows CUI"
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
echo "$headers" | grep -q "Subsystem.*($subsystem)" || { echo "FAIL: not a $subsystem program"; status=1; }
allowed=" advapi32.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll wintrust.dll "
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
# Walks the resource directory to type 24 (RT_MANIFEST), name 1, and checks
# what the manifest asks for.
manifest=$(python3 - "$exe" <<'PYTHON'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
optional = pe + 24
magic = struct.unpack_from("<H", data, optional)[0]
directories = optional + (96 if magic == 0x10B else 112)
resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
table = optional + optional_size
def offset(rva):
    for i in range(sections):
        size, address, _, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        if address <= rva < address + max(size, 1):
            return rva - address + raw
    sys.exit("no section for the resources")
base = offset(resource_rva)
def entries(at):
    named, ids = struct.unpack_from("<HH", data, base + at + 12)
    for i in range(named + ids):
        yield struct.unpack_from("<II", data, base + at + 16 + 8 * i)
def child(at, wanted):
    for name, target in entries(at):
        if name == wanted and target & 0x80000000:
            return target & 0x7FFFFFFF
    sys.exit("no resource %d" % wanted)
names = child(0, 24)
languages = child(names, 1)
leaf = next(entries(languages))[1]
rva, size = struct.unpack_from("<II", data, base + leaf)
text = data[offset(rva):offset(rva) + size].decode("utf-8")
checks = ['level="highestAvailable"',
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>',
          '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>',
          '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>']
missing = [c for c in checks if c not in text]
if "Common-Controls" in text:
    missing.append("no common-controls dependency")
print("missing: " + ", ".join(missing) if missing else "ok")
PYTHON
)
[ "$manifest" = ok ] || { echo "FAIL: manifest: $manifest"; status=1; }
[ $status -eq 0 ] && echo "$exe: $format, $subsystem, system DLLs only, version $version, manifest"
exit $status
