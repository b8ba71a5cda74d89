#!/usr/bin/python3
"""Writes the malformed source pictures of this folder (run from it)."""
import struct

def tiff(entries, strips, big=False, dir_offset=None, count=None):
    """entries: (tag, type, count, values bytes or None for strip fields, forced offset or None)."""
    e = ">" if big else "<"
    out = bytearray(b"MM" if big else b"II") + struct.pack(e + "HI", 42, 0)
    offsets, counts = [], []
    for s in strips:
        offsets.append(len(out)); counts.append(len(s)); out += s
    body = []
    for tag, typ, n, data, forced in entries:
        if data is None:
            vals = offsets if tag == 273 else counts
            n = len(vals); data = b"".join(struct.pack(e + "I", v) for v in vals)
        if forced is not None:
            field = struct.pack(e + "I", forced)
        elif len(data) <= 4:
            field = data.ljust(4, b"\0")
        else:
            if len(out) % 2: out += b"\0"
            field = struct.pack(e + "I", len(out)); out += data
        body.append(struct.pack(e + "HHI", tag, typ, n) + field)
    if len(out) % 2: out += b"\0"
    where = len(out)
    out[4:8] = struct.pack(e + "I", where if dir_offset is None else dir_offset)
    out += struct.pack(e + "H", len(body) if count is None else count) + b"".join(body) + b"\0\0\0\0"
    return bytes(out)

def short(tag, *v, big=False):
    return (tag, 3, len(v), b"".join(struct.pack(">H" if big else "<H", x) for x in v), None)

def long_(tag, *v, big=False):
    return (tag, 4, len(v), b"".join(struct.pack(">I" if big else "<I", x) for x in v), None)

def rgb_entries(compression=1, extra=()):
    return [short(256, 96), short(257, 64), short(258, 8, 8, 8), short(259, compression), short(262, 2),
            (273, 4, 0, None, None), short(277, 3), long_(278, 64), (279, 4, 0, None, None)] + list(extra)

plain = bytes(96 * 64 * 3)
good = tiff(rgb_entries(), [plain])
files = {
    "empty.tif": b"",
    "one_byte.tif": b"I",
    "text_file.tif": b"hello, not a picture\n",
    "header_only.tif": b"II*\0",
    "header_cut_in_offset.tif": b"MM\0*\0\0",
    "directory_offset_past_end.tif": tiff(rgb_entries(), [plain], dir_offset=0xFFFFFF00),
    "entry_count_65535.tif": tiff(rgb_entries(), [plain], count=65535),
    "directory_cut.tif": good[:len(good) - 40],
    "value_offset_past_end.tif": tiff(rgb_entries() + [(258, 3, 3, b"", 0x7FFFFFF0)], [plain]),
    "strip_offsets_65535_past_end.tif": tiff(rgb_entries() + [(273, 4, 65535, b"", 0x10)], [plain]),
    "strip_bytecount_4gb.tif": tiff(rgb_entries() + [long_(279, 0xFFFFFFF0)], [plain]),
    "strip_offset_past_end.tif": tiff(rgb_entries() + [long_(273, 0xFFFFFF00)], [plain]),
    "strip_cut_short.tif": tiff(rgb_entries() + [long_(279, len(plain) + 4096)], [plain]),
    "no_strip_byte_counts.tif": tiff([x for x in rgb_entries() if x[0] != 279], [plain]),
    "no_strip_offsets.tif": tiff([x for x in rgb_entries() if x[0] != 273], [plain]),
    "packbits_input_ends.tif": tiff(rgb_entries(32773), [bytes([0x81, 7]) * 10]),
    "packbits_literal_past_input.tif": tiff(rgb_entries(32773), [bytes([0x81, 7]) * 10 + bytes([0x7F, 1, 2])]),
    "packbits_repeat_without_byte.tif": tiff(rgb_entries(32773), [bytes([0x81, 7, 0xFE])]),
    "packbits_empty_strip.tif": tiff(rgb_entries(32773), [b""]),
    "grey_16bit.tif": tiff([short(256, 96), short(257, 64), short(258, 16), short(262, 1),
                             (273, 4, 0, None, None), (279, 4, 0, None, None)], [bytes(96 * 64 * 2)]),
    "palette_2bit.tif": tiff([short(256, 96), short(257, 64), short(258, 2), short(262, 3),
                              (273, 4, 0, None, None), (279, 4, 0, None, None)], [bytes(96 * 64 // 4)]),
    "width_zero.tif": tiff(rgb_entries() + [long_(256, 0)], [plain]),
    "width_huge_long.tif": tiff(rgb_entries() + [long_(256, 0x7FFFFFFF), long_(257, 0xFFFFFFFF)], [plain]),
    "samples_per_pixel_zero.tif": tiff(rgb_entries() + [short(277, 0)], [plain]),
    "lzw.tif": tiff(rgb_entries(5), [plain[:100]]),
    "big_endian_cut.tif": tiff([short(256, 96, big=True)], [], big=True)[:14],
}
for name, data in files.items():
    with open(name, "wb") as f:
        f.write(data)
