#!/usr/bin/env bash
# The handheld pieces on the emulated device (standins/rapi) with its 240 x 320 x 16 screen: the
# invoke library is written to the device's Windows folder and asked for the device record, which
# is decoded here; the policy updater runs on the device and its user says Yes; the screen is
# captured as a BMP file, as the desktop module will ask for it.
set -euo pipefail
ROOT=${ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
DIST=${DIST:-$ROOT/dist}
WINERUN=${WINERUN:-$ROOT/cmake/winerun}
DEMO_OUT=${DEMO_OUT:-$ROOT/build/demo}
RAPICTL=$DIST/Tools/rapictl.exe
out=$DEMO_OUT/device
root=$out/root
rm -rf "$out"
mkdir -p "$root/Windows" "$root/My Documents" "$root/Program Files" "$root/Storage Card" "$root/.device"
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
export KEL_XSCREEN=240x320x16
export KEL_DEVICE_ROOT=$(winpath "$root")
rapictl() { "$WINERUN" "$RAPICTL" "$@"; }

# The device: a storage card, a name, a policy value that blocks remote calls, a battery, and a
# user who will answer Yes on the device.
printf '0x00000110 \\Storage Card\n' > "$root/.device/attributes"
printf '[HKEY_LOCAL_MACHINE\\Ident]\n"Name"="Demo Pocket"\n[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n"00001001"=dword:00000000\n' \
  > "$root/.device/registry"
printf 'ac=0\nbattery-flag=1\nbattery-percent=84\nbattery-life=19800\nbattery-full-life=25200\n' > "$root/.device/power"
printf 'yes\n' > "$root/.device/messagebox.script"
echo "Emulated device root: $root (screen 240 x 320 x 16)"

echo
echo "The policy updater, written to the device and started there:"
rapictl reg 'Security\Policies\Policies' 00001001
rapictl put "$(winpath "$DIST/Tools/Device/HandrelPolicy.exe")" '\HandrelPolicy.exe'
rapictl run '\HandrelPolicy.exe'
echo "  message boxes the device user saw (answer, type, caption, text):"
sed 's/^/    /' "$root/.device/messagebox.log"
rapictl reg 'Security\Policies\Policies' 00001001

echo
echo "The invoke library, written to \\Windows and asked for the device record:"
rapictl put "$(winpath "$DIST/Tools/Device/HandrelInvoke.dll")" '\Windows\HandrelInvoke.dll'
rapictl invoke '\Windows\HandrelInvoke.dll' FnBlockMode GetBrowserInfo "$(winpath "$out/record.bin")"
python3 - "$out/record.bin" <<'PY'
# The 952-byte device record: version, memory, power, screen, four storage entries.
import struct, sys
r = open(sys.argv[1], 'rb').read()
print(f"  record: {len(r)} bytes")
size, major, minor, build, platform = struct.unpack_from('<5I', r, 0)
csd = r[20:276].decode('utf-16-le').split('\0')[0]
print(f"  OS version record (size {size}): {major}.{minor} build {build}, platform {platform} {csd!r}")
m = struct.unpack_from('<8I', r, 276)
print(f"  memory (length {m[0]}): load {m[1]} %, physical {m[3] >> 20} of {m[2] >> 20} MiB free")
ac, flag, pct = r[308], r[309], r[310]
life, full = struct.unpack_from('<2I', r, 312)
print(f"  power: {'mains' if ac == 1 else 'battery'}, battery {pct} % (flag {flag}), {life // 60} of {full // 60} minutes left")
w, h, bpp = struct.unpack_from('<3I', r, 332)
print(f"  screen: {w} x {h}, {bpp} bits per pixel")
for i in range(4):
    e = 344 + 152 * i
    path = r[e:e + 128].decode('utf-16-le').split('\0')[0]
    if not path:
        break
    caller, total, free = struct.unpack_from('<3Q', r, e + 128)
    print(f"  storage {i}: {path:<14} {free >> 20} MiB free of {total >> 20} MiB")
PY

echo
echo "A window on the device's screen, captured as the desktop module asks (\"GetSnapshoot;\"):"
"$WINERUN" notepad.exe >/dev/null 2>&1 &
sleep 3
rapictl invoke '\Windows\HandrelInvoke.dll' FnBlockMode 'GetSnapshoot;' "$DEMO_OUT/device-screen.bmp"
rapictl invoke '\Windows\HandrelInvoke.dll' FnBlockMode 'GetSnapshoot;BPP=8;ZOOM=50%;' "$out/half-8bit.bmp"
"$WINERUN" taskkill.exe /f /im notepad.exe >/dev/null 2>&1 || true
wait || true
python3 - "$DEMO_OUT/device-screen.bmp" "$out/half-8bit.bmp" <<'PY'
import struct, sys
for name in sys.argv[1:]:
    b = open(name, 'rb').read()
    size, offset = struct.unpack_from('<I', b, 2)[0], struct.unpack_from('<I', b, 10)[0]
    w, h, planes, bits = struct.unpack_from('<iiHH', b, 18)
    print(f"  {name}: {b[:2].decode()} file of {size} bytes, {w} x {h} at {bits} bits, pixels at {offset}")
# The 16-bit capture (5-5-5, bottom-up rows padded to 4 bytes) as a PNG for any viewer.
import zlib
b = open(sys.argv[1], 'rb').read()
off = struct.unpack_from('<I', b, 10)[0]
w, h = struct.unpack_from('<ii', b, 18)
row = ((w * 16 + 31) // 32) * 4
rows = []
for y in range(h):
    p, line = off + (h - 1 - y) * row, bytearray(b'\0')
    for x in range(w):
        v = b[p + 2 * x] | (b[p + 2 * x + 1] << 8)
        line += bytes((((v >> 10) & 31) * 255 // 31, ((v >> 5) & 31) * 255 // 31, (v & 31) * 255 // 31))
    rows.append(bytes(line))
chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
open(sys.argv[1][:-4] + '.png', 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) +
                                      chunk(b'IDAT', zlib.compress(b''.join(rows))) + chunk(b'IEND', b''))
PY
echo "Screen capture: $DEMO_OUT/device-screen.bmp (and as PNG: $DEMO_OUT/device-screen.png)"
