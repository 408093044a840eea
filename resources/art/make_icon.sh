#!/bin/sh
# Draws the program icon: a key cap with a lightning bolt (new firmware going
# into the keyboard), and packs it into resources/icon.ico at 16, 32, 48, 128
# and 256 pixels, 32-bit with alpha. Also leaves the 128 px master beside this
# script as icon-128.png.
#
# Needs ImageMagick's convert and python3 (for the size check at the end).
# Run from anywhere:  sh resources/art/make_icon.sh
set -eu

CONVERT=${CONVERT:-/usr/bin/convert}
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../icon.ico"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The drawing on a 256 x 256 grid; every size is drawn from it with a scale,
# so each one is rendered (and anti-aliased) at its own resolution.
art() {
  cat <<'EOF'
stroke none
fill '#1b2942'
roundrectangle 18,40 238,238 40,40
fill '#2c4670'
roundrectangle 24,34 232,226 36,36
fill '#4d7fd0'
roundrectangle 42,22 214,188 28,28
fill '#5d8fe0'
roundrectangle 56,32 200,176 20,20
fill '#ffc42e'
stroke '#8a5a00'
stroke-width 5
stroke-linejoin round
polygon 126,42 86,120 120,120 102,178 168,96 134,96 160,42
EOF
}

# Small sizes: the same picture without the inner dish, which would only blur
# at a few pixels; at 16 px the bolt loses its outline, which turns it brown.
art_small() { # outline colour, its width on the 256 grid
  cat <<EOF
stroke none
fill '#1b2942'
roundrectangle 12,36 244,244 44,44
fill '#4d7fd0'
roundrectangle 28,12 228,196 34,34
fill '#ffc42e'
stroke $1
stroke-width $2
stroke-linejoin round
polygon 128,30 78,120 118,120 96,186 176,90 136,90 168,30
EOF
}
art_16() { art_small none 0; }
art_32() { art_small "'#7a4e00'" 10; }

draw() { # size, drawing function, output
  s=$(python3 -c "print($1 / 256)")
  "$CONVERT" -size "$1x$1" xc:none -draw "scale $s,$s
$($2)" -strip -define png:exclude-chunks=date,time "PNG32:$3"
}

for size in 16 32; do draw $size art_$size "$tmp/$size.png"; done
for size in 48 128 256; do draw $size art "$tmp/$size.png"; done
cp "$tmp/128.png" "$here/icon-128.png"

"$CONVERT" "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$tmp/128.png" "$tmp/256.png" "$out"

# Check what went into the file: the sizes, and 32 bits per pixel each.
python3 - "$out" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
reserved, kind, count = struct.unpack_from('<HHH', data)
assert (reserved, kind) == (0, 1), 'not an icon file'
sizes = []
for i in range(count):
    w, h, _, _, _, bits, length, offset = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
    w, h = w or 256, h or 256
    img = data[offset:offset + length]
    if img[:8] == b'\x89PNG\r\n\x1a\n':
        assert img[24:26] == b'\x08\x06', '%d px: PNG is not 8-bit RGBA' % w
    else:
        assert struct.unpack_from('<H', img, 14)[0] == 32, '%d px: not 32-bit' % w
    sizes.append(w)
assert sizes == [16, 32, 48, 128, 256], sizes
print(sys.argv[1], sizes)
EOF
