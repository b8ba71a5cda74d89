// Which TIFFs go to the library as they are, and the one-line explanation of a refusal. The
// library's own reader says how it reads the file (its probe, through the door), libtiff how the
// command's decoder does. A file goes as it is only in the plain class, where the two readings
// cannot differ, and only when they agree on every field and on the bytes of every strip; any
// other file the library reads is converted.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "door/library_door.h"
#include "media/picture_input.h"
#include "media/tiff_verdict.h"

namespace {

// Byte ranges (start, end) of the file, in the order they are read.
using ByteRanges = std::vector<std::pair<uint64_t, uint64_t>>;

// Adds [start, start + length) to the ranges, joined to the last one when they meet: libtiff may
// cut one strip into several, which reads the same bytes.
void AddRange(uint64_t start, uint64_t length, ByteRanges* ranges) {
    if (!ranges->empty() && length > 0 && ranges->back().second == start) {
        ranges->back().second += length;
    } else {
        ranges->push_back({start, start + length});
    }
}

bool IsBigTiff(const std::string& path, PictureBytes bytes) {
    unsigned char head[4] = {0, 0, 0, 0};
    size_t got = 0;
    if (bytes.data != nullptr) {
        got = bytes.size < sizeof head ? bytes.size : sizeof head;
        std::memcpy(head, bytes.data, got);
    } else if (FILE* f = std::fopen(path.c_str(), "rb")) {
        got = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    }
    return got == 4 && (head[0] == 'I' ? head[2] : head[3]) == 43;
}

// The strips of rowsPerStrip rows a picture of `height` rows needs (rows per strip as a job
// clamps them).
uint32_t StripsNeeded(uint32_t height, uint32_t rowsPerStrip) {
    const uint32_t perStrip = std::min(rowsPerStrip, height);
    return perStrip == 0 ? 0 : static_cast<uint32_t>((uint64_t{height} + perStrip - 1) / perStrip);
}

// Why the library refuses a file libtiff finds nothing against.
std::string RefusalCause(const TiffProbe& p) {
    if (p.stripCount == 0xFFFFFFFFu) return "has no strip offsets";
    if (p.stripCount > static_cast<uint32_t>(kStripPlaces))
        return "has " + std::to_string(p.stripCount) + " strips (the library reads at most " +
               std::to_string(kStripPlaces) + ")";
    for (uint32_t s = 0; s < p.stripsRead; ++s) {
        if (p.strips[s].byteCount == 0xFFFFFFFFu)
            return "has no byte count for strip " + std::to_string(s);
        if (p.strips[s].offset + p.strips[s].byteCount > p.fileSize)
            return "has strip " + std::to_string(s) + " past the end of the file";
    }
    return "has a first directory the library refuses (Pictor error " +
           std::to_string(p.messageCode) + ")";
}

// The plain class, as the library reads the file: uncompressed chunky 8-bit grey or RGB in
// strips that cover their rows. A palette, 16-bit or 1- and 4-bit samples and PackBits are read
// by the library otherwise than by other readers, or may be.
void CheckPlainClass(const TiffProbe& p, Verdict* v) {
    const bool grey = p.photometric == 0 || p.photometric == 1;
    const uint16_t samples = grey ? 1 : 3;
    if (p.compression != 1) {
        v->Add("has PackBits strips");
        v->tiffcp = true;
    }
    if (p.photometric == 3) {
        v->Add("is a palette picture");
        v->colour = true;
    } else if (!grey && p.photometric != 2) {
        v->Add("has PhotometricInterpretation " + std::to_string(p.photometric));
        v->colour = true;
    } else if (p.samplesPerPixel != samples) {
        v->Add("has " + std::to_string(p.samplesPerPixel) + " samples a pixel");
        v->colour = true;
    }
    for (uint16_t i = 0; i < p.samplesPerPixel && i < kBitsPerSamplePlaces; ++i) {
        if (p.bitsPerSample[i] == 8) continue;
        v->Add("has " + std::to_string(p.bitsPerSample[i]) + "-bit samples");
        v->depth = true;
        break;
    }
    if (!v->causes.empty()) return;
    const uint32_t perStrip = std::min(p.rowsPerStrip, p.height);
    if (p.stripCount != StripsNeeded(p.height, p.rowsPerStrip)) {
        v->Add("has " + std::to_string(p.stripCount) + " strips for " + std::to_string(p.height) +
               " rows of " + std::to_string(p.rowsPerStrip));
        v->tiffcp = true;
        return;
    }
    const uint64_t rowBytes = uint64_t{p.width} * samples;
    for (uint32_t s = 0; s < p.stripsRead; ++s) {
        const uint64_t rows = std::min<uint64_t>(perStrip, p.height - uint64_t{s} * perStrip);
        if (p.strips[s].byteCount >= rows * rowBytes) continue;
        v->Add("has strip " + std::to_string(s) + " shorter than its rows");
        v->tiffcp = true;
        return;
    }
}

// "its NAME: the library's A, libtiff's B" when the two differ, else "".
std::string Differs(const char* name, uint64_t library, uint64_t libtiff) {
    if (library == libtiff) return "";
    return std::string("its ") + name + ": the library's " + std::to_string(library) +
           ", libtiff's " + std::to_string(libtiff);
}

// The first field that the library and libtiff read otherwise, or "".
std::string FieldDifference(const TiffProbe& p, const TiffHandle& handle) {
    TIFF* tif = handle.get();
    const TiffLibrary& t = handle.tiff();
    uint32_t width = 0, height = 0, rowsPerStrip = 0xFFFFFFFFu;
    uint16_t photometric = 0xFFFF, bits = 1, samples = 1, planar = 1, orientation = 1;
    uint16_t compression = 1, fillOrder = 1, format = SAMPLEFORMAT_UINT, extra = 0;
    uint16_t* extraKinds = nullptr;
    t.GetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    t.GetField(tif, TIFFTAG_IMAGELENGTH, &height);
    t.GetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    t.GetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    t.GetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    t.GetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    t.GetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    t.GetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    t.GetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    t.GetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fillOrder);
    t.GetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    t.GetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraKinds);
    const std::pair<const char*, std::pair<uint64_t, uint64_t>> fields[] = {
        {"ImageWidth", {p.width, width}},
        {"ImageLength", {p.height, height}},
        {"PhotometricInterpretation", {p.photometric, photometric}},
        {"BitsPerSample", {p.bitsPerSample[0], bits}},
        {"SamplesPerPixel", {p.samplesPerPixel, samples}},
        {"PlanarConfiguration", {p.planarConfiguration, planar}},
        {"Orientation", {p.orientation, orientation}},
        {"Compression", {p.compression, compression}},
        {"FillOrder", {p.fillOrder, fillOrder}},
        {"RowsPerStrip", {std::min(p.rowsPerStrip, p.height), std::min(rowsPerStrip, height)}},
        {"SampleFormat", {SAMPLEFORMAT_UINT, format}},
        {"ExtraSamples", {0, extra}},
        {"TileWidth", {0, t.IsTiled(tif) ? 1u : 0u}},
    };
    for (const auto& f : fields) {
        const std::string text = Differs(f.first, f.second.first, f.second.second);
        if (!text.empty()) return text;
    }
    return "";
}

