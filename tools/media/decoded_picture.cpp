#include "media/decoded_picture.h"

bool SizeWithinLimits(uint64_t width, uint64_t height, std::string* error) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width == 0 || height == 0) {
        *error = "the picture is empty (" + size + ")";
        return false;
    }
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
        *error = "the picture is too large (" + size + "; at most " +
                 std::to_string(kMaxPicturePixels >> 20) + " megapixels, sides up to " +
                 std::to_string(kMaxPictureSide) + ")";
        return false;
    }
    return true;
}
