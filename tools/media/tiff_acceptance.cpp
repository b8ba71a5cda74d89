// Which TIFFs the library takes as they are, and the one-line explanation of a
// refusal. The library reads the first directory itself, by field type, so the
// raw entries are checked here besides what libtiff makes of them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "media/picture_input.h"
#include "media/tiff_handle.h"

namespace {

constexpr int kAcceptedWidths[] = {720, 704, 352, 176, 96};
constexpr int kAcceptedHeights[] = {480, 576, 240, 288, 112, 64, 144, 80};
constexpr int kNtscHeights[] = {64, 112, 240, 480};
constexpr int kPalHeights[] = {80, 144, 288, 576};
constexpr uint32_t kMaxStrips = 576;

enum : uint16_t { kTypeShort = 3, kTypeLong = 4 };

template <size_t N>
bool OneOf(int value, const int (&list)[N]) {
    return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

// What keeps the library from a file: every cause found, and what fixing each
// takes. A picture with no cause is taken as it is.
struct Verdict {
    bool isTiff = true;
    std::vector<std::string> causes;
    bool unreadable = false;  // damaged beyond what a rewrite mends
    bool tiffcp = false;      // a rewrite with tiffcp -c none mends it
    bool strips = false;      // ... with -s
    bool contig = false;      // ... with -p contig
    bool alpha = false;       // ImageMagick: alpha removed over a background
    bool colour = false;      // ImageMagick: into 8-bit RGB
    bool depth = false;       // ImageMagick: to 8 bits a sample
    bool orient = false;      // ImageMagick: turned upright
    bool size = false;        // needs --fit
    uint32_t width = 0;       // the picture's size, once read
    uint32_t height = 0;
    bool takesAsIs() const { return isTiff && causes.empty(); }
    void Add(const std::string& cause) { causes.push_back(cause); }
};

// ---- The first directory as the library walks it ----

struct RawEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    std::vector<uint32_t> values;  // the first few SHORT or LONG values
};

struct RawDirectory {
    std::vector<RawEntry> entries;
    uint64_t fileSize = 0;
    const RawEntry* Find(uint16_t tag) const {
        for (const RawEntry& e : entries) {
            if (e.tag == tag) return &e;
        }
        return nullptr;
    }
};

class ByteReader {
public:
    explicit ByteReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
        if (file_ != nullptr && std::fseek(file_, 0, SEEK_END) == 0) {
            long end = std::ftell(file_);
            size_ = end < 0 ? 0 : static_cast<uint64_t>(end);
        }
    }
    ~ByteReader() {
        if (file_ != nullptr) std::fclose(file_);
    }
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;

    bool ok() const { return file_ != nullptr; }
    uint64_t size() const { return size_; }
    bool bigEndian = false;

    // Unsigned value of `bytes` (1, 2 or 4) bytes at `offset`; false past the end.
    bool Read(uint64_t offset, int bytes, uint32_t* value) {
        unsigned char b[4];
        if (!ReadBytes(offset, static_cast<uint64_t>(bytes), b)) return false;
        *value = Value(b, bytes);
        return true;
    }
    // `count` values of `bytes` (2 or 4) bytes each from `offset`, in one read; false past the
    // end.
    bool ReadValues(uint64_t offset, int bytes, uint32_t count, std::vector<uint32_t>* values) {
        const uint64_t length = uint64_t{count} * static_cast<uint64_t>(bytes);
        if (offset + length > size_) return false;
        std::vector<unsigned char> raw(static_cast<size_t>(length));
        if (!ReadBytes(offset, length, raw.data())) return false;
        for (uint64_t at = 0; at < length; at += static_cast<uint64_t>(bytes))
            values->push_back(Value(raw.data() + at, bytes));
        return true;
    }

private:
    bool ReadBytes(uint64_t offset, uint64_t length, unsigned char* out) {
        return offset + length <= size_ &&
               std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0 &&
               std::fread(out, 1, static_cast<size_t>(length), file_) == length;
    }
    uint32_t Value(const unsigned char* b, int bytes) const {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | b[bigEndian ? i : bytes - 1 - i];
        return v;
    }

    FILE* file_ = nullptr;
    uint64_t size_ = 0;
};

