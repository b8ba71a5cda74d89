// Every form the command reads, through libvips: the loader of the form named by the first
// bytes (never one chosen by libvips from the name), the size checked from the header before a
// pixel is decoded, then upright by the EXIF orientation, an embedded colour profile converted
// to sRGB, 8 bits, alpha over the background.
#include <algorithm>
#include <memory>
#include <vector>

#include "media/decoded_picture.h"
#include "media/picture_decoders.h"
#include "media/vips_library.h"

namespace {

// Damaged or cut-off data fails the load rather than showing as grey patches.
constexpr VipsFailOn kFailOn = VIPS_FAIL_ON_ERROR;

// `shrink` (1, 2, 4 or 8) divides both sides while decoding, for JPEG and WebP alone.
int Load(const VipsLibrary& v, PictureFormat format, const char* path, VipsImage** out,
         int shrink = 1) {
    switch (format) {
        case PictureFormat::kPng:
            return v.pngload(path, out, "fail_on", kFailOn, nullptr);
        case PictureFormat::kJpeg:
            return v.jpegload(path, out, "fail_on", kFailOn, "shrink", shrink, nullptr);
        case PictureFormat::kTiff:
            return v.tiffload(path, out, "fail_on", kFailOn, nullptr);
        case PictureFormat::kGif:
            return v.gifload(path, out, "fail_on", kFailOn, nullptr);
        case PictureFormat::kWebp:
            return v.webpload(path, out, "fail_on", kFailOn, "scale", 1.0 / shrink, nullptr);
        case PictureFormat::kHeif:
        case PictureFormat::kAvif:
            return v.heifload(path, out, "fail_on", kFailOn, nullptr);
        default:
            break;
    }
    return -1;
}

// One step of the chain: `step` makes a new image from `image`'s, which it then holds.
template <typename Step>
bool Then(VipsRef* image, Step step) {
    VipsImage* next = nullptr;
    if (step(image->get(), &next) != 0) return false;
    image->reset(next);
    return true;
}

// 16-bit samples to 8 rounded to the nearest (value / 257), as other readers do; libvips's own
// conversions drop the low byte.
bool RoundToEightBits(const VipsLibrary& v, VipsRef* image) {
    const VipsInterpretation was = v.interpretation(image->get());
    const VipsInterpretation now = was == VIPS_INTERPRETATION_CMYK ? VIPS_INTERPRETATION_CMYK
                                   : v.bands(image->get()) <= 2    ? VIPS_INTERPRETATION_B_W
                                                                   : VIPS_INTERPRETATION_sRGB;
    return Then(image,
                [&](VipsImage* in, VipsImage** out) {
                    return v.linear1(in, out, 1.0 / 257, 0.5, "uchar", TRUE, nullptr);
                }) &&
           Then(image, [&](VipsImage* in, VipsImage** out) {
               return v.copy(in, out, "interpretation", now, nullptr);
           });
}

// The picture upright and in sRGB, noting in `facts` what was done. CMYK without a profile is
// left as inks for InksToLight.
bool Normalise(const VipsLibrary& v, VipsRef* image, PictureFacts* facts, bool* inks) {
    int orientation = 1;
    if (v.typeOf(image->get(), VIPS_META_ORIENTATION) != 0 &&
        v.getInt(image->get(), VIPS_META_ORIENTATION, &orientation) == 0 && orientation > 1 &&
        orientation <= 8) {
        if (!Then(image,
                  [&](VipsImage* in, VipsImage** out) { return v.autorot(in, out, nullptr); }))
            return false;
        facts->orientation = orientation;
    }
    if (v.typeOf(image->get(), VIPS_META_ICC_NAME) != 0) {
        // A profile lcms cannot use leaves the samples as they are, as other viewers do.
        facts->profileConverted = Then(image, [&](VipsImage* in, VipsImage** out) {
            return v.iccTransform(in, out, "srgb", "embedded", TRUE, "depth", 8, nullptr);
        });
        if (!facts->profileConverted) VipsError(v, "");
    }
    if (!facts->profileConverted && v.format(image->get()) == VIPS_FORMAT_USHORT &&
        !RoundToEightBits(v, image))
        return false;
    *inks = v.interpretation(image->get()) == VIPS_INTERPRETATION_CMYK;
    if (*inks) {
        return v.bands(image->get()) >= 4 &&
               Then(image,
                    [&](VipsImage* in, VipsImage** out) {
                        return v.extractBand(in, out, 0, "n", 4, nullptr);
                    }) &&
               Then(image, [&](VipsImage* in, VipsImage** out) {
                   return v.cast(in, out, VIPS_FORMAT_UCHAR, nullptr);
               });
    }
    return Then(image,
                [&](VipsImage* in, VipsImage** out) {
                    return v.colourspace(in, out, VIPS_INTERPRETATION_sRGB, nullptr);
                }) &&
           Then(image, [&](VipsImage* in, VipsImage** out) {
               return v.cast(in, out, VIPS_FORMAT_UCHAR, nullptr);
           });
}

// Inks without a profile to light the naive way other tools take: (255 - ink) x (255 - black).
void InksToLight(const std::vector<uint8_t>& cmyk, std::vector<uint8_t>* rgb) {
    rgb->resize(cmyk.size() / 4 * 3);
    uint8_t* q = rgb->data();
    for (size_t n = 0; n + 3 < cmyk.size(); n += 4) {
        const unsigned light = 255u - cmyk[n + 3];
        for (int k = 0; k < 3; ++k)
            *q++ = static_cast<uint8_t>(((255u - cmyk[n + k]) * light + 127) / 255);
    }
}

// Alpha over the background, and exactly three bands.
bool ThreeBands(const VipsLibrary& v, VipsRef* image, const Rgb8& background) {
    if (v.hasAlpha(image->get())) {
        const double colour[3] = {double(background.r), double(background.g), double(background.b)};
        VipsArrayDouble* under = v.arrayDouble(colour, 3);
        const bool ok = Then(image, [&](VipsImage* in, VipsImage** out) {
            return v.flatten(in, out, "background", under, nullptr);
        });
        v.areaUnref(reinterpret_cast<VipsArea*>(under));
        if (!ok) return false;
    }
    if (v.bands(image->get()) == 3) return true;
    return Then(image, [&](VipsImage* in, VipsImage** out) {
        return v.extractBand(in, out, 0, "n", 3, nullptr);
    });
}

bool CopyOut(const VipsLibrary& v, VipsImage* image, int bands, RgbPicture* out,
             std::string* error) {
    const int width = v.width(image), height = v.height(image);
    size_t size = 0;
    std::unique_ptr<void, void (*)(void*)> pixels(v.toMemory(image, &size), v.free);
    if (pixels == nullptr) {
        *error = VipsError(v, "cannot be decoded");
        return false;
    }
    if (v.bands(image) != bands || width <= 0 || height <= 0 ||
        size != size_t(width) * size_t(height) * size_t(bands)) {
        *error = "the decoder returned a picture of the wrong size";
        return false;
    }
    const uint8_t* p = static_cast<const uint8_t*>(pixels.get());
    out->width = width;
    out->height = height;
    out->rgb.assign(p, p + size);
    if (bands == 4) InksToLight(std::vector<uint8_t>(p, p + size), &out->rgb);
    return true;
}

// The largest shrink on load that leaves both sides at least `keepSides` samples; 1 for a form
// whose loader cannot shrink.
int ShrinkFor(PictureFormat format, int width, int height, int keepSides) {
    if ((format != PictureFormat::kJpeg && format != PictureFormat::kWebp) || keepSides <= 0)
        return 1;
    int shrink = 1;
    while (shrink < 8 && std::min(width, height) / (2 * shrink) >= keepSides) shrink *= 2;
    return shrink;
}

}  // namespace

