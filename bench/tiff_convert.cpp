// Converting a 720 x 576 RGB TIFF into the picture planes, uncompressed and PackBits.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/registry.h"
#include "convert/convert_source.h"
#include "params/settings.h"
#include "tiff/tiff_fields.h"

namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t v, int size) {
    for (int k = 0; k < size; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// A 720 x 576 picture with smooth areas and detail, in strips of 16 rows.
std::string WritePicture(bool packBits) {
    const int w = 720, h = 576, rows = 16;
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
    std::vector<uint32_t> offsets, counts;
    for (int first = 0; first < h; first += rows) {
        std::vector<uint8_t> strip;
        for (int r = first; r < first + rows; ++r) {
            for (int c = 0; c < w; ++c) {
                bool flat = (c / 64 + r / 64) % 2 == 0;
                strip.push_back(static_cast<uint8_t>(flat ? 120 : c * 255 / w));
                strip.push_back(static_cast<uint8_t>(flat ? 120 : r * 255 / h));
                strip.push_back(static_cast<uint8_t>(flat ? 120 : (c ^ r) & 0xFF));
            }
        }
        if (packBits) {
            std::vector<uint8_t> packed;
            for (size_t i = 0; i < strip.size();) {
                size_t run = 1;
                while (i + run < strip.size() && run < 128 && strip[i + run] == strip[i]) ++run;
                if (run >= 2) {
                    packed.push_back(static_cast<uint8_t>(257 - run));
                    packed.push_back(strip[i]);
                    i += run;
                    continue;
                }
                size_t start = i;
                while (i < strip.size() && i - start < 128 &&
                       !(i + 1 < strip.size() && strip[i] == strip[i + 1]))
                    ++i;
                packed.push_back(static_cast<uint8_t>(i - start - 1));
                packed.insert(packed.end(), strip.begin() + start, strip.begin() + i);
            }
            strip.swap(packed);
        }
        offsets.push_back(static_cast<uint32_t>(out.size()));
        counts.push_back(static_cast<uint32_t>(strip.size()));
        out.insert(out.end(), strip.begin(), strip.end());
    }
    uint32_t offsetTable = static_cast<uint32_t>(out.size());
    for (uint32_t v : offsets) PutLe(out, v, 4);
    uint32_t countTable = static_cast<uint32_t>(out.size());
    for (uint32_t v : counts) PutLe(out, v, 4);
    uint32_t bits = static_cast<uint32_t>(out.size());
    for (int k = 0; k < 3; ++k) PutLe(out, 8, 2);
    uint32_t directory = static_cast<uint32_t>(out.size());
    for (int k = 0; k < 4; ++k) out[4 + k] = static_cast<uint8_t>(directory >> (8 * k));
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    const Entry entries[] = {{256, 3, 1, w},          {257, 3, 1, h},
                             {258, 3, 3, bits},       {259, 3, 1, packBits ? 32773u : 1u},
                             {262, 3, 1, 2},          {273, 4, 36, offsetTable},
                             {277, 3, 1, 3},          {278, 3, 1, rows},
                             {279, 4, 36, countTable}};
    PutLe(out, sizeof entries / sizeof entries[0], 2);
    for (const Entry& e : entries) {
        PutLe(out, e.tag, 2);
        PutLe(out, e.type, 2);
        PutLe(out, e.count, 4);
        PutLe(out, e.value, 4);
    }
    PutLe(out, 0, 4);
    std::string path =
        std::string("/tmp/bench_tiff_convert_") + (packBits ? "packbits" : "none") + ".tif";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
    return path;
}

void ConvertPicture(benchmark::State& state) {
    std::string path = WritePicture(state.range(0) != 0);
    for (auto _ : state) {
        ResetAllocRegistry();
        ResetFileRegistry();
        SetDefaultSettings();
        if (ConvertSourcePicture(path.c_str()) != 0) state.SkipWithError("conversion failed");
        FreeAllTracked();
        CloseAllTracked();
    }
    state.SetItemsProcessed(state.iterations() * 720 * 576);
    state.SetLabel(state.range(0) ? "PackBits" : "uncompressed");
    std::remove(path.c_str());
}
BENCHMARK(ConvertPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
