#!/bin/sh
# Rebuilds the pictures written by real TIFF writers, with the RGB pixels that
# ImageMagick decodes from each (name.rgb next to name.tif). Run from this folder.
set -e
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

/usr/bin/python3 - "$tmp" <<'PY'
import sys
import numpy as np
from PIL import Image
tmp = sys.argv[1]
def pattern(w, h):
    y, x = np.mgrid[0:h, 0:w]
    r = (x * 255 // (w - 1)).astype(np.uint8)
    g = (y * 255 // (h - 1)).astype(np.uint8)
    b = np.where(((x // 8) + (y // 8)) % 2 == 0, 30, 220).astype(np.uint8)
    return np.dstack([r, g, b])
for w, h in [(96, 64), (176, 144)]:
    Image.fromarray(pattern(w, h), "RGB").save(f"{tmp}/src_{w}x{h}.ppm")
# Grey blocks in RGB samples: runs that PackBits packs well.
y, x = np.mgrid[0:240, 0:352]
v = ((x // 16) * 11 + (y // 16) * 37) % 256
Image.fromarray(np.dstack([v, v, v]).astype(np.uint8), "RGB").save(f"{tmp}/src_352x240.ppm")
rgb = pattern(96, 64)
Image.fromarray(rgb, "RGB").save("pil_rgb_96x64.tif")
grey = Image.fromarray(rgb, "RGB").convert("L")
grey.save("pil_grey_96x64.tif")
grey.convert("1").save("pil_bilevel_96x64.tif")
Image.fromarray(rgb, "RGB").quantize(colors=200).save("pil_palette_96x64.tif")
# Pillow stores colour maps as v << 8, which ImageMagick scales by 1/257: take
# the palette picture's pixels from Pillow instead.
with open("pil_palette_96x64.rgb", "wb") as out:
    out.write(Image.open("pil_palette_96x64.tif").convert("RGB").tobytes())
Image.fromarray((np.asarray(grey).astype(np.uint16) * 257), "I;16").save("pil_grey16_96x64.tif")
Image.fromarray(rgb, "RGB").convert("RGBA").save("pil_rgba_96x64.tif")
Image.new("RGB", (720, 576), (90, 90, 90)).save(f"{tmp}/flat.ppm")
PY

convert "$tmp/src_176x144.ppm" -compress none -endian LSB im_rgb_176x144_le.tif
convert "$tmp/src_176x144.ppm" -compress RLE -endian MSB -define tiff:rows-per-strip=16 im_packbits_176x144_be.tif
convert "$tmp/src_96x64.ppm" -depth 16 -compress none -endian MSB im_rgb16_96x64_be.tif
convert "$tmp/src_96x64.ppm" -depth 16 -compress none -endian LSB im_rgb16_96x64_le.tif
convert "$tmp/src_96x64.ppm" -colorspace Gray -depth 4 -compress none im_grey4_96x64.tif
convert "$tmp/src_96x64.ppm" -compress LZW im_lzw_96x64.tif
convert "$tmp/src_96x64.ppm" -compress none "$tmp/plain_96x64.tif"
tiffcp -c none -r 8 -B "$tmp/plain_96x64.tif" tiffcp_rgb_96x64_be.tif
tiffcp -c packbits -r 5 -L "$tmp/plain_96x64.tif" tiffcp_packbits_96x64_le.tif
# Two pages: only the first directory is converted.
tiffcp tiffcp_rgb_96x64_be.tif im_grey4_96x64.tif tiffcp_two_pages_96x64.tif
convert "$tmp/src_352x240.ppm" -compress none "$tmp/plain_352x240.tif"
tiffcp -c packbits -r 16 -B "$tmp/plain_352x240.tif" tiffcp_packbits_352x240_be.tif
convert "$tmp/flat.ppm" -compress none "$tmp/flat.tif"
tiffcp -c packbits -r 32 "$tmp/flat.tif" tiffcp_packbits_flat_720x576.tif

for f in pil_rgb_96x64 pil_grey_96x64 pil_bilevel_96x64 im_rgb_176x144_le \
         im_packbits_176x144_be im_rgb16_96x64_be im_rgb16_96x64_le im_grey4_96x64 \
         tiffcp_rgb_96x64_be tiffcp_packbits_96x64_le tiffcp_packbits_352x240_be; do
    convert "$f.tif" -depth 8 "rgb:$f.rgb"
done
convert "tiffcp_two_pages_96x64.tif[0]" -depth 8 "rgb:tiffcp_two_pages_96x64.rgb"
