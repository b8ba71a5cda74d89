// JPEG through libjpeg-turbo: baseline and progressive, grey, YCbCr, RGB, CMYK
// and YCCK. A file that ends early or whose entropy-coded data is damaged is
// refused rather than shown with the grey patches libjpeg fills in. Samples are
// taken as stored: an Exif orientation or a colour profile is not applied.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "media/decoded_picture.h"
#include "media/picture_decoders.h"

namespace {

struct JpegState {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    jmp_buf jump;
    FILE* file = nullptr;
    uint8_t* pixels = nullptr;  // output_width x output_height x components
    char message[JMSG_LENGTH_MAX] = "";
    int damaged = 0;  // warnings that mean lost picture data
};

JpegState* StateOf(j_common_ptr cinfo) { return static_cast<JpegState*>(cinfo->client_data); }

void OnError(j_common_ptr cinfo) {
    JpegState* s = StateOf(cinfo);
    (*cinfo->err->format_message)(cinfo, s->message);
    std::longjmp(s->jump, 1);
}

// Warnings are kept; all but stray bytes before a marker mean a damaged picture.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    JpegState* s = StateOf(cinfo);
    if (cinfo->err->msg_code == JWRN_EXTRANEOUS_DATA) return;
    if (s->damaged++ == 0) (*cinfo->err->format_message)(cinfo, s->message);
}

bool Step(JpegState* s, void (*step)(JpegState*)) {
    if (setjmp(s->jump)) return false;
    step(s);
    return true;
}

void ReadHeader(JpegState* s) {
    jpeg_stdio_src(&s->cinfo, s->file);
    jpeg_read_header(&s->cinfo, TRUE);
    const J_COLOR_SPACE in = s->cinfo.jpeg_color_space;
    s->cinfo.out_color_space = (in == JCS_CMYK || in == JCS_YCCK) ? JCS_CMYK : JCS_RGB;
}

void Start(JpegState* s) { jpeg_start_decompress(&s->cinfo); }

void ReadPixels(JpegState* s) {
    const size_t rowBytes = size_t{s->cinfo.output_width} * s->cinfo.output_components;
    while (s->cinfo.output_scanline < s->cinfo.output_height) {
        JSAMPROW row = s->pixels + rowBytes * s->cinfo.output_scanline;
        jpeg_read_scanlines(&s->cinfo, &row, 1);
    }
    jpeg_finish_decompress(&s->cinfo);
}

// Naive ink to light, as other tools do without a colour profile. Adobe writers
// store the inks inverted (255 = no ink), which is what libjpeg hands over.
uint8_t InkToLight(unsigned ink, unsigned black, bool inverted) {
    if (!inverted) {
        ink = 255 - ink;
        black = 255 - black;
    }
    return static_cast<uint8_t>((ink * black + 127) / 255);
}

}  // namespace

bool DecodeJpeg(const std::string& path, const Rgb8&, RgbPicture* out, std::string* error) {
    JpegState s;
    s.file = std::fopen(path.c_str(), "rb");
    if (s.file == nullptr) {
        *error = std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    s.cinfo.err = jpeg_std_error(&s.errors);
    s.errors.error_exit = OnError;
    s.errors.emit_message = OnMessage;
    jpeg_create_decompress(&s.cinfo);
    s.cinfo.client_data = &s;
    bool ok = Step(&s, ReadHeader) &&
              SizeWithinLimits(s.cinfo.image_width, s.cinfo.image_height, error) && Step(&s, Start);
    std::vector<uint8_t> pixels;
    if (ok && (s.cinfo.output_width != s.cinfo.image_width ||
               s.cinfo.output_height != s.cinfo.image_height ||
               (s.cinfo.output_components != 3 && s.cinfo.output_components != 4))) {
        std::snprintf(s.message, sizeof s.message, "unexpected output layout");
        ok = false;
    }
    if (ok) {
        pixels.resize(size_t{s.cinfo.output_width} * s.cinfo.output_height *
                      s.cinfo.output_components);
        s.pixels = pixels.data();
        ok = Step(&s, ReadPixels) && s.damaged == 0;
    }
    const bool cmyk = s.cinfo.out_color_space == JCS_CMYK;
    const bool inverted = s.cinfo.saw_Adobe_marker != 0;
    const int width = static_cast<int>(s.cinfo.output_width);
    const int height = static_cast<int>(s.cinfo.output_height);
    jpeg_destroy_decompress(&s.cinfo);
    std::fclose(s.file);
    if (!ok) {
        if (error->empty()) *error = std::string("JPEG cannot be decoded: ") + s.message;
        return false;
    }
    out->width = width;
    out->height = height;
    if (!cmyk) {
        out->rgb = std::move(pixels);
        return true;
    }
    out->rgb.resize(size_t{static_cast<unsigned>(width)} * static_cast<unsigned>(height) * 3);
    const uint8_t* p = pixels.data();
    uint8_t* q = out->rgb.data();
    for (size_t n = 0; n < out->rgb.size() / 3; ++n, p += 4) {
        *q++ = InkToLight(p[0], p[3], inverted);
        *q++ = InkToLight(p[1], p[3], inverted);
        *q++ = InkToLight(p[2], p[3], inverted);
    }
    return true;
}