// The values the checks need: enough for BitsPerSample and the subfile type, and every strip's
// offset and byte count up to the most strips the library reads.
constexpr uint32_t kValuesKept = 16;
constexpr uint16_t kStripOffsets = 273;
constexpr uint16_t kStripByteCounts = 279;

uint32_t ValuesKept(uint16_t tag) {
    return tag == kStripOffsets || tag == kStripByteCounts ? kMaxStrips : kValuesKept;
}

bool ReadRawDirectory(const std::string& path, RawDirectory* dir, std::string* why) {
    ByteReader in(path);
    if (!in.ok()) {
        *why = "cannot be opened";
        return false;
    }
    dir->fileSize = in.size();
    uint32_t mark = 0, version = 0, first = 0, count = 0;
    if (!in.Read(0, 2, &mark) || (mark != 0x4949 && mark != 0x4D4D)) {
        *why = "is not a TIFF file";
        return false;
    }
    in.bigEndian = mark == 0x4D4D;
    if (!in.Read(2, 2, &version) || version != 42) {
        *why = version == 43 ? "is a BigTIFF file" : "has a damaged TIFF header";
        return false;
    }
    if (!in.Read(4, 4, &first) || !in.Read(first, 2, &count) ||
        uint64_t{first} + 2 + 12 * uint64_t{count} > in.size()) {
        *why = "has its first directory cut short or past the end of the file";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t{first} + 2 + 12 * uint64_t{i};
        uint32_t tag = 0, type = 0;
        RawEntry e;
        if (!in.Read(at, 2, &tag) || !in.Read(at + 2, 2, &type) || !in.Read(at + 4, 4, &e.count))
            return false;
        e.tag = static_cast<uint16_t>(tag);
        e.type = static_cast<uint16_t>(type);
        if (e.type == kTypeShort || e.type == kTypeLong) {
            const int width = e.type == kTypeShort ? 2 : 4;
            const uint64_t bytes = uint64_t{e.count} * static_cast<uint64_t>(width);
            uint64_t where = at + 8;
            if (bytes > 4) {
                uint32_t offset = 0;
                if (!in.Read(at + 8, 4, &offset)) return false;
                where = offset;
                if (where + bytes > in.size()) {
                    *why = "has the values of tag " + std::to_string(e.tag) +
                           " past the end of the file";
                    return false;
                }
            }
            if (!in.ReadValues(where, width, std::min(e.count, ValuesKept(e.tag)), &e.values))
                return false;
        }
        dir->entries.push_back(e);
    }
    return true;
}

// The field types the library reads each tag with; an entry of another type
// is skipped by the library but read by libtiff, so the two would disagree.
struct TagRule {
    uint16_t tag;
    bool shortOk;
    bool longOk;
};
constexpr TagRule kTagRules[] = {
    {254, false, true}, {255, true, false}, {256, true, true},  {257, true, true},
    {258, true, false}, {259, true, false}, {262, true, false}, {266, true, false},
    {273, true, true},  {274, true, false}, {277, true, false}, {278, true, true},
    {279, true, true},  {284, true, false}, {320, true, false}, {338, true, false},
};

