// PNG through libpng: every colour type and bit depth, interlaced or not,
// palette and tRNS transparency; 16-bit samples scaled (rounded) to 8 bits.
// Samples are taken as stored: no gamma or colour-profile transform.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "media/decoded_picture.h"
#include "media/picture_decoders.h"

namespace {

// Everything libpng's error path may touch: plain data only, because an error
// leaves the reading step by longjmp.
struct PngState {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    png_bytep* rows = nullptr;
    char message[256] = "";
};

void OnError(png_structp png, png_const_charp text) {
    PngState* s = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", text);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Runs one step; false when libpng raised an error inside it.
bool Step(PngState* s, void (*step)(PngState*)) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    step(s);
    return true;
}

void ReadHeader(PngState* s) {
    png_init_io(s->png, s->file);
    png_set_user_limits(s->png, kMaxPictureSide, kMaxPictureSide);
    png_read_info(s->png, s->info);
    s->width = png_get_image_width(s->png, s->info);
    s->height = png_get_image_height(s->png, s->info);
}

// Every form into 8-bit RGBA with straight alpha (255 where there is none).
void SetTransforms(PngState* s) {
    const int type = png_get_color_type(s->png, s->info);
    const int depth = png_get_bit_depth(s->png, s->info);
    if (depth == 16) png_set_scale_16(s->png);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s->png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(s->png);
    const bool transparent = png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;
    if (transparent) png_set_tRNS_to_alpha(s->png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(s->png);
    if ((type & PNG_COLOR_MASK_ALPHA) == 0 && !transparent)
        png_set_add_alpha(s->png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(s->png);
    png_read_update_info(s->png, s->info);
}

void ReadPixels(PngState* s) {
    png_read_image(s->png, s->rows);
    png_read_end(s->png, nullptr);
}

}  // namespace

bool DecodePng(const std::string& path, const Rgb8& background, RgbPicture* out,
               std::string* error) {
    PngState s;
    s.file = std::fopen(path.c_str(), "rb");
    if (s.file == nullptr) {
        *error = std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
    if (s.png != nullptr) s.info = png_create_info_struct(s.png);
    bool ok = s.info != nullptr && Step(&s, ReadHeader) &&
              SizeWithinLimits(s.width, s.height, error) && Step(&s, SetTransforms);
    std::vector<uint8_t> rgba;
    std::vector<png_bytep> rows;
    if (ok && png_get_rowbytes(s.png, s.info) != size_t{s.width} * 4) {
        std::snprintf(s.message, sizeof s.message, "unexpected row layout after conversion");
        ok = false;
    }
    if (ok) {
        rgba.resize(size_t{s.width} * s.height * 4);
        rows.resize(s.height);
        for (png_uint_32 r = 0; r < s.height; ++r) rows[r] = rgba.data() + size_t{r} * s.width * 4;
        s.rows = rows.data();
        ok = Step(&s, ReadPixels);
    }
    png_destroy_read_struct(&s.png, s.info != nullptr ? &s.info : nullptr, nullptr);
    std::fclose(s.file);
    if (!ok) {
        if (error->empty()) *error = std::string("PNG cannot be decoded: ") + s.message;
        return false;
    }
    out->width = static_cast<int>(s.width);
    out->height = static_cast<int>(s.height);
    out->rgb.resize(size_t{s.width} * s.height * 3);
    const uint8_t* p = rgba.data();
    uint8_t* q = out->rgb.data();
    for (size_t n = 0; n < size_t{s.width} * s.height; ++n, p += 4) {
        *q++ = OverStraight(p[0], p[3], background.r);
        *q++ = OverStraight(p[1], p[3], background.g);
        *q++ = OverStraight(p[2], p[3], background.b);
    }
    return true;
}