// Whether libtiff reads the bytes the library reads, strip by strip in their order.
bool SameStripBytes(const TiffProbe& p, const TiffHandle& handle) {
    ByteRanges library, libtiff;
    for (uint32_t s = 0; s < p.stripsRead; ++s)
        AddRange(p.strips[s].offset, p.strips[s].byteCount, &library);
    const TiffLibrary& t = handle.tiff();
    const uint32_t strips = t.NumberOfStrips(handle.get());
    for (uint32_t s = 0; s < strips; ++s)
        AddRange(t.StrileOffset(handle.get(), s), t.StrileByteCount(handle.get(), s), &libtiff);
    return library == libtiff;
}

// The library's reading against libtiff's, once libtiff finds nothing the library does not read.
void CheckSameReading(const TiffProbe& p, const TiffHandle& handle, Verdict* v) {
    const std::string field = FieldDifference(p, handle);
    if (!p.accepted) {
        v->Add(field.empty() ? RefusalCause(p) : "is read otherwise by libtiff (" + field + ")");
        v->tiffcp = true;
        return;
    }
    CheckPlainClass(p, v);
    if (!v->causes.empty()) return;
    if (!field.empty()) {
        v->Add("is read otherwise by libtiff (" + field + ")");
        v->tiffcp = true;
    } else if (!SameStripBytes(p, handle)) {
        v->Add("has strip offsets or byte counts that libtiff reads otherwise");
        v->tiffcp = true;
    }
}

Verdict Analyse(const std::string& path, PictureBytes bytes = {}) {
    Verdict v;
    if (DetectPictureFormat(path, bytes) != PictureFormat::kTiff) {
        v.isTiff = false;
        v.Add("is not a TIFF file");
        return v;
    }
    if (IsBigTiff(path, bytes)) {
        v.Add("is a BigTIFF file");
        v.tiffcp = true;
        return v;
    }
    const auto probe = std::make_unique<TiffProbe>();
    ProbeLibraryTiff(path, probe.get(), bytes.data, bytes.size);
    v.width = probe->width;
    v.height = probe->height;
    // Strips as the directory lists them: libtiff neither cuts nor maps them.
    const auto opened = bytes.data != nullptr
                            ? std::make_unique<TiffHandle>(path, bytes.data, bytes.size, "rc")
                            : std::make_unique<TiffHandle>(path, "rc");
    const TiffHandle& handle = *opened;
    if (handle.get() == nullptr || handle.messages().errors > 0) {
        v.Add("cannot be read by libtiff (" + handle.ErrorOr("no directory") + ")");
        v.unreadable = true;
        return v;
    }
    // libtiff's findings name what a person acts on (compression, alpha, size); the library's
    // own reading matters only when it finds nothing.
    AddLibtiffFindings(handle, &v);
    if (v.causes.empty()) CheckSameReading(*probe, handle, &v);
    return v;
}

}  // namespace

bool LibraryTakesAsIs(const std::string& path, std::string* why, int* width, int* height,
                      PictureBytes bytes) {
    const Verdict v = Analyse(path, bytes);
    if (why != nullptr) {
        why->clear();
        for (const std::string& cause : v.causes) *why += (why->empty() ? "" : ", ") + cause;
    }
    if (width != nullptr) *width = static_cast<int>(v.width);
    if (height != nullptr) *height = static_cast<int>(v.height);
    return v.TakesAsIs();
}

std::string ExplainTiffRefusal(const std::string& path) {
    const Verdict v = Analyse(path);
    if (v.TakesAsIs() || !v.isTiff) return "";
    std::string line = path + ":";
    for (size_t i = 0; i < v.causes.size(); ++i) line += (i == 0 ? " " : ", ") + v.causes[i];
    const std::string fix = FixText(v, path);
    if (!fix.empty()) line += "; " + fix;
    return line;
}