void CheckRawEntries(const RawDirectory& dir, Verdict* v) {
    std::vector<uint16_t> seen;
    for (const RawEntry& e : dir.entries) {
        const std::string tag = "tag " + std::to_string(e.tag);
        bool bad = false;
        if (e.tag == 0) {
            v->Add("has a directory entry with tag 0");
            bad = true;
        } else if (e.count > 0xFFFF) {
            v->Add("has " + tag + " with more than 65535 values");
            bad = true;
        } else if (std::find(seen.begin(), seen.end(), e.tag) != seen.end()) {
            v->Add("has " + tag + " twice");
            bad = true;
        }
        seen.push_back(e.tag);
        for (const TagRule& rule : kTagRules) {
            if (bad || rule.tag != e.tag) continue;
            const bool ok =
                (e.type == kTypeShort && rule.shortOk) || (e.type == kTypeLong && rule.longOk);
            if (!ok) {
                v->Add("has " + tag + " stored as field type " + std::to_string(e.type) +
                       ", which the library does not read");
                bad = true;
            }
        }
        v->tiffcp = v->tiffcp || bad;
    }
    const RawEntry* offsets = dir.Find(273);
    const RawEntry* counts = dir.Find(279);
    if (offsets == nullptr || counts == nullptr) {
        v->Add("has no strip offsets or no strip byte counts");
        v->tiffcp = true;
    } else if (offsets->count != counts->count) {
        v->Add("has different numbers of strip offsets and strip byte counts");
        v->tiffcp = true;
    }
    const RawEntry* old = dir.Find(255);
    if (old != nullptr && (old->values.size() != 1 || old->values[0] != 1)) {
        v->Add("is marked as a reduced or extra picture (SubfileType)");
        v->tiffcp = true;
    }
    const RawEntry* bits = dir.Find(258);
    if (bits != nullptr && bits->count > 11) {
        v->Add("has more than 11 BitsPerSample values");
        v->depth = true;
    }
    const RawEntry* extra = dir.Find(338);
    if (extra != nullptr && extra->count > 8) {
        v->Add("has more than 8 extra samples");
        v->alpha = true;
    }
}

// ---- Plain strips, settled without libtiff ----

// The value of a one-value SHORT or LONG entry, or `absent` when there is none; false for an
// entry of another form.
bool OneValue(const RawDirectory& dir, uint16_t tag, uint32_t absent, uint32_t* value) {
    const RawEntry* e = dir.Find(tag);
    if (e == nullptr) {
        *value = absent;
        return true;
    }
    if (e->count != 1 || e->values.size() != 1) return false;
    *value = e->values[0];
    return true;
}

// Whether the entry holds one value or one a sample, each of them `wanted`.
bool EverySample(const RawDirectory& dir, uint16_t tag, uint32_t samples, uint32_t wanted) {
    const RawEntry* e = dir.Find(tag);
    if (e == nullptr || (e->count != 1 && e->count != samples) || e->values.size() != e->count)
        return false;
    return std::all_of(e->values.begin(), e->values.end(), [&](uint32_t v) { return v == wanted; });
}

// The commonest picture, settled from its raw first directory alone: uncompressed chunky
// 8-bit grey or RGB of an accepted size in whole strips inside the file. False means only
// "not settled here"; libtiff then reads the file as for any other.
bool PlainStrips(const RawDirectory& dir, uint64_t fileSize, Verdict* v) {
    constexpr uint16_t kTileTags[] = {322, 323, 324, 325};
    for (uint16_t tag : kTileTags) {
        if (dir.Find(tag) != nullptr) return false;
    }
    uint32_t width = 0, height = 0, compression = 0, photometric = 0, samples = 0, planar = 0;
    uint32_t orientation = 0, subfile = 0, rowsPerStrip = 0;
    if (!OneValue(dir, 256, 0, &width) || !OneValue(dir, 257, 0, &height) ||
        !OneValue(dir, 259, 1, &compression) || !OneValue(dir, 262, 99, &photometric) ||
        !OneValue(dir, 277, 1, &samples) || !OneValue(dir, 284, 1, &planar) ||
        !OneValue(dir, 274, 1, &orientation) || !OneValue(dir, 254, 0, &subfile) ||
        !OneValue(dir, 278, 0xFFFFFFFF, &rowsPerStrip))
        return false;
    const bool grey = photometric == 0 || photometric == 1;
    if (compression != 1 || !(grey || photometric == 2) || samples != (grey ? 1u : 3u) ||
        planar != 1 || orientation < 1 || orientation > 4 || (subfile != 0 && subfile != 2) ||
        rowsPerStrip == 0 || dir.Find(338) != nullptr || !EverySample(dir, 258, samples, 8) ||
        (dir.Find(339) != nullptr && !EverySample(dir, 339, samples, 1)) ||
        !OneOf(static_cast<int>(width), kAcceptedWidths) ||
        !OneOf(static_cast<int>(height), kAcceptedHeights))
        return false;
    const RawEntry* offsets = dir.Find(kStripOffsets);
    const RawEntry* counts = dir.Find(kStripByteCounts);
    const uint32_t perStrip = std::min(rowsPerStrip, height);
    const uint32_t strips = (height + perStrip - 1) / perStrip;
    if (offsets == nullptr || counts == nullptr || offsets->count != strips ||
        counts->count != strips || offsets->values.size() != strips ||
        counts->values.size() != strips)
        return false;
    const uint64_t rowBytes = uint64_t{width} * samples;
    for (uint32_t k = 0; k < strips; ++k) {
        const uint64_t rows = std::min<uint64_t>(perStrip, height - uint64_t{k} * perStrip);
        const uint64_t count = counts->values[k];
        if (count < rows * rowBytes || offsets->values[k] + count > fileSize) return false;
    }
    Verdict entries;
    CheckRawEntries(dir, &entries);
    if (!entries.causes.empty()) return false;
    v->width = width;
    v->height = height;
    return true;
}

