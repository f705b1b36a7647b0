#!/usr/bin/env bash
# Builds moxsim for the browser with Debian's Emscripten in build-web/ and puts the site together in
# dist/moxsim-web/ (the page, its script and wasm, the fonts) and dist/moxsim-web.zip. Any static host serves it;
# scripts/serve-web.sh serves it here. --tests also builds the core's tests and the replay for Node.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# Debian's emcc needs Debian's acorn even when another node comes first on PATH.
NODE_PATH="$(dpkg -L node-acorn | sed -n 's#/acorn/package.json$##p')"
export NODE_PATH

targets=(moxsim-web moxsim-web-single)
if [ "${1:-}" = "--tests" ]; then targets+=(moxwasmtests moxwasmreplay); fi
if [ ! -f build-web/CMakeCache.txt ]; then
  emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build build-web -j2 --target "${targets[@]}"

# The fonts: the faces the desktop program draws with (Noto Sans CJK SC, and Noto Serif CJK SC for the layout's
# 宋体), cut down to the characters the program can show, as WOFF2 files and once more inside a script (a page
# opened from a file may not fetch fonts).
fonts=build-web/fonts
mkdir -p "$fonts"
# The characters of every text but the desktop front ends' own, and what only a screen reader says (semantics.cpp).
python3 tools/text_chars.py src "$fonts/chars.txt" sdl win32 semantics.cpp
# Face 2 of each collection is the Simplified Chinese one. Horizontal text needs no vertical forms; a page in zh-CN
# needs none of the other languages' forms of a character (which only the layout's substitutions reach); and the
# outlines without subroutines compress better. The glyphs drawn are the same.
subset=(--font-number=2 --layout-features-=vert,vrt2,vkrn,vpal,valt,vhal --no-layout-closure --desubroutinize
        --flavor=woff2)
if [ "$(cat "$fonts/subset.txt" 2>/dev/null)" != "${subset[*]}" ]; then
  rm -f "$fonts"/*.woff2
  echo "${subset[*]}" >"$fonts/subset.txt"
fi
# The sans-serif faces come in two steps: first cut to the characters the main window shows (its captions, the
# shop's lists, counts, digits and units; listed in src/ui/main_chars.txt), which the first frame waits for; then
# whole (every character the program can show), fetched after the first frame. Once they are there every text is
# drawn in them alone, as in one face.
cut_face() {  # FACE CHARS OUTPUT [more pyftsubset options]
  local src="/usr/share/fonts/opentype/noto/Noto$1.ttc" chars="$2" out="$3"
  shift 3
  if [ ! -f "$out" ] || [ "$chars" -nt "$out" ] || [ "$src" -nt "$out" ]; then
    pyftsubset "$src" "${subset[@]}" "$@" --text-file="$chars" --output-file="$out"
  fi
}
# The runtime measures a face's bounding box on "Ag": the first faces have both.
for weight in Regular Bold; do
  cut_face "SansCJK-$weight" src/ui/main_chars.txt "$fonts/Sans-$weight.woff2" --text=Ag
  cut_face "SansCJK-$weight" "$fonts/chars.txt" "$fonts/Sans-$weight-all.woff2"
  # The serif face draws only the layout's 宋体 labels: their captions, and the amounts and counts they show.
  cut_face "SerifCJK-$weight" src/ui/songti_chars.txt "$fonts/Serif-$weight.woff2" --text=Ag
done
python3 - "$fonts" >"$fonts/fonts.js" <<'PY'
import base64, pathlib, sys
d = pathlib.Path(sys.argv[1])
faces = []
# The whole sans-serif faces and the serif ones: a page opened from a file has them all at once.
for family, name, cut in (("Sans", "MoxSansAll", "-all"), ("Serif", "MoxSerif", "")):
    for weight in ("Regular", "Bold"):
        data = base64.b64encode((d / f"{family}-{weight}{cut}.woff2").read_bytes()).decode()
        faces.append(f'{{family:"{name}",weight:"{"bold" if weight == "Bold" else "normal"}",data:"{data}"}}')
print("// The page's fonts: subsets of Noto Sans CJK SC and Noto Serif CJK SC (SIL Open Font License 1.1).")
print("window.MOX_FONTS=[" + ",".join(faces) + "];")
PY

site=dist/moxsim-web
rm -rf "$site"
mkdir -p "$site"
web=src/desktop/web/site
cp "$web/index.html" "$web/page.css" "$web/moxsim-worker.js" "$site/"
# The page's scripts, classic scripts each, put together in the order they run so that the page makes no more
# requests for them: boot.js in the head after moxNextTask (which the module's runtime carries too); at the end of
# the body the constants the page shares with the module (MoxBridge, written by the build from the program's
# enums), the worker's script (its start of the module serves the page's too), each part's factory, then page.js,
# which makes them and starts the program.
# boot.js carries the characters the first sans-serif faces hold: the program waits for the whole faces only for
# text that needs others.
cat "$web/next-task.js" "$web/boot.js" | sed "s|/\*first-chars\*/''|'$(cat src/ui/main_chars.txt)'|" >"$site/boot.js"
cat build-web/web/moxsim-bridge.js "$web/moxsim-worker.js" "$web/layer.js" "$web/storage.js" "$web/placement.js" \
  "$web/ring.js" "$web/figurer.js" "$web/page.js" >"$site/page.js"
