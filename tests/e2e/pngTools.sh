#!/usr/bin/env bash
# A PNG saved by the program reads cleanly in three independent readers
# (pngcheck, ImageMagick, Python's PIL), with its size, its 72 dpi, its recipe
# and the pixels of the BMP of the same options. Exits 77 (skipped) when a
# reader is missing.
#
#   pngTools.sh BINARY
set -euo pipefail
binary=$(realpath "${1:?path of the bramblewisp binary}")
python=/usr/bin/python3
for tool in pngcheck identify; do
    command -v $tool >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
[[ -x $python ]] && $python -c 'import PIL' 2>/dev/null ||
    { echo "Python's PIL is not installed: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
options=(-time 1 -mem 1 -cpu 1 -iter 7 -type 2 -seed 11 -prefx 2 -postfx 1)
(cd "$work" && "$binary" "${options[@]}" -out picture.png && "$binary" "${options[@]}") >/dev/null 2>&1

pngcheck -q "$work/picture.png"
described=$(identify -units PixelsPerInch -format '%m %w %h %[fx:round(resolution.x)] %[fx:round(resolution.y)] %[bramblewisp]' "$work/picture.png")
version=$("$binary" --version)
want="PNG 800 600 72 72 $version ${options[*]:0:6} -seed 11 -iter 7 -dark 0 -prefx 2 -postfx 1 -spikes 64 -type 2"
[[ $described == "$want" ]] || { printf 'identify: %s\nwanted:   %s\n' "$described" "$want"; exit 1; }
$python - "$work/picture.png" "$work/testSystem.bmp" "$version" <<'PY'
import sys
from PIL import Image
png, bmp = Image.open(sys.argv[1]), Image.open(sys.argv[2])
png.load()
assert (png.size, png.mode) == ((800, 600), "RGB"), (png.size, png.mode)
assert [round(d) for d in png.info["dpi"]] == [72, 72], png.info["dpi"]
assert png.text["Software"] == sys.argv[3], png.text
assert png.text["bramblewisp"].startswith(sys.argv[3] + " -time 1 "), png.text
assert png.tobytes() == bmp.convert("RGB").tobytes(), "the PNG's pixels differ from the BMP's"
PY
echo "pngcheck, ImageMagick and PIL read the PNG: 800 x 600, 72 dpi, its recipe, the BMP's pixels"