// ---- What libtiff finds ----

std::string CompressionName(const TiffLibrary& t, uint16_t compression) {
    const TIFFCodec* codec = t.findCodec(compression);
    std::string name = codec != nullptr ? codec->name : "";
    if (compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE)
        name = "Deflate";
    if (compression == COMPRESSION_OJPEG) name = "old-style JPEG";
    if (name.empty()) name = "unknown (" + std::to_string(compression) + ")";
    return name + " compression";
}

std::string PhotometricName(uint16_t photometric) {
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
            return "WhiteIsZero grey";
        case PHOTOMETRIC_MINISBLACK:
            return "BlackIsZero grey";
        case PHOTOMETRIC_RGB:
            return "RGB";
        case PHOTOMETRIC_PALETTE:
            return "palette";
        case PHOTOMETRIC_MASK:
            return "transparency mask";
        case PHOTOMETRIC_SEPARATED:
            return "CMYK (separated)";
        case PHOTOMETRIC_YCBCR:
            return "YCbCr";
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB:
        case PHOTOMETRIC_ITULAB:
            return "Lab";
        default:
            return "photometric interpretation " + std::to_string(photometric);
    }
}

std::string SizeCause(uint32_t width, uint32_t height) {
    return "is " + std::to_string(width) + "x" + std::to_string(height) +
           " (accepted: " + AcceptedSizesText() + ")";
}

bool HasAlpha(const uint16_t* kinds, uint16_t count) {
    for (uint16_t i = 0; kinds != nullptr && i < count; ++i) {
        if (kinds[i] == EXTRASAMPLE_ASSOCALPHA || kinds[i] == EXTRASAMPLE_UNASSALPHA) return true;
    }
    return false;
}

// The sample layout: depth, samples and extra samples against what the library reads.
void CheckSamples(const TiffHandle& handle, uint16_t photometric, Verdict* v) {
    TIFF* tif = handle.get();
    const TiffLibrary& t = handle.tiff();
    uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, extraCount = 0;
    uint16_t* extraKinds = nullptr;
    t.getFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    t.getFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    t.getFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    t.getFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    if (HasAlpha(extraKinds, extraCount)) {
        v->Add("has an alpha channel");
        v->alpha = true;
    } else if (extraCount > 0 && extraKinds != nullptr) {
        for (uint16_t i = 0; i < extraCount; ++i) {
            if (extraKinds[i] == EXTRASAMPLE_UNSPECIFIED) continue;
            v->Add("has extra samples of kind " + std::to_string(extraKinds[i]));
            v->alpha = true;
            break;
        }
    }
    const std::string depth = std::to_string(bits) + "-bit";
    if (format != SAMPLEFORMAT_UINT) {
        const char* kind = format == SAMPLEFORMAT_IEEEFP ? "floating-point" : "signed";
        v->Add("has " + depth + " " + kind + " samples (the library reads unsigned integers)");
        v->depth = true;
        return;
    }
    const bool photometricOk = photometric <= PHOTOMETRIC_PALETTE;
    if (photometric == PHOTOMETRIC_RGB) {
        if (bits != 8 && bits != 16) {
            v->Add("has " + depth + " RGB samples (the library reads 8 or 16 bits)");
            v->depth = true;
        }
        // The library skips samples after blue; libtiff agrees when they are unspecified.
        if (samples < 3 || samples > 11) {
            v->Add("has " + std::to_string(samples) + " samples per RGB pixel");
            v->colour = true;
        }
    } else if (photometricOk) {
        const char* what = photometric == PHOTOMETRIC_PALETTE ? "palette" : "grey";
        if (bits != 1 && bits != 4 && bits != 8) {
            v->Add("has " + depth + " " + what + " samples (the library reads 1, 4 or 8 bits)");
            v->depth = true;
        }
        if (samples != 1 && !v->alpha) {
            v->Add("has " + std::to_string(samples) + " samples per " + what + " pixel");
            v->colour = true;
        }
    }
}

