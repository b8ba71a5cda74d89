#include "media/safe_area.h"

#include <algorithm>
#include <cstddef>

namespace {

bool PalHeight(int height) {
    return height == 576 || height == 288 || height == 144 || height == 80;
}

void Outline(const SafeRect& r, int width, int height, const uint8_t colour[3],
             std::vector<uint8_t>* rgb) {
    auto put = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        std::copy_n(colour, 3, rgb->data() + (size_t(y) * width + x) * 3);
    };
    for (int x = r.x; x < r.x + r.width; ++x) {
        put(x, r.y);
        put(x, r.y + r.height - 1);
    }
    for (int y = r.y; y < r.y + r.height; ++y) {
        put(r.x, y);
        put(r.x + r.width - 1, y);
    }
}

}  // namespace

SafeRect SafeArea(int width, int height, int percent) {
    const int activeOf720 = PalHeight(height) ? 702 : 704;
    // Narrower sizes (352, 176, 96) sample the middle 704 samples of the line more sparsely.
    const int active =
        width >= 704 ? std::min(width, activeOf720) : (width * activeOf720 + 352) / 704;
    SafeRect r;
    r.width = (active * percent + 50) / 100;
    r.height = (height * percent + 50) / 100;
    r.x = (width - r.width) / 2;
    r.y = (height - r.height) / 2;
    return r;
}

void DrawSafeAreas(int width, int height, std::vector<uint8_t>* rgb) {
    if (width <= 0 || height <= 0 || rgb->size() != size_t(width) * size_t(height) * 3) return;
    static const uint8_t kAction[3] = {200, 200, 200};
    static const uint8_t kTitle[3] = {255, 220, 0};
    Outline(SafeArea(width, height, 90), width, height, kAction, rgb);
    Outline(SafeArea(width, height, 80), width, height, kTitle, rgb);
}