# Both go out without their comments and spaces (Emscripten's own pass over its script): a first visit on a slow line
# waits for every byte of them before the first frame.
for f in boot.js page.js; do
  NODE_PATH=/usr/share/nodejs node /usr/share/emscripten/tools/acorn-optimizer.js "$site/$f" minifyWhitespace \
    >"$site/$f.min"
  mv "$site/$f.min" "$site/$f"
done
cp build-web/web/moxsim.js build-web/web/moxsim.wasm "$fonts"/*.woff2 "$fonts/fonts.js" "$site/"
# The program of a page opened from a file, made inside a function whose text the page hands to its worker.
{ echo 'function moxsimSingle() {'; cat build-web/web/moxsim-single.js; printf '\nreturn createMoxsim;\n}\n'
  echo 'var createMoxsim = moxsimSingle();'; } >"$site/moxsim-single.js"
# The build's pack carries every picture and sound: the first frame's pictures go into moxsim-first.bin as AVIF,
# fetched beside the module; the 2x set into moxsim-2x.bin as AVIF, which only a page at a device pixel ratio above
# 1 fetches; the rest into moxsim-assets.bin as it is (each picture encoded once, kept in build-web/avif).
/usr/bin/python3 tools/pack_2x.py build-web/web/moxsim-assets.bin "$site" build-web/avif \
  --first build-web/web/first-pictures.txt
# The icons of the installed page: the program's own icon (its largest picture) at the sizes browsers ask for,
# by Debian's Pillow (another python3 may come first on PATH).
/usr/bin/python3 - assets/icon.ico "$site" <<'PY'
import sys
from PIL import Image
icon = Image.open(sys.argv[1])
icon.size = max(icon.info["sizes"])
icon = icon.convert("RGBA")
for size in (192, 512):
    # In 256 colours: a quarter of the bytes, and no difference to see at these sizes.
    big = icon.resize((size, size), Image.LANCZOS).quantize(256, method=Image.Quantize.FASTOCTREE)
    big.save(f"{sys.argv[2]}/icon-{size}.png", optimize=True)
PY
cp src/desktop/web/site/manifest.webmanifest "$site/"
cp LICENSE "$site/LICENSE.txt"
# The fonts' licence (SIL Open Font License 1.1) travels with the subsets.
cp /usr/share/doc/fonts-noto-cjk/copyright "$site/FONTS-LICENSE.txt"
# Content-hashed names for what the page loads (by Debian's python3-brotli: another python3 may come first on PATH).
/usr/bin/python3 tools/stamp_site.py stamp "$site" >build-web/stamped.txt
stamped() { awk -v n="$1" '$1 == n { print $2; found = 1 } END { if (!found) print n }' build-web/stamped.txt; }
# The service worker keeps what the page loads over the network, under a version that is a digest of those files.
offline=(index.html)
for f in boot.js page.js page.css moxsim.js moxsim-worker.js moxsim.wasm moxsim-first.bin moxsim-assets.bin \
         Sans-Regular.woff2 Sans-Bold.woff2 Serif-Regular.woff2 Serif-Bold.woff2 Sans-Regular-all.woff2 \
         Sans-Bold-all.woff2 manifest.webmanifest icon-192.png icon-512.png; do
  offline+=("$(stamped "$f")")
done
version=$(cd "$site" && cat "${offline[@]}" | sha256sum | cut -c1-16)
files="'./'"
for f in "${offline[@]}"; do files+=", '$f'"; done
sed -e "s/@VERSION@/$version/" -e "s|/\*@FILES@\*/|$files|" src/desktop/web/site/sw.js >"$site/sw.js"
# Brotli and gzip copies beside each file, for a host that sends them as they are.
/usr/bin/python3 tools/stamp_site.py compress "$site"
(cd dist && rm -f moxsim-web.zip && zip -qr moxsim-web.zip moxsim-web)
echo "dist/moxsim-web/ and dist/moxsim-web.zip"