using ByteRanges = std::vector<std::pair<uint64_t, uint64_t>>;  // (start, end) in the file

// Adds [start, start + length) to the ranges, joined to the last one when they meet.
void AddRange(uint64_t start, uint64_t length, ByteRanges* ranges) {
    if (!ranges->empty() && length > 0 && ranges->back().second == start) {
        ranges->back().second += length;
    } else {
        ranges->push_back({start, start + length});
    }
}

// Whether libtiff reads the bytes the directory's strip entries name, in their order. libtiff
// may cut one large strip into several, which reads the same bytes; it also mends entries it
// finds implausible (a value count that is not one a strip, a byte count short of the strip's
// rows), where the library reads the entries as they stand.
bool SameStripBytes(const TiffHandle& handle, const RawDirectory& dir) {
    const RawEntry* offsets = dir.Find(kStripOffsets);
    const RawEntry* counts = dir.Find(kStripByteCounts);
    // Missing entries have a cause of their own among the directory's.
    if (offsets == nullptr || counts == nullptr) return true;
    if (offsets->values.size() != offsets->count || counts->values.size() != counts->count ||
        offsets->count != counts->count)
        return false;
    ByteRanges listed, read;
    for (size_t s = 0; s < offsets->values.size(); ++s)
        AddRange(offsets->values[s], counts->values[s], &listed);
    const TiffLibrary& t = handle.tiff();
    const uint32_t strips = t.numberOfStrips(handle.get());
    for (uint32_t s = 0; s < strips; ++s)
        AddRange(t.strileOffset(handle.get(), s), t.strileByteCount(handle.get(), s), &read);
    return listed == read;
}

// Every strip is read through libtiff: one that is cut short, lies past the end
// of the file or decodes with a complaint is not trusted to the library, which
// reads each strip's whole byte count.
void CheckStrips(TiffHandle* handle, const RawDirectory& dir, uint32_t height, uint64_t fileSize,
                 Verdict* v) {
    TIFF* tif = handle->get();
    const TiffLibrary& t = handle->tiff();
    const uint32_t strips = t.numberOfStrips(tif);
    uint32_t rowsPerStrip = height;
    t.getFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    const uint32_t perStrip = std::max<uint32_t>(1, std::min(rowsPerStrip, height));
    const uint64_t needed = (uint64_t{height} + perStrip - 1) / perStrip;
    if (strips > kMaxStrips) {
        v->Add("has " + std::to_string(strips) + " strips (the library reads at most " +
               std::to_string(kMaxStrips) + ")");
        v->tiffcp = true;
        return;
    }
    if (rowsPerStrip == 0 || strips != needed) {
        v->Add("has " + std::to_string(strips) + " strips for " + std::to_string(height) +
               " rows of " + std::to_string(rowsPerStrip));
        v->tiffcp = true;
        return;
    }
    const tmsize_t stripSize = t.stripSize(tif);
    if (stripSize <= 0) {
        v->Add("has strips that libtiff cannot size");
        v->tiffcp = true;
        return;
    }
    if (!SameStripBytes(*handle, dir)) {
        v->Add("has strip offsets or byte counts that libtiff reads otherwise");
        v->tiffcp = true;
        return;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(stripSize));
    handle->ClearMessages();
    for (uint32_t s = 0; s < strips; ++s) {
        const uint64_t end = t.strileOffset(tif, s) + t.strileByteCount(tif, s);
        const uint64_t first = uint64_t{s} * perStrip;
        const uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(height - first, perStrip));
        const tmsize_t expected = t.vStripSize(tif, rows);
        const tmsize_t got = t.readEncodedStrip(tif, s, buffer.data(), stripSize);
        const TiffMessages& m = handle->messages();
        if (end > fileSize || got < expected || m.errors > 0 || m.warnings > 0) {
            std::string detail =
                end > fileSize ? "past the end of the file" : handle->ErrorOr(m.firstWarning);
            v->Add("has strip " + std::to_string(s) + " damaged or cut short (" + detail + ")");
            v->unreadable = true;
            return;
        }
    }
}

