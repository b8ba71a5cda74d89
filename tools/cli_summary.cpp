// What a finished job made, read back from the stream it wrote, and told.
#include <cstdio>
#include <vector>

#include "summary.h"

namespace {

constexpr int kSequenceHeader = 0xB3;
constexpr int kExtension = 0xB5;
constexpr int kSequenceExtensionId = 1;
constexpr int kSequenceDisplayExtensionId = 2;
constexpr int kPictureDisplayExtensionId = 7;

// Reads `count` bits from `bytes` at bit `at` (most significant first).
unsigned Bits(const unsigned char* bytes, int at, int count) {
    unsigned value = 0;
    for (int i = at; i < at + count; ++i)
        value = (value << 1) | ((bytes[i / 8] >> (7 - i % 8)) & 1);
    return value;
}

void ReadExtension(const unsigned char* p, StreamFacts* facts) {
    const unsigned id = p[0] >> 4;
    if (id == kSequenceExtensionId) {
        facts->progressive = static_cast<int>(Bits(p, 12, 1));
    } else if (id == kSequenceDisplayExtensionId) {
        // video_format (3), colour_description (1) and its three bytes, then the width.
        const int at = Bits(p, 7, 1) != 0 ? 8 + 24 : 8;
        facts->displayWidth = static_cast<int>(Bits(p, at, 14));
    } else if (id == kPictureDisplayExtensionId) {
        facts->panScan = true;
        facts->panScanOffset = static_cast<int16_t>(Bits(p, 4, 16));
    }
}

const char* StandardName(int frameRateCode) {
    return frameRateCode == 3 ? "PAL" : frameRateCode == 4 ? "NTSC" : "?";
}

const char* AspectName(int aspectCode) {
    return aspectCode == 2 ? "4:3" : aspectCode == 3 ? "16:9" : "?";
}

}  // namespace

int ReadStreamFacts(const std::string& path, StreamFacts* facts) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return -1;
    std::vector<unsigned char> head(4096);
    const size_t n = std::fread(head.data(), 1, head.size(), in);
    std::fseek(in, 0, SEEK_END);
    facts->bits = static_cast<long long>(std::ftell(in)) * 8;
    std::fclose(in);

    int found = -1;
    for (size_t i = 0; i + 12 < n; ++i) {
        if (head[i] != 0 || head[i + 1] != 0 || head[i + 2] != 1) continue;
        const unsigned char* p = &head[i + 4];
        if (head[i + 3] == kSequenceHeader) {
            facts->width = static_cast<int>(Bits(p, 0, 12));
            facts->height = static_cast<int>(Bits(p, 12, 12));
            facts->aspectCode = static_cast<int>(Bits(p, 24, 4));
            facts->frameRateCode = static_cast<int>(Bits(p, 28, 4));
            found = 0;
        } else if (head[i + 3] == kExtension && found == 0) {
            ReadExtension(p, facts);
        }
    }
    return found;
}

void PrintSummary(FILE* to, const JobSummary& s) {
    const StreamFacts& f = s.facts;
    std::fprintf(to, "pictor: wrote %s\n", s.outputName.c_str());
    if (s.hasTarget && s.target > 0) {
        std::fprintf(to, "  size     %lld bits (%lld bytes), %.1f%% of the target %lld bits\n",
                     f.bits, f.bits / 8,
                     100.0 * static_cast<double>(f.bits) / static_cast<double>(s.target), s.target);
    } else {
        std::fprintf(to, "  size     %lld bits (%lld bytes)\n", f.bits, f.bits / 8);
    }
    std::fprintf(to, "  picture  %dx%d, %s %s%s\n", f.width, f.height,
                 StandardName(f.frameRateCode), AspectName(f.aspectCode),
                 f.progressive == 1   ? ", progressive"
                 : f.progressive == 0 ? ", interlaced"
                                      : "");
}
