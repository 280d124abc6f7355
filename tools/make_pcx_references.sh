#!/usr/bin/env bash
# Renders the shared corpus's good PCX files that come without a reference picture, using
# netpbm's independent decoder, into tests/picture/data/pcx/<same path>.ref.png, so that the
# tests compare against a second opinion without needing netpbm themselves.
#
#   tools/make_pcx_references.sh      (needs netpbm: apt-get install netpbm)
set -euo pipefail
cd "$(dirname "$0")/.."

corpus=../shared/corpus
out=tests/picture/data/pcx
command -v pcxtoppm >/dev/null && command -v pnmtopng >/dev/null \
    || { echo "needs pcxtoppm and pnmtopng: apt-get install netpbm" >&2; exit 1; }

awk -F'\t' '$6 == "good" && $1 ~ /^pcx\/.*\.pcx$/ { print $1 }' "$corpus/MANIFEST.tsv" |
while read -r path; do
    [ -e "$corpus/$path.ref.png" ] && continue
    relative=${path#pcx/}
    target="$out/$relative.ref.png"
    mkdir -p "$(dirname "$target")"
    if pcxtoppm "$corpus/$path" 2>/dev/null | pnmtopng -compression 9 >"$target.tmp" 2>/dev/null \
        && [ -s "$target.tmp" ]; then
        mv "$target.tmp" "$target"
        echo "made $target"
    else
        rm -f "$target.tmp"
        echo "skipped $path: netpbm could not decode it" >&2
    fi
done
