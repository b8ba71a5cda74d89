#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

The pictures are small (96 x 64 unless a case needs more) and mostly PackBits or grey, so each
file stays a few kilobytes; the real-writer fixtures of tests/tiff/data that are small enough
are copied in as they are. Run it again after changing it; the output is the same every time.
"""
import os
import shutil
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")

SHORT, LONG, RATIONAL, ASCII = 3, 4, 5, 2


def packbits(data):
    out = bytearray()
    i = 0
    while i < len(data):
        run = 1
        while i + run < len(data) and run < 128 and data[i + run] == data[i]:
            run += 1
        if run >= 3:
            out += struct.pack("b", 1 - run) + data[i:i + 1]
            i += run
            continue
        j = i
        while j < len(data) and j - i < 128:
            if j + 2 < len(data) and data[j] == data[j + 1] == data[j + 2]:
                break
            j += 1
        out += struct.pack("b", j - i - 1) + data[i:j]
        i = j
    return bytes(out)


def tiff(entries, strips, big=False, extra_tail=b""):
    """entries: (tag, type, values); a value list None for 273/279 takes the strips' layout."""
    e = ">" if big else "<"
    out = bytearray(b"MM\x00\x2a" if big else b"II\x2a\x00")
    out += struct.pack(e + "I", 0)
    offsets = []
    for s in strips:
        offsets.append(len(out))
        out += s
        if len(out) % 2:
            out += b"\x00"
    resolved = []
    for tag, typ, values in entries:
        if values is None:
            values = offsets if tag == 273 else [len(s) for s in strips]
        resolved.append((tag, typ, list(values)))
    blobs = {}
    for idx, (tag, typ, values) in enumerate(resolved):
        width = {SHORT: 2, LONG: 4, RATIONAL: 8}.get(typ, 1)
        if len(values) * width > 4:
            blobs[idx] = len(out)
            for v in values:
                if typ == SHORT:
                    out += struct.pack(e + "H", v)
                elif typ == LONG:
                    out += struct.pack(e + "I", v)
                elif typ == RATIONAL:
                    out += struct.pack(e + "II", v, 1)
                else:
                    out += bytes([v])
            if len(out) % 2:
                out += b"\x00"
    ifd = len(out)
    struct.pack_into(e + "I", out, 4, ifd)
    out += struct.pack(e + "H", len(resolved))
    for idx, (tag, typ, values) in enumerate(resolved):
        out += struct.pack(e + "HHI", tag, typ, len(values))
        if idx in blobs:
            out += struct.pack(e + "I", blobs[idx])
        elif typ == SHORT:
            vals = values + [0] * (2 - len(values))
            out += struct.pack(e + "HH", *vals[:2])
        elif typ == LONG:
            out += struct.pack(e + "I", values[0] if values else 0)
        else:
            out += bytes((values + [0, 0, 0, 0])[:4])
    out += struct.pack(e + "I", 0)
    return bytes(out) + extra_tail


def base(width, height, bits, photometric, spp, compression=1, rows=None):
    rows = height if rows is None else rows
    return [
        (256, SHORT, [width]),
        (257, SHORT, [height]),
        (258, SHORT, bits),
        (259, SHORT, [compression]),
        (262, SHORT, [photometric]),
        (273, LONG, None),
        (277, SHORT, [spp]),
        (278, SHORT, [rows]),
        (279, LONG, None),
    ]