void CheckWithLibtiff(const std::string& path, const RawDirectory& dir, uint64_t fileSize,
                      Verdict* v) {
    TiffHandle handle(path, "r");
    TIFF* tif = handle.get();
    if (tif == nullptr || handle.messages().errors > 0) {
        v->Add("cannot be read by libtiff (" + handle.ErrorOr("no directory") + ")");
        v->unreadable = true;
        return;
    }
    const TiffLibrary& t = handle.tiff();
    uint32_t width = 0, height = 0, subfile = 0;
    uint16_t compression = COMPRESSION_NONE, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    t.getField(tif, TIFFTAG_IMAGEWIDTH, &width);
    t.getField(tif, TIFFTAG_IMAGELENGTH, &height);
    t.getFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    t.getFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    t.getFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    t.getFieldDefaulted(tif, TIFFTAG_SUBFILETYPE, &subfile);
    const bool hasPhotometric = t.getField(tif, TIFFTAG_PHOTOMETRIC, &photometric) == 1;
    v->width = width;
    v->height = height;

    if (compression != COMPRESSION_NONE && compression != COMPRESSION_PACKBITS) {
        v->Add("uses " + CompressionName(t, compression) +
               " (the library reads uncompressed or PackBits strips)");
        v->tiffcp = true;
    }
    if (t.isTiled(tif)) {
        v->Add("is stored in tiles, not strips");
        v->strips = true;
    }
    if (planar != PLANARCONFIG_CONTIG) {
        v->Add("stores each colour in its own plane (PlanarConfiguration 2)");
        v->contig = true;
    }
    if (!hasPhotometric) {
        v->Add("has no PhotometricInterpretation field");
        v->colour = true;
    } else if (photometric > PHOTOMETRIC_PALETTE) {
        v->Add("holds " + PhotometricName(photometric) +
               " samples (the library reads grey, palette or RGB)");
        v->colour = true;
    }
    CheckSamples(handle, photometric, v);
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (hasPhotometric && photometric == PHOTOMETRIC_PALETTE &&
        !t.getField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        v->Add("is a palette picture without a colour map");
        v->unreadable = true;
    }
    if (orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_BOTLEFT) {
        v->Add("has Orientation " + std::to_string(orientation) +
               " (the library turns only 1 to 4)");
        v->orient = true;
    }
    if (subfile != 0 && subfile != FILETYPE_PAGE) {
        v->Add("is marked as a reduced or mask picture (NewSubfileType " + std::to_string(subfile) +
               ")");
        v->tiffcp = true;
    }
    if (!OneOf(static_cast<int>(width), kAcceptedWidths) ||
        !OneOf(static_cast<int>(height), kAcceptedHeights)) {
        v->Add(SizeCause(width, height));
        v->size = true;
    }
    if (v->causes.empty()) CheckStrips(&handle, dir, height, fileSize, v);
}

Verdict Analyse(const std::string& path) {
    Verdict v;
    if (DetectPictureFormat(path) != PictureFormat::kTiff) {
        v.isTiff = false;
        v.Add("is not a TIFF file");
        return v;
    }
    RawDirectory dir;
    std::string why;
    if (!ReadRawDirectory(path, &dir, &why)) {
        v.Add(why.empty() ? "has a damaged first directory" : why);
        if (why == "is a BigTIFF file") {
            v.tiffcp = true;
        } else {
            v.unreadable = true;
        }
        return v;
    }
    const uint64_t fileSize = dir.fileSize;
    if (PlainStrips(dir, fileSize, &v)) return v;
    // libtiff's findings name what a person acts on (compression, alpha, size);
    // the finer points of field types matter only when it finds nothing.
    CheckWithLibtiff(path, dir, fileSize, &v);
    if (v.causes.empty()) CheckRawEntries(dir, &v);
    return v;
}

