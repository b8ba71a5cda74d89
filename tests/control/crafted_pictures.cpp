#include "control/crafted_pictures.h"

#include <algorithm>
#include <cmath>

namespace {

uint32_t Next(uint32_t* seed) {
    *seed = *seed * 1103515245u + 12345u;
    return *seed;
}

}  // namespace

void FlatSpectrumBlock(uint8_t* dst, int stride, int amplitude, uint32_t* seed) {
    double f[64];
    for (double& v : f) v = (Next(seed) >> 31) != 0 ? amplitude : -amplitude;
    f[0] = 1020.0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            double s = 0.0;
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    const double cu = u != 0 ? 1.0 : std::sqrt(0.5), cv = v != 0 ? 1.0 : std::sqrt(0.5);
                    s += cu * cv / 4.0 * f[8 * v + u] * std::cos((2 * x + 1) * u * M_PI / 16.0) *
                         std::cos((2 * y + 1) * v * M_PI / 16.0);
                }
            }
            dst[y * stride + x] = static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, s))));
        }
    }
}

SourcePicture CostlyMacroblocks(int count) {
    SourcePicture p = MakePicture(PictureKind::kFlatGrey, 720, 576);
    uint32_t seed = 99;
    for (int m = 0; m < count; ++m) {
        const int mx = (m * 7 + 3) % 45, my = (m * 11 + 2) % 36;
        for (int b = 0; b < 4; ++b) FlatSpectrumBlock(&p.y[(my * 16 + b / 2 * 8) * 720 + mx * 16 + b % 2 * 8], 720, 100, &seed);
        uint8_t block[64];
        for (auto* plane : {&p.cb, &p.cr}) {
            FlatSpectrumBlock(block, 8, 100, &seed);
            // Each chroma row twice: the vertical decimation gives the block back nearly unchanged.
            for (int r = 0; r < 16; ++r) {
                for (int c = 0; c < 8; ++c) (*plane)[(my * 16 + r) * 360 + mx * 8 + c] = block[(r / 2) * 8 + c];
            }
        }
    }
    return p;
}

SourcePicture CostlyLastRow() {
    SourcePicture p = MakePicture(PictureKind::kNoise, 720, 576);
    uint32_t seed = 99;
    for (size_t i = 0; i < p.y.size(); ++i) p.y[i] = i / 720 < 560 ? 128 : (((Next(&seed) >> 24) & 1) != 0 ? 255 : 0);
    return p;
}
