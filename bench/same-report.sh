#!/usr/bin/env bash
# Makes the report of one profile with two quorvel binaries and compares the report
# folders file by file (pages as text, chart images by their pixels), so that an optimisation can be shown
# to leave every figure as it was.
# usage: bench/same-report.sh BINARY_A BINARY_B PROFILE
# The profile is looked up in $XDG_DATA_HOME as the program does.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '2,6s/^# \{0,1\}//p' "$0"; exit 64; }
a=$1 b=$2 profile=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() { # BINARY OUT
    local log=$work/$(basename "$2").log
    "$1" "$profile" > "$log" 2>&1 || { cat "$log"; exit 1; }
    local written
    written=$(sed -n 's/^Report written: //p' "$log")
    cp -r "$(dirname "$written")" "$2"
}
run "$a" "$work/a"
run "$b" "$work/b"
# The pages carry the time they were made; chart images are compared by their pixels.
python3 - "$work/a" "$work/b" <<'PY'
import os, re, struct, sys, zlib

def pixels(path):
    data = open(path, "rb").read()
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR": header = body
        if kind == b"IDAT": idat += body
        pos += 12 + length
    width, height, depth, colour = struct.unpack(">IIBB", header[:10])
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    bpp = max(1, channels * depth // 8)
    stride = (width * channels * depth + 7) // 8
    raw, out, prior = zlib.decompress(idat), bytearray(), bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prior[i], prior[i - bpp] if i >= bpp else 0
            if kind == 1: line[i] = (line[i] + a) & 255
            elif kind == 2: line[i] = (line[i] + b) & 255
            elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += line
        prior = line
    return header, bytes(out)

stamp = re.compile(rb"generated|\d{1,2}:\d\d:\d\d")
a, b = sys.argv[1], sys.argv[2]
names = sorted(os.path.relpath(os.path.join(d, f), a) for d, _, fs in os.walk(a) for f in fs)
other = sorted(os.path.relpath(os.path.join(d, f), b) for d, _, fs in os.walk(b) for f in fs)
bad = sorted(set(names) ^ set(other))
for name in sorted(set(names) & set(other)):
    x, y = open(os.path.join(a, name), "rb").read(), open(os.path.join(b, name), "rb").read()
    if x == y: continue
    if name.endswith(".png"):
        if pixels(os.path.join(a, name)) != pixels(os.path.join(b, name)): bad.append(name)
    elif [l for l in x.splitlines() if not stamp.search(l)] != [l for l in y.splitlines() if not stamp.search(l)]:
        bad.append(name)
if bad:
    print("reports differ:", *bad[:20])
    sys.exit(1)
print(f"same report: {len(names)} files")
PY
