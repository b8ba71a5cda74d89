#include "media/vertical_filter.h"

#include <cstddef>
#include <vector>

void SoftenLines(RgbPicture* picture) {
    const int height = picture->height;
    const size_t row = size_t(picture->width > 0 ? picture->width : 0) * 3;
    if (height < 2 || picture->rgb.size() != row * size_t(height)) return;
    const std::vector<uint8_t> in = picture->rgb;
    for (int y = 0; y < height; ++y) {
        const uint8_t* above = in.data() + row * size_t(y > 0 ? y - 1 : 0);
        const uint8_t* here = in.data() + row * size_t(y);
        const uint8_t* below = in.data() + row * size_t(y + 1 < height ? y + 1 : y);
        uint8_t* out = picture->rgb.data() + row * size_t(y);
        for (size_t i = 0; i < row; ++i) {
            out[i] = static_cast<uint8_t>((above[i] + 2 * here[i] + below[i] + 2) / 4);
        }
    }
}