def rgb_pattern(width, height, flat=False):
    data = bytearray()
    for y in range(height):
        for x in range(width):
            if flat:
                v = ((x // 16) * 40 + (y // 16) * 60) % 256
                data += bytes([v, v, v])
            else:
                data += bytes([x * 255 // (width - 1), y * 255 // (height - 1),
                               220 if (x // 8 + y // 8) % 2 else 30])
    return bytes(data)


def grey_pattern(width, height):
    return bytes(((x // 16) * 11 + (y // 16) * 37) % 256
                 for y in range(height) for x in range(width))


def pack_bits_per_row(samples, width, depth):
    """Packs one sample per pixel at 1 or 4 bits, most significant bit first."""
    out = bytearray()
    per_byte = 8 // depth
    for row in range(len(samples) // width):
        line = samples[row * width:(row + 1) * width]
        for i in range(0, width, per_byte):
            b = 0
            for k in range(per_byte):
                b = (b << depth) | line[i + k]
            out.append(b)
    return bytes(out)


def reverse_bits(data):
    return bytes(int(f"{b:08b}"[::-1], 2) for b in data)


def strips_of(data, row_bytes, rows):
    return [data[i:i + row_bytes * rows] for i in range(0, len(data), row_bytes * rows)]


def tiff_cases():
    w, h = 96, 64
    cases = {}
    flat = rgb_pattern(w, h, flat=True)
    cases["rgb_packbits_flat_le.tif"] = tiff(base(w, h, [8, 8, 8], 2, 3, 32773),
                                             [packbits(flat)])
    cases["rgb_packbits_flat_be.tif"] = tiff(base(w, h, [8, 8, 8], 2, 3, 32773),
                                             [packbits(flat)], big=True)
    # Strips of 16 rows, a -128 header byte (skipped) at the head of each.
    rows = strips_of(flat, w * 3, 16)
    cases["rgb_packbits_strips16_noop.tif"] = tiff(
        base(w, h, [8, 8, 8], 2, 3, 32773, rows=16), [b"\x80" + packbits(s) for s in rows])
    grey = grey_pattern(w, h)
    cases["grey8_strips16.tif"] = tiff(base(w, h, [8], 1, 1, rows=16), strips_of(grey, w, 16))
    cases["grey8_white_is_zero_packbits.tif"] = tiff(base(w, h, [8], 0, 1, 32773),
                                                     [packbits(grey)])
    grey4 = [v >> 4 for v in grey]
    cases["grey4_white_is_zero.tif"] = tiff(base(w, h, [4], 0, 1),
                                            [pack_bits_per_row(grey4, w, 4)])
    bilevel = [((x // 8 + y // 8) % 2) for y in range(h) for x in range(w)]
    bilevel_bytes = pack_bits_per_row(bilevel, w, 1)
    cases["bilevel_fill_order_2.tif"] = tiff(base(w, h, [1], 1, 1) + [(266, SHORT, [2])],
                                             [reverse_bits(bilevel_bytes)])
    cases["bilevel_white_is_zero_packbits.tif"] = tiff(base(w, h, [1], 0, 1, 32773),
                                                       [packbits(bilevel_bytes)])
    cmap4 = [i * 4369 for i in range(16)] + [(15 - i) * 4369 for i in range(16)] + [32768] * 16
    cases["palette4.tif"] = tiff(base(w, h, [4], 3, 1) + [(320, SHORT, cmap4)],
                                 [pack_bits_per_row(grey4, w, 4)])
    cmap1 = [0, 65535, 65535, 0, 32768, 32768]
    cases["palette1.tif"] = tiff(base(w, h, [1], 3, 1) + [(320, SHORT, cmap1)], [bilevel_bytes])
    rgba = bytearray()
    for i in range(w * h):
        rgba += flat[3 * i:3 * i + 3] + flat[3 * i:3 * i + 1]
    cases["rgba_extra_sample.tif"] = tiff(base(w, h, [8, 8, 8, 8], 2, 4, 32773) +
                                          [(338, SHORT, [0])], [packbits(bytes(rgba))])
    rgb16 = bytearray()
    for v in flat:
        rgb16 += bytes([v, v])
    cases["rgb16_packbits_be.tif"] = tiff(base(w, h, [16, 16, 16], 2, 3, 32773),
                                          [packbits(bytes(rgb16))], big=True)
    cases["rgb16_packbits_le.tif"] = tiff(base(w, h, [16, 16, 16], 2, 3, 32773),
                                          [packbits(bytes(rgb16))])
    for o in (2, 3, 4):
        cases[f"orientation_{o}.tif"] = tiff(base(w, h, [8, 8, 8], 2, 3, 32773) +
                                             [(274, SHORT, [o])], [packbits(flat)])
    long_dims = [(256, LONG, [w]), (257, LONG, [h])] + base(w, h, [8], 1, 1)[2:]
    cases["grey8_long_dimensions.tif"] = tiff(long_dims, [grey])
    cases["no_photometric.tif"] = tiff([x for x in base(w, h, [8], 1, 1) if x[0] != 262],
                                       [grey])
    cases["no_rows_per_strip.tif"] = tiff([x for x in base(w, h, [8], 1, 1) if x[0] != 278],
                                          [grey])
    cases["subfile_and_planar.tif"] = tiff(
        [(254, LONG, [0]), (255, SHORT, [1]), (284, SHORT, [1]), (282, RATIONAL, [72]),
         (305, ASCII, list(b"fuzz\x00"))] + base(w, h, [8], 1, 1), [grey])
    g176 = grey_pattern(176, 144)
    cases["grey8_176x144_packbits.tif"] = tiff(base(176, 144, [8], 1, 1, 32773),
                                               [packbits(g176)], big=True)
    flat720 = bytes([90]) * (720 * 480)
    cases["grey8_720x480_flat_packbits.tif"] = tiff(
        base(720, 480, [8], 1, 1, 32773, rows=96),
        [packbits(s) for s in strips_of(flat720, 720, 96)])
    cases["lzw_refused.tif"] = tiff(base(w, h, [8], 1, 1, 5), [b"\x00" * 64])
    cases["width_640_refused.tif"] = tiff([(256, SHORT, [640])] + base(w, h, [8], 1, 1)[1:],
                                          [grey])
    return cases


TIFF_FIXTURES = [
    "pil_bilevel_96x64.tif", "im_grey4_96x64.tif", "im_lzw_96x64.tif", "pil_grey_96x64.tif",
    "pil_palette_96x64.tif", "tiffcp_packbits_352x240_be.tif", "tiffcp_packbits_flat_720x576.tif",
    "pil_grey16_96x64.tif", "tiffcp_rgb_96x64_be.tif",
]

JOB = ("SOURCE_FILE pic.tif\nTARGET_SIZE {target}\nFRMRT NTSC\nASPECT_RATIO 4:3\n"
       "PAN_SCAN OFF\n")


def verdict_cases():
    """Plain pictures the command takes as they are, and near misses the library reads otherwise
    than libtiff (palette maps, 16-bit samples, strips one byte short, fill order 2)."""
    w, h = 96, 64
    cases = {}
    rgb = rgb_pattern(w, h)
    grey = grey_pattern(w, h)
    cases["rgb_strips16_le.tif"] = tiff(base(w, h, [8, 8, 8], 2, 3, rows=16),
                                        strips_of(rgb, w * 3, 16))
    cases["rgb_one_strip_be.tif"] = tiff(base(w, h, [8, 8, 8], 2, 3), [rgb], big=True)
    cases["grey_white_is_zero_orientation_3.tif"] = tiff(
        sorted(base(w, h, [8], 0, 1) + [(274, SHORT, [3])]), [grey])
    cases["grey_fill_order_2.tif"] = tiff(sorted(base(w, h, [8], 1, 1) + [(266, SHORT, [2])]),
                                          [reverse_bits(grey)])
    short = base(w, h, [8], 1, 1)
    short[-1] = (279, LONG, [w * h - 1])
    cases["grey_strip_one_byte_short.tif"] = tiff(short, [grey])
    levels = [(16 * k) % 256 for k in range(256)] + [(255 - 16 * k) % 256 for k in range(256)] + \
        [(8 * k) % 256 for k in range(256)]
    bars = bytes((i % w) // 6 for i in range(w * h))
    cases["palette_map_below_256.tif"] = tiff(base(w, h, [8], 3, 1) + [(320, SHORT, levels)],
                                              [bars])
    cases["palette_map_short.tif"] = tiff(
        base(w, h, [8], 3, 1) + [(320, SHORT, [v * 257 for v in levels[:765]])], [bars])
    cases["palette_without_map.tif"] = tiff(base(w, h, [8], 3, 1), [bars])
    deep = b"".join(struct.pack("<H", v << 8 | 0xFF) for v in rgb)
    cases["rgb16_low_bytes_255.tif"] = tiff(base(w, h, [16, 16, 16], 2, 3), [deep])
    return cases


def job_cases():
    # First byte: bit 0 extended analysis, bit 1 progressive still, bits 2-3 level mode.
    cases = {
        "typical": (0, JOB.format(target=400000)),
        "extended": (1, JOB.format(target=1200000)),
        "progressive_small_target": (2, JOB.format(target=20000)),
        "progressive_extended_full_wide": (3 | 4, JOB.format(target=90000)),
        "full_range": (8, JOB.format(target=160000)),
        "level_mode_3": (12, JOB.format(target=2000000)),
        "comments_and_blank_lines": (0, "# job\n\nSOURCE_FILE pic.tif # the picture\n"
                                        "TARGET_SIZE 300000#bits\n\nFRMRT NTSC # 480 lines\n"
                                        "ASPECT_RATIO 3:4\nPAN_SCAN OFF\n"),
        "repeated_keys": (0, JOB.format(target=500000) + "TARGET_SIZE 100\nFRMRT PAL\n"
                                                         "FRMRT NTSC\nSOURCE_FILE pic.tif\n"),
        "pan_scan_on_small_picture": (0, "SOURCE_FILE pic.tif\nTARGET_SIZE 900000\nFRMRT NTSC\n"
                                         "ASPECT_RATIO 16:9\nPAN_SCAN ON\n"
                                         "PAN_SCAN_VECTOR -320\n"),
        "pan_scan_on_4_3": (0, "SOURCE_FILE pic.tif\nTARGET_SIZE 900000\nFRMRT NTSC\n"
                               "ASPECT_RATIO 9:16\nPAN_SCAN ON\n"),
        "pan_scan_off_with_vector": (0, JOB.format(target=400000) + "PAN_SCAN_VECTOR 2000\n"),
        "invalid_values": (0, "SOURCE_FILE pic.tif\nTARGET_SIZE abc\nFRMRT pal\n"
                              "ASPECT_RATIO 4/3\nPAN_SCAN maybe\nPAN_SCAN maybe\n"),
        "empty": (0, ""),
        "keys_without_values": (0, "SOURCE_FILE\nTARGET_SIZE\nFRMRT\nASPECT_RATIO\nPAN_SCAN\n"),
        "pal_for_ntsc_picture": (0, JOB.format(target=400000).replace("NTSC", "PAL")),
        "missing_source": (0, JOB.format(target=400000).replace("pic.tif", "none.tif")),
        "source_is_folder": (0, JOB.format(target=400000).replace("pic.tif", "/")),
        "long_line": (0, "SOURCE_FILE " + "p" * 300 + "\n" + JOB.format(target=400000)),
        "no_newline_at_end": (0, JOB.format(target=400000).rstrip("\n")),
        "tabs_and_crlf": (0, JOB.format(target=400000).replace(" ", "\t").replace("\n", "\r\n")),
        # Targets the progressive-still switch lets through, under both rules (the lowest,
        # -2147483648, is in tests/crashers/job_file/).
        "target_minus_2000000000": (2, JOB.format(target=-2000000000)),
        "target_minus_2000000000_extended": (3, JOB.format(target=-2000000000)),
        "target_minus_5": (2, JOB.format(target=-5)),
        "target_minus_5_extended": (3, JOB.format(target=-5)),
        "target_zero": (2, JOB.format(target=0)),
        "target_zero_extended": (3, JOB.format(target=0)),
        "target_59": (2, JOB.format(target=59)),
        "target_59_extended": (3, JOB.format(target=59)),
        "target_huge": (0, JOB.format(target=99999999999)),
        "target_leading_sign_text": (0, JOB.format(target="+123456x")),
        "unknown_keys": (0, "FOO bar\nsource_file pic.tif\n" + JOB.format(target=400000)),
        "nul_byte": (0, "SOURCE_FILE pic.tif\x00junk\nTARGET_SIZE 400000\nFRMRT NTSC\n"
                        "ASPECT_RATIO 4:3\nPAN_SCAN OFF\n"),
    }
    return cases


def encoder_case(size, flags, target, vector=0, mode=0, pixels=b""):
    return (bytes([size, flags]) + struct.pack("<ih", target, vector) + bytes([mode]) + pixels)


def encoder_cases():
    pattern = rgb_pattern(16, 16)
    return {
        "small_tiled": encoder_case(0, 0, 400000, mode=0, pixels=pattern),
        "small_noise": encoder_case(0, 0, 160000, mode=1, pixels=b"seed"),
        "small_noise_extended": encoder_case(1, 1, 300000, mode=1, pixels=b"seed2"),
        "small_blocks_progressive": encoder_case(4, 2, 50000, mode=3, pixels=pattern[:96]),
        "small_full_range_wide": encoder_case(5, 4, 600000, mode=2, pixels=pattern[:64]),
        "small_full_range": encoder_case(6, 8 | 1, 800000, mode=0, pixels=b"\x00\xff"),
        "level_mode_3_big_endian": encoder_case(7, 12 | 64, 1800000, mode=1, pixels=b"x"),
        "height_240": encoder_case(7, 0, 250000, mode=3, pixels=pattern),
        "height_288": encoder_case(8, 1, 250000, mode=2, pixels=pattern),
        "width_352": encoder_case(9, 0, 400000, mode=1, pixels=b"w352"),
        "width_720_rows_64": encoder_case(10, 2, 100000, mode=1, pixels=b"w720"),
        "width_704_rows_80": encoder_case(11, 0, 400000, mode=0, pixels=pattern),
        "352x240": encoder_case(13, 1, 700000, mode=3, pixels=pattern),
        "352x288": encoder_case(15, 0, 1800000, mode=1, pixels=b"busy"),
        "progressive_target_minus_2000000000": encoder_case(15, 3, -2000000000, mode=1,
                                                            pixels=b"n"),
        "progressive_target_minus_5": encoder_case(0, 2 | 1, -5, mode=1, pixels=b"n"),
        "progressive_target_zero": encoder_case(0, 2, 0, mode=0, pixels=pattern),
        "progressive_target_59": encoder_case(0, 2 | 1, 59, mode=0, pixels=pattern),
        "target_max_int": encoder_case(0, 0, 2147483647, mode=1, pixels=b"m"),
        "target_negative_interlaced": encoder_case(1, 0, -1000, mode=1, pixels=b"m"),
        "empty_pixels": encoder_case(2, 0, 400000, mode=0),
        "short_input": b"\x03\x02",
        "720x480_pan_scan": encoder_case(254, 0x30, 1500000, vector=-320, mode=3,
                                         pixels=pattern),
        "720x576_wide_flat": encoder_case(255, 0x10 | 2, 1800000, mode=3, pixels=b"\x80"),
        "704x576_pan_scan_vector_limit": encoder_case(253, 0x30, 1000000, vector=20000, mode=0,
                                                      pixels=b"\x10\x20"),
    }


def write(folder, name, data):
    path = os.path.join(CORPUS, folder, name)
    with open(path, "wb") as f:
        f.write(data)


def main():
    for folder in ("tiff", "job_file", "encoder", "tiff_verdict"):
        shutil.rmtree(os.path.join(CORPUS, folder), ignore_errors=True)
        os.makedirs(os.path.join(CORPUS, folder))
    for name in TIFF_FIXTURES:
        shutil.copy(os.path.join(ROOT, "tests", "tiff", "data", name),
                    os.path.join(CORPUS, "tiff", name))
    for name, data in tiff_cases().items():
        write("tiff", name, data)
    for name, data in verdict_cases().items():
        write("tiff_verdict", name, data)
    for name, (switches, text) in job_cases().items():
        write("job_file", name + ".job", bytes([switches]) + text.encode("latin-1"))
    for name, data in encoder_cases().items():
        write("encoder", name + ".bin", data)


if __name__ == "__main__":
    main()
