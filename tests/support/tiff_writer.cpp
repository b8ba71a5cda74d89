#include "support/tiff_writer.h"

#include <algorithm>

namespace {

// Bytes in the file's byte order.
struct Out {
    bool big;
    std::vector<uint8_t> bytes;
    void Put(uint32_t v, int size, size_t at) {
        for (int k = 0; k < size; ++k) {
            int shift = big ? 8 * (size - 1 - k) : 8 * k;
            bytes[at + k] = static_cast<uint8_t>(v >> shift);
        }
    }
    size_t Append(uint32_t v, int size) {
        size_t at = bytes.size();
        bytes.resize(at + size);
        Put(v, size, at);
        return at;
    }
    void Align() {
        if (bytes.size() % 2) bytes.push_back(0);
    }
};

// The bytes of one given value (RATIONAL: each value given is one of the two words).
int ValueSize(uint16_t type) {
    return type == kShort ? 2 : (type == kLong || type == kRational) ? 4 : 1;
}

// PackBits: runs of 3 and more as repeats, the rest as literals.
std::vector<uint8_t> PackBitsEncode(const std::vector<uint8_t>& in) {
    auto runAt = [&in](size_t i) {
        size_t run = 1;
        while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
        return run;
    };
    std::vector<uint8_t> out;
    for (size_t i = 0; i < in.size();) {
        const size_t run = runAt(i);
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(257 - run));
            out.push_back(in[i]);
            i += run;
            continue;
        }
        const size_t start = i;
        while (i < in.size() && i - start < 128 && runAt(i) < 3) ++i;
        out.push_back(static_cast<uint8_t>(i - start - 1));
        out.insert(out.end(), in.begin() + start, in.begin() + i);
    }
    return out;
}

std::vector<uint8_t> ReverseBits(std::vector<uint8_t> bytes) {
    for (uint8_t& b : bytes) {
        uint8_t r = 0;
        for (int k = 0; k < 8; ++k) r |= ((b >> k) & 1) << (7 - k);
        b = r;
    }
    return bytes;
}

}  // namespace

TiffEntry Short(uint16_t tag, std::vector<uint32_t> values) {
    return TiffEntry{tag, kShort, static_cast<uint32_t>(values.size()), std::move(values)};
}

TiffEntry Long(uint16_t tag, std::vector<uint32_t> values) {
    return TiffEntry{tag, kLong, static_cast<uint32_t>(values.size()), std::move(values)};
}

std::vector<uint8_t> WriteTiffFile(const TiffFile& file) {
    const uint8_t order = file.bigEndian ? 'M' : 'I';
    Out out{file.bigEndian, {order, order}};
    out.Append(42, 2);
    size_t headerLink = out.Append(0, 4);

    std::vector<uint32_t> offsets, counts;
    for (const std::vector<uint8_t>& strip : file.strips) {
        offsets.push_back(static_cast<uint32_t>(out.bytes.size()));
        counts.push_back(static_cast<uint32_t>(strip.size()));
        out.bytes.insert(out.bytes.end(), strip.begin(), strip.end());
    }

    std::vector<TiffEntry> entries = file.entries;
    for (TiffEntry& e : entries) {
        if (e.values.empty() && (e.tag == 273 || e.tag == 279)) {
            e.values = e.tag == 273 ? offsets : counts;
            e.count = static_cast<uint32_t>(e.values.size());
            if (e.type != kShort) e.type = kLong;
        }
    }

    // Values that do not fit in an entry go before the directory.
    std::vector<uint32_t> placed(entries.size(), 0);
    for (size_t n = 0; n < entries.size(); ++n) {
        const TiffEntry& e = entries[n];
        int size = ValueSize(e.type);
        uint64_t bytes = uint64_t{e.count} * size * (e.type == kRational ? 2 : 1);
        if (bytes <= 4 || e.values.empty()) continue;
        out.Align();
        placed[n] = static_cast<uint32_t>(out.bytes.size());
        for (uint32_t v : e.values) out.Append(v, size);
    }

    out.Align();
    out.Put(static_cast<uint32_t>(out.bytes.size()), 4, headerLink);
    out.Append(static_cast<uint32_t>(entries.size()), 2);
    for (size_t n = 0; n < entries.size(); ++n) {
        const TiffEntry& e = entries[n];
        out.Append(e.tag, 2);
        out.Append(e.type, 2);
        out.Append(e.count, 4);
        size_t field = out.Append(placed[n], 4);
        int size = ValueSize(e.type);
        for (size_t k = 0; placed[n] == 0 && k < e.values.size() && (k + 1) * size <= 4; ++k) {
            out.Put(e.values[k], size, field + k * size);
        }
    }
    out.Append(0, 4);
    return out.bytes;
}

TiffFile RgbTiffLayout(int width, int height, const std::vector<uint8_t>& rgb,
                       const TiffOptions& options) {
    int rows = options.rowsPerStrip > 0 ? options.rowsPerStrip : height;
    int samples = 3 + options.extraSamples;
    TiffFile file;
    file.bigEndian = options.bigEndian;
    for (int first = 0; first < height; first += rows) {
        std::vector<uint8_t> strip;
        for (int r = first; r < std::min(height, first + rows); ++r) {
            for (int c = 0; c < width; ++c) {
                for (int s = 0; s < samples; ++s) {
                    uint8_t v = s < 3 ? rgb[(static_cast<size_t>(r) * width + c) * 3 + s] : 0x55;
                    // 16 bits: v * 257, both bytes v, so either byte order reads v.
                    strip.insert(strip.end(), options.bitsPerSample / 8, v);
                }
            }
        }
        // FillOrder 2 reverses the bits of the stored bytes, PackBits headers included.
        if (options.packBits) strip = PackBitsEncode(strip);
        if (options.fillOrder2) strip = ReverseBits(strip);
        file.strips.push_back(std::move(strip));
    }
    uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
    std::vector<uint32_t> bits(samples, static_cast<uint32_t>(options.bitsPerSample));
    file.entries.push_back(Long(254, {0}));
    file.entries.push_back(options.longDimensions ? Long(256, {w}) : Short(256, {w}));
    file.entries.push_back(options.longDimensions ? Long(257, {h}) : Short(257, {h}));
    file.entries.push_back(Short(258, bits));
    file.entries.push_back(Short(259, {options.packBits ? 32773u : 1u}));
    file.entries.push_back(Short(262, {2}));
    if (options.fillOrder2) file.entries.push_back(Short(266, {2}));
    file.entries.push_back(Long(273, {}));
    if (options.orientation != 0)
        file.entries.push_back(Short(274, {static_cast<uint32_t>(options.orientation)}));
    file.entries.push_back(Short(277, {static_cast<uint32_t>(samples)}));
    if (options.rowsPerStripEntry) file.entries.push_back(Long(278, {static_cast<uint32_t>(rows)}));
    file.entries.push_back(Long(279, {}));
    file.entries.push_back(Short(284, {1}));
    if (options.extraSamples > 0)
        file.entries.push_back(Short(338, std::vector<uint32_t>(options.extraSamples, 0)));
    return file;
}

std::vector<uint8_t> MakeRgbTiff(int width, int height, const std::vector<uint8_t>& rgb,
                                 TiffOptions options) {
    return WriteTiffFile(RgbTiffLayout(width, height, rgb, options));
}