// A path as a shell reads it back.
std::string Quoted(const std::string& path) {
    const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+.,/:@%";
    if (!path.empty() && path.find_first_not_of(plain) == std::string::npos) return path;
    std::string out = "'";
    for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string FixedName(const std::string& path) {
    std::string stem = path;
    const size_t slash = stem.find_last_of('/');
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.erase(dot);
    return Quoted(stem + "-plain.tif");
}

std::string FixText(const Verdict& v, const std::string& path) {
    if (v.unreadable) return "";
    if (v.size) return "`pictor encode --fit pad` (or crop, stretch) converts and fits it";
    const std::string in = Quoted(path), out = FixedName(path);
    std::string command;
    if (v.alpha || v.colour || v.depth || v.orient) {
        command = "convert " + in;
        if (v.orient) command += " -auto-orient";
        if (v.alpha) command += " -background black -alpha remove -alpha off";
        if (v.colour) command += " -colorspace sRGB -type TrueColor";
        command += " -depth 8 -compress none " + out;
    } else if (v.tiffcp || v.strips || v.contig) {
        command = "tiffcp";
        if (v.strips) command += " -s";
        if (v.contig) command += " -p contig";
        command += " -c none " + in + " " + out;
    }
    std::string fix = "`pictor encode` converts it";
    if (v.alpha) fix += " over --background";
    if (!command.empty()) fix += ", or: " + command;
    return fix;
}

}  // namespace

std::string AcceptedSizesText() {
    std::string text = "widths";
    for (int w : kAcceptedWidths) text += (text == "widths" ? " " : ", ") + std::to_string(w);
    text += "; heights";
    bool first = true;
    for (int h : kAcceptedHeights) {
        text += (first ? " " : ", ") + std::to_string(h);
        first = false;
    }
    return text;
}

std::string JobSizesText(bool pal, bool wide) {
    std::string widths, heights;
    for (int w : kAcceptedWidths) {
        if (SizeSuitsJob(w, pal ? 576 : 480, pal, wide, nullptr))
            widths += (widths.empty() ? "" : ", ") + std::to_string(w);
    }
    for (int h : kAcceptedHeights) {
        if (SizeSuitsJob(720, h, pal, wide, nullptr))
            heights += (heights.empty() ? "" : ", ") + std::to_string(h);
    }
    return "widths " + widths + "; heights " + heights;
}

bool SizeSuitsJob(int width, int height, bool pal, bool wide, std::string* why) {
    std::string cause;
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (!OneOf(width, kAcceptedWidths) || !OneOf(height, kAcceptedHeights)) {
        cause = size + " is not an accepted size (" + AcceptedSizesText() + ")";
    } else if (wide && (width != 720 && width != 704)) {
        cause = "a 16:9 picture must be 720 or 704 wide, not " + std::to_string(width);
    } else if (wide && height != 480 && height != 576) {
        cause = "a 16:9 picture must be 480 or 576 high, not " + std::to_string(height);
    } else if (pal && OneOf(height, kNtscHeights)) {
        cause = "height " + std::to_string(height) + " is an NTSC height, the job is PAL";
    } else if (!pal && OneOf(height, kPalHeights)) {
        cause = "height " + std::to_string(height) + " is a PAL height, the job is NTSC";
    }
    if (why != nullptr) *why = cause;
    return cause.empty();
}

bool LibraryTakesAsIs(const std::string& path, std::string* why, int* width, int* height) {
    const Verdict v = Analyse(path);
    if (why != nullptr) {
        why->clear();
        for (const std::string& cause : v.causes) *why += (why->empty() ? "" : ", ") + cause;
    }
    if (width != nullptr) *width = static_cast<int>(v.width);
    if (height != nullptr) *height = static_cast<int>(v.height);
    return v.takesAsIs();
}

std::string ExplainTiffRefusal(const std::string& path) {
    const Verdict v = Analyse(path);
    if (v.takesAsIs() || !v.isTiff) return "";
    std::string line = path + ":";
    for (size_t i = 0; i < v.causes.size(); ++i) line += (i == 0 ? " " : ", ") + v.causes[i];
    const std::string fix = FixText(v, path);
    if (!fix.empty()) line += "; " + fix;
    return line;
}
