// Converting a 720 x 576 RGB TIFF into the picture planes, uncompressed and PackBits.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "convert/convert_source.h"
#include "runtime/registry.h"
#include "support/files.h"
#include "support/state.h"
#include "support/tiff_writer.h"

namespace {

// A 720 x 576 picture with smooth areas and detail, in strips of 16 rows.
std::vector<uint8_t> MakePicture(bool packBits) {
    const int w = 720, h = 576;
    std::vector<uint8_t> rgb;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const bool flat = (c / 64 + r / 64) % 2 == 0;
            rgb.push_back(static_cast<uint8_t>(flat ? 120 : c * 255 / w));
            rgb.push_back(static_cast<uint8_t>(flat ? 120 : r * 255 / h));
            rgb.push_back(static_cast<uint8_t>(flat ? 120 : (c ^ r) & 0xFF));
        }
    }
    TiffOptions options;
    options.rowsPerStrip = 16;
    options.packBits = packBits;
    return MakeRgbTiff(w, h, rgb, options);
}

void ConvertPicture(benchmark::State& state) {
    TempDir dir;
    const std::string path = dir / "picture.tif";
    WriteFileBytes(path, MakePicture(state.range(0) != 0));
    for (auto _ : state) {
        ResetAllState();
        if (ConvertSourcePicture(path.c_str()) != 0) state.SkipWithError("conversion failed");
        FreeAllTracked();
        CloseAllTracked();
    }
    state.SetItemsProcessed(state.iterations() * 720 * 576);
    state.SetLabel(state.range(0) ? "PackBits" : "uncompressed");
}
BENCHMARK(ConvertPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
