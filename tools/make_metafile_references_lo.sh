#!/usr/bin/env bash
# Renders every good WMF and EMF file of the shared test corpus with a second independent
# renderer (LibreOffice, Debian 12) into tests/picture/data/metafiles-lo/, beside the Inkscape
# references of make_metafile_references.sh; tst_wmf_decoder and tst_emf_decoder compare with
# both. Run once by hand (a few minutes); the PNGs are committed.
#
# Framing: converting a metafile document to PNG puts the picture on a paper page (A4, centred,
# shrunk when it does not fit), so that route is not used. Instead the metafile is loaded as a
# graphic and exported as PNG through LibreOffice's graphic filter at the size the header gives
# (the same size the Inkscape references have: at most 256 pixels a side); the graphic's own
# frame (the placeable box, the EMF frame, or for a plain WMF LibreOffice's own guess) fills the
# PNG. Plain WMF files have no stated size, so there the frame is LibreOffice's and may differ
# from ours; the tests name such files.
#
#   tools/make_metafile_references_lo.sh [CORPUS_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=$(realpath "${1:-../shared/corpus}")
out=$PWD/tests/picture/data/metafiles-lo
inkscape_refs=$PWD/tests/picture/data/metafiles
max_side=256

if ! command -v soffice >/dev/null || ! /usr/bin/python3 -c 'import uno' 2>/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        libreoffice-draw-nogui python3-uno
fi
mkdir -p "$out"
profile=$(mktemp -d)
pipe=glimra_references_$$
soffice --headless --invisible --norestore --nologo \
    "-env:UserInstallation=file://$profile" "--accept=pipe,name=$pipe;urp;" &
office=$!
trap 'kill $office 2>/dev/null; wait $office 2>/dev/null || true; rm -rf "$profile"' EXIT

# The same list and sizes as the Inkscape references: where Inkscape gave no reference (no
# stated size and no picture), the size comes from the header alone.
awk -F'\t' '$6 == "good" && ($1 ~ /^wmf\// || $1 ~ /^emf\//) {print $1}' "$corpus/MANIFEST.tsv" \
    >"$profile/list"
/usr/bin/python3 - "$corpus" "$out" "$inkscape_refs" "$pipe" "$max_side" "$profile/list" <<'PY'
import os, struct, sys, time
import uno
from com.sun.star.beans import PropertyValue

corpus, out, inkscape_refs, pipe, max_side, listing = sys.argv[1:7]
max_side = int(max_side)

def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p

def muldiv(a, b, c):
    q = a * b / c
    return int(q + 0.5) if q >= 0 else -int(-q + 0.5)

def header_size(data):
    if len(data) >= 22 and struct.unpack_from('<I', data, 0)[0] == 0x9AC6CDD7:
        l, t, r, b, inch = struct.unpack_from('<hhhhH', data, 6)
        inch = inch or 1440
        return (max(muldiv(muldiv(abs(r - l), 2540, inch), 96, 2540), 1),
                max(muldiv(muldiv(abs(b - t), 2540, inch), 96, 2540), 1))
    if len(data) >= 44 and struct.unpack_from('<I', data, 40)[0] == 0x464D4520:
        bl, bt, br, bb, fl, ft, fr, fb = struct.unpack_from('<8i', data, 8)
        if fr == fl or fb == ft:
            return max(abs(br - bl) + 1, 1), max(abs(bb - bt) + 1, 1)
        return max(round(abs(fr - fl) * 96 / 2540), 1), max(round(abs(fb - ft) * 96 / 2540), 1)
    return None

def png_size(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    return struct.unpack('>II', head[16:24])

def fit(w, h):
    s = min(1.0, max_side / max(w, h))
    return max(1, round(w * s)), max(1, round(h * s))

local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext(
    'com.sun.star.bridge.UnoUrlResolver', local)
for _ in range(120):
    try:
        ctx = resolver.resolve(f'uno:pipe,name={pipe};urp;StarOffice.ComponentContext')
        break
    except Exception:
        time.sleep(0.5)
else:
    sys.exit('LibreOffice did not start')
provider = ctx.ServiceManager.createInstanceWithContext('com.sun.star.graphic.GraphicProvider', ctx)
desktop = ctx.ServiceManager.createInstanceWithContext('com.sun.star.frame.Desktop', ctx)

# The graphic fills a drawing page of exactly its own size (no borders), and the page is
# exported at the reference's pixel size.
def render(graphic, size, dest):
    doc = desktop.loadComponentFromURL('private:factory/sdraw', '_blank', 0,
                                       (prop('Hidden', True),))
    try:
        page = doc.DrawPages.getByIndex(0)
        w, h = graphic.Size100thMM.Width, graphic.Size100thMM.Height
        if w <= 0 or h <= 0:
            w = graphic.SizePixel.Width * 2540 // 96
            h = graphic.SizePixel.Height * 2540 // 96
        for side in ('BorderLeft', 'BorderRight', 'BorderTop', 'BorderBottom'):
            setattr(page, side, 0)
        page.Width, page.Height = w, h
        shape = doc.createInstance('com.sun.star.drawing.GraphicObjectShape')
        page.add(shape)
        shape.Graphic = graphic
        shape.Position = uno.createUnoStruct('com.sun.star.awt.Point', 0, 0)
        shape.Size = uno.createUnoStruct('com.sun.star.awt.Size', w, h)
        exporter = ctx.ServiceManager.createInstanceWithContext(
            'com.sun.star.drawing.GraphicExportFilter', ctx)
        exporter.setSourceDocument(page)
        filter_data = uno.Any('[]com.sun.star.beans.PropertyValue',
                              (prop('PixelWidth', size[0]), prop('PixelHeight', size[1])))
        uno.invoke(exporter, 'filter',
                   ((prop('URL', uno.systemPathToFileUrl(dest)), prop('MediaType', 'image/png'),
                     prop('FilterData', filter_data)),))
    finally:
        doc.close(True)

for line in open(listing):
    rel = line.strip()
    src = os.path.join(corpus, rel)
    name = rel.replace('/', '_') + '.png'
    dest = os.path.join(out, name)
    inkscape = os.path.join(inkscape_refs, name)
    # The Inkscape reference's size when there is one (it may be shrunk further to keep the
    # file small), else the header's size fitted into max_side.
    if os.path.exists(inkscape):
        size = png_size(inkscape)
    else:
        stated = header_size(open(src, 'rb').read())
        if stated is None:
            print(f'no reference: {rel} (no stated size)', file=sys.stderr)
            continue
        size = fit(*stated)
    try:
        graphic = provider.queryGraphic((prop('URL', uno.systemPathToFileUrl(src)),))
        if graphic is None:
            raise RuntimeError('not loaded')
        render(graphic, size, dest)
    except Exception as e:
        print(f'no reference: {rel} ({e})', file=sys.stderr)
        continue
    if not os.path.exists(dest):
        print(f'no reference: {rel}', file=sys.stderr)
        continue
    got = png_size(dest)
    if tuple(got) != tuple(size):
        print(f'size differs: {rel} {got} for {size}', file=sys.stderr)
    print(f'{rel} -> {dest}')
PY
