// What a finished job made, read back from the stream it wrote.
#include <cstdio>
#include <vector>

#include "cli.h"

int ReadStreamFacts(const std::string& path, StreamFacts* facts) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return -1;
    std::vector<unsigned char> head(4096);
    size_t n = std::fread(head.data(), 1, head.size(), in);
    std::fseek(in, 0, SEEK_END);
    facts->bits = static_cast<long long>(std::ftell(in)) * 8;
    std::fclose(in);

    int found = -1;
    for (size_t i = 0; i + 8 < n; ++i) {
        if (head[i] != 0 || head[i + 1] != 0 || head[i + 2] != 1) continue;
        const unsigned char* p = &head[i + 4];
        if (head[i + 3] == 0xB3) {  // sequence header
            facts->width = (p[0] << 4) | (p[1] >> 4);
            facts->height = ((p[1] & 0x0F) << 8) | p[2];
            facts->aspectCode = p[3] >> 4;
            facts->frameRateCode = p[3] & 0x0F;
            found = 0;
        } else if (head[i + 3] == 0xB5 && (p[0] >> 4) == 1 && found == 0) {  // sequence extension
            facts->progressive = (p[1] >> 3) & 1;
            break;
        }
    }
    return found;
}

void PrintSummary(const std::string& path, const StreamFacts& facts, long long target) {
    const char* standard = facts.frameRateCode == 3   ? "PAL"
                           : facts.frameRateCode == 4 ? "NTSC"
                                                      : "?";
    const char* aspect = facts.aspectCode == 2 ? "4:3" : facts.aspectCode == 3 ? "16:9" : "?";
    std::printf("pictor: wrote %s\n", path.c_str());
    if (target > 0) {
        std::printf("  size     %lld bits (%lld bytes), %.1f%% of the target %lld bits\n",
                    facts.bits, facts.bits / 8,
                    100.0 * static_cast<double>(facts.bits) / static_cast<double>(target), target);
    } else {
        std::printf("  size     %lld bits (%lld bytes)\n", facts.bits, facts.bits / 8);
    }
    std::printf("  picture  %dx%d, %s %s%s\n", facts.width, facts.height, standard, aspect,
                facts.progressive == 1   ? ", progressive"
                : facts.progressive == 0 ? ", interlaced"
                                         : "");
}
