#!/usr/bin/env bash
# Renders every good WMF and EMF file of the shared test corpus with an independent renderer
# (Inkscape, Debian 12) into tests/picture/data/metafiles/, for tst_wmf_decoder and
# tst_emf_decoder to compare against. Run once by hand (it takes several minutes); the PNGs are
# committed. Pictures are rendered at the size the header gives, shrunk to fit MaxSide so that
# the files stay small; the tests scale our own rendering to the reference's size.
#
#   tools/make_metafile_references.sh [CORPUS_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=${1:-../shared/corpus}
out=tests/picture/data/metafiles
max_side=256
max_bytes=60000

if ! command -v inkscape >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq inkscape
fi
mkdir -p "$out"
export HOME=${HOME:-/tmp}

# Width and height from the header: placeable WMF box at 96 per inch, EMF frame at 96 per inch;
# plain WMF has no stated size (empty answer: the renderer chooses).
header_size() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
def muldiv(a, b, c):
    q = a * b / c
    return int(q + 0.5) if q >= 0 else -int(-q + 0.5)
if len(data) >= 22 and struct.unpack_from('<I', data, 0)[0] == 0x9AC6CDD7:
    l, t, r, b, inch = struct.unpack_from('<hhhhH', data, 6)
    inch = inch or 1440
    w = muldiv(muldiv(abs(r - l), 2540, inch), 96, 2540)
    h = muldiv(muldiv(abs(b - t), 2540, inch), 96, 2540)
    print(max(w, 1), max(h, 1))
elif len(data) >= 44 and struct.unpack_from('<I', data, 40)[0] == 0x464D4520:
    bl, bt, br, bb, fl, ft, fr, fb = struct.unpack_from('<8i', data, 8)
    if fr == fl or fb == ft:
        print(max(abs(br - bl) + 1, 1), max(abs(bb - bt) + 1, 1))
    else:
        print(max(round(abs(fr - fl) * 96 / 2540), 1), max(round(abs(fb - ft) * 96 / 2540), 1))
PY
}

fit() { # w h side -> w h scaled to fit side
    python3 -c "
import sys
w, h, side = map(int, sys.argv[1:])
s = min(1.0, side / max(w, h))
print(max(1, round(w * s)), max(1, round(h * s)))" "$@"
}

awk -F'\t' '$6 == "good" && ($1 ~ /^wmf\// || $1 ~ /^emf\//) {print $1}' "$corpus/MANIFEST.tsv" |
while read -r file; do
    name=$(echo "$file" | tr '/' '_').png
    size=$(header_size "$corpus/$file")
    for side in $max_side 128; do
        args=()
        if [ -n "$size" ]; then
            read -r w h <<<"$(fit $size $side)"
            args=(--export-width="$w" --export-height="$h")
        else
            args=(--export-width="$side")
        fi
        if ! timeout 120 inkscape "$corpus/$file" --export-type=png \
                --export-filename="$out/$name" "${args[@]}" >/dev/null 2>&1 ||
                [ ! -s "$out/$name" ]; then
            rm -f "$out/$name"
            echo "no reference: $file" >&2
            break
        fi
        [ "$(stat -c %s "$out/$name")" -le $max_bytes ] && break
    done
    [ -f "$out/$name" ] && echo "$file -> $out/$name"
done
