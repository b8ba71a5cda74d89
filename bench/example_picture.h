// Pictures for the benchmarks as the conversion hands them over (chroma half width, full
// height): the repository's example photograph, and pictures made here.
#ifndef PICTOR_BENCH_EXAMPLE_PICTURE_H
#define PICTOR_BENCH_EXAMPLE_PICTURE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "convert/convert_source.h"
#include "convert/planes.h"
#include "support/files.h"
#include "support/planes_job.h"
#include "support/state.h"

constexpr int kBenchWidth = 720;
constexpr int kBenchHeight = 576;

struct BenchPicture {
    std::vector<uint8_t> y, cb, cr;
    bool ready() const { return !y.empty(); }
};

inline uint8_t ClampSample(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// BT.601 studio levels in integers; each pair of pixels shares the mean of its chroma.
inline BenchPicture FromRgb(const std::vector<uint8_t>& rgb) {
    BenchPicture p;
    p.y.resize(kBenchWidth * kBenchHeight);
    p.cb.resize(kBenchWidth / 2 * kBenchHeight);
    p.cr.resize(kBenchWidth / 2 * kBenchHeight);
    for (int i = 0; i < kBenchWidth * kBenchHeight; i += 2) {
        int cb = 0, cr = 0;
        for (int k = i; k < i + 2; ++k) {
            const int r = rgb[3 * k], g = rgb[3 * k + 1], b = rgb[3 * k + 2];
            p.y[k] = ClampSample((66 * r + 129 * g + 25 * b + 128) / 256 + 16);
            cb += (-38 * r - 74 * g + 112 * b + 128) / 256 + 128;
            cr += (112 * r - 94 * g - 18 * b + 128) / 256 + 128;
        }
        p.cb[i / 2] = ClampSample((cb + 1) / 2);
        p.cr[i / 2] = ClampSample((cr + 1) / 2);
    }
    return p;
}

// examples/still/astronaut.tif (720 x 576) through ImageMagick; empty, after a message on
// standard error, when the file or the converter is missing.
inline BenchPicture ReadExamplePicture() {
    const std::string path = PICTOR_SOURCE_DIR "/examples/still/astronaut.tif";
    if (!FileExists(path)) {
        std::fprintf(stderr, "benchmark: the example picture %s is missing\n", path.c_str());
        return BenchPicture{};
    }
    TempDir dir;
    RunCommand("convert '" + path + "' -depth 8 'rgb:" + dir / "a.rgb" + "'");
    const std::vector<uint8_t> rgb = ReadFileBytes(dir / "a.rgb");
    if (rgb.size() != static_cast<size_t>(kBenchWidth) * kBenchHeight * 3) {
        std::fprintf(stderr, "benchmark: ImageMagick's convert could not read %s\n", path.c_str());
        return BenchPicture{};
    }
    return FromRgb(rgb);
}

// examples/still/astronaut.tif as the library's own conversion gives it; empty, after a message
// on standard error, when the file does not convert.
inline BenchPicture ConvertExamplePicture() {
    const std::string path = PICTOR_SOURCE_DIR "/examples/still/astronaut.tif";
    BenchPicture p;
    ResetAllState();
    if (ConvertSourcePicture(path.c_str()) != 0) {
        std::fprintf(stderr, "benchmark: the example picture %s does not convert\n", path.c_str());
        ResetAllState();
        return p;
    }
    const size_t luma = static_cast<size_t>(kBenchWidth) * kBenchHeight;
    p.y.assign(tPlanes->y, tPlanes->y + luma);
    p.cb.assign(tPlanes->cb, tPlanes->cb + luma / 2);
    p.cr.assign(tPlanes->cr, tPlanes->cr + luma / 2);
    ResetAllState();
    return p;
}

inline PlanesJob JobOf(const BenchPicture& p, int32_t target, const std::string& streamPath) {
    return PlanesJob{kBenchWidth,       kBenchHeight, p.y.data(), p.cb.data(),
                     p.cr.data(),       target,       1,          0,
                     streamPath.c_str()};
}
// The job keeps the path's characters, not a copy: a temporary path would leave it dangling.
PlanesJob JobOf(const BenchPicture& p, int32_t target, std::string&& streamPath) = delete;

#endif