bool DecodeWithVips(const std::string& path, PictureFormat format, const Rgb8& background,
                    RgbPicture* out, PictureFacts* facts, std::string* error, int keepSides) {
    const VipsLibrary* v = Vips(error);
    if (v == nullptr) return false;
    VipsImage* loaded = nullptr;
    const std::string name = PictureFormatName(format);
    if (Load(*v, format, path.c_str(), &loaded) != 0) {
        *error = name + " cannot be decoded: " + VipsError(*v, "no picture");
        return false;
    }
    VipsRef image(*v, loaded);
    const int width = v->width(loaded), height = v->height(loaded);
    if (!SizeWithinLimits(uint64_t(width), uint64_t(height), error)) return false;
    // The loader has read the header alone: a picture far larger than it will be scaled to is
    // read again, decoded at a fraction of its size.
    const int shrink = ShrinkFor(format, width, height, keepSides);
    if (shrink > 1) {
        if (Load(*v, format, path.c_str(), &loaded, shrink) != 0) {
            *error = name + " cannot be decoded: " + VipsError(*v, "no picture");
            return false;
        }
        image.reset(loaded);
    }
    facts->frames = format == PictureFormat::kGif || format == PictureFormat::kWebp ||
                            format == PictureFormat::kHeif || format == PictureFormat::kAvif
                        ? v->pages(loaded)
                        : 1;
    bool inks = false;
    if (!Normalise(*v, &image, facts, &inks) || (!inks && !ThreeBands(*v, &image, background))) {
        *error = name + " cannot be converted to RGB: " + VipsError(*v, "no conversion");
        return false;
    }
    const bool across = facts->orientation >= 5;  // turned a quarter: sides swapped
    facts->width = across ? height : width;
    facts->height = across ? width : height;
    if (!CopyOut(*v, image.get(), inks ? 4 : 3, out, error)) {
        *error = name + " cannot be decoded: " + *error;
        return false;
    }
    return true;
}
