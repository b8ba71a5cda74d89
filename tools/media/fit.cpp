#include "media/fit.h"

#include <algorithm>
#include <memory>

#include "door/library_door.h"
#include "media/av_log_capture.h"
#include "media/scaler.h"

namespace {

// a * b / c rounded to the nearest integer (halves up), all positive, in 64 bits.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c) { return (2 * a * b + c) / (2 * c); }

int AtLeastOne(int64_t v) { return v < 1 ? 1 : static_cast<int>(v); }

struct AvFree {
    const ScalerLibrary* library;
    void operator()(uint8_t* p) const { library->free(p); }
};
using AvBuffer = std::unique_ptr<uint8_t, AvFree>;

// Rows padded to 64 bytes, so libswscale's vector code reads aligned data.
int Stride(int width) { return (width + 63) / 64 * 64; }

// One 8-bit plane to another size; the same Lanczos filter for each of R, G, B,
// so no colour conversion takes place.
bool ScalePlanes(const ScalerLibrary& sws, const uint8_t* const source[3], int sourceStride,
                 int sourceWidth, int sourceHeight, uint8_t* const target[3], int targetStride,
                 int targetWidth, int targetHeight, std::string* error) {
    AvLogCapture log(sws);
    SwsContext* context =
        sws.getContext(sourceWidth, sourceHeight, AV_PIX_FMT_GRAY8, targetWidth, targetHeight,
                       AV_PIX_FMT_GRAY8, SWS_LANCZOS | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (context == nullptr) {
        *error = "libswscale cannot scale " + std::to_string(sourceWidth) + "x" +
                 std::to_string(sourceHeight) + " to " + std::to_string(targetWidth) + "x" +
                 std::to_string(targetHeight) + (log.text().empty() ? "" : ": " + log.text());
        return false;
    }
    bool ok = true;
    for (int k = 0; k < 3 && ok; ++k) {
        const uint8_t* in[4] = {source[k], nullptr, nullptr, nullptr};
        const int inStride[4] = {sourceStride, 0, 0, 0};
        uint8_t* out[4] = {target[k], nullptr, nullptr, nullptr};
        const int outStride[4] = {targetStride, 0, 0, 0};
        ok = sws.scale(context, in, inStride, 0, sourceHeight, out, outStride) == targetHeight;
    }
    sws.freeContext(context);
    if (!ok) *error = "libswscale failed" + (log.text().empty() ? "" : ": " + log.text());
    return ok;
}

}  // namespace

bool ParseFitMode(const std::string& text, FitMode* mode) {
    if (text == "pad") {
        *mode = FitMode::kPad;
    } else if (text == "crop") {
        *mode = FitMode::kCrop;
    } else if (text == "stretch") {
        *mode = FitMode::kStretch;
    } else {
        return false;
    }
    return true;
}

Frame FrameFor(bool pal, bool wide) {
    Frame f;
    // The whole frame: the widest and the tallest of the standard's sizes in the library's table.
    f.width = 0;
    f.height = 0;
    for (const PictureWidth& w : kPictureWidths) f.width = std::max<int>(f.width, w.samples);
    for (const PictureHeight& h : kPictureHeights) {
        if (h.pal == pal) f.height = std::max<int>(f.height, h.rows);
    }
    f.activeWidth = pal ? 702 : 704;
    if (pal) {
        f.aspectNum = wide ? 118 : 59;
        f.aspectDen = wide ? 81 : 54;
    } else {
        f.aspectNum = wide ? 40 : 10;
        f.aspectDen = wide ? 33 : 11;
    }
    return f;
}

Placement PlacePicture(int width, int height, FitMode mode, const Frame& frame) {
    Placement p;
    if (mode == FitMode::kStretch || width <= 0 || height <= 0) {
        p.width = frame.width;
        p.height = frame.height;
        return p;
    }
    // Samples across for h lines at the picture's own display aspect:
    // w = h x (width / height) / (num / den).
    const int64_t num = frame.aspectNum, den = frame.aspectDen;
    const int64_t across = MulDivRound(int64_t{frame.height} * width, den, int64_t{height} * num);
    const int64_t boxWidth = mode == FitMode::kPad ? frame.activeWidth : frame.width;
    const bool widthBound = mode == FitMode::kPad ? across > boxWidth : across < boxWidth;
    if (widthBound) {
        p.width = static_cast<int>(boxWidth);
        p.height = AtLeastOne(MulDivRound(boxWidth * height, num, int64_t{width} * den));
    } else {
        p.width = AtLeastOne(across);
        p.height = frame.height;
    }
    p.x = (frame.width - p.width) / 2;
    p.y = (frame.height - p.height) / 2;
    return p;
}

Rgb8 StudioBlack(int levelMode) {
    const uint8_t v = (levelMode == 1 || levelMode == 2) ? 16 : 0;
    return Rgb8{v, v, v};
}

namespace {

// A rectangle of a picture, in samples.
struct Window {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The part of the source that shows (all of it, except where crop cuts it off), and where
// in the frame it goes.
void PlaceWindows(const RgbPicture& in, FitMode mode, const Frame& frame, Window* shown,
                  Window* into) {
    const Placement place = PlacePicture(in.width, in.height, mode, frame);
    *shown = Window{0, 0, in.width, in.height};
    *into = Window{place.x, place.y, place.width, place.height};
    if (mode != FitMode::kCrop) return;
    const int64_t w = place.width, h = place.height;
    shown->x = static_cast<int>(MulDivRound(-int64_t{place.x}, in.width, w));
    shown->y = static_cast<int>(MulDivRound(-int64_t{place.y}, in.height, h));
    shown->width = std::min(in.width - shown->x, AtLeastOne(MulDivRound(frame.width, in.width, w)));
    shown->height =
        std::min(in.height - shown->y, AtLeastOne(MulDivRound(frame.height, in.height, h)));
    *into = Window{0, 0, frame.width, frame.height};
}

// The window `shown` of the picture as three planes, R, G and B.
void SplitPlanes(const RgbPicture& in, const Window& shown, uint8_t* const planes[3], int stride) {
    for (int r = 0; r < shown.height; ++r) {
        const uint8_t* p = in.rgb.data() + (size_t(shown.y + r) * in.width + shown.x) * 3;
        for (int c = 0; c < shown.width; ++c, p += 3) {
            for (int k = 0; k < 3; ++k) planes[k][size_t(r) * stride + c] = p[k];
        }
    }
}

// The frame in `padColour`, the scaled planes in the window `into`.
RgbPicture Framed(const Frame& frame, const Rgb8& padColour, const uint8_t* const planes[3],
                  int stride, const Window& into) {
    RgbPicture framed;
    framed.width = frame.width;
    framed.height = frame.height;
    framed.rgb.resize(size_t(frame.width) * frame.height * 3);
    for (size_t n = 0; n < framed.rgb.size(); n += 3) {
        framed.rgb[n] = padColour.r;
        framed.rgb[n + 1] = padColour.g;
        framed.rgb[n + 2] = padColour.b;
    }
    for (int r = 0; r < into.height; ++r) {
        uint8_t* q = framed.rgb.data() + (size_t(into.y + r) * frame.width + into.x) * 3;
        for (int c = 0; c < into.width; ++c, q += 3) {
            for (int k = 0; k < 3; ++k) q[k] = planes[k][size_t(r) * stride + c];
        }
    }
    return framed;
}

}  // namespace

bool FitPicture(const RgbPicture& in, FitMode mode, const Frame& frame, const Rgb8& padColour,
                RgbPicture* out, std::string* error) {
    const uint64_t pixels =
        uint64_t{static_cast<uint32_t>(in.width)} * static_cast<uint32_t>(in.height);
    if (in.width <= 0 || in.height <= 0 || in.rgb.size() != pixels * 3 ||
        pixels > kMaxPicturePixels) {
        *error = "no picture to fit";
        return false;
    }
    if (frame.width <= 0 || frame.height <= 0 || frame.width > 4096 || frame.height > 4096) {
        *error = "the frame size is out of range";
        return false;
    }
    const ScalerLibrary* sws = Scaler(error);
    if (sws == nullptr) return false;
    Window shown, into;
    PlaceWindows(in, mode, frame, &shown, &into);
    const int srcStride = Stride(shown.width), dstStride = Stride(into.width);
    AvBuffer source[3] = {AvBuffer(nullptr, {sws}), AvBuffer(nullptr, {sws}),
                          AvBuffer(nullptr, {sws})};
    AvBuffer target[3] = {AvBuffer(nullptr, {sws}), AvBuffer(nullptr, {sws}),
                          AvBuffer(nullptr, {sws})};
    uint8_t* sourcePlanes[3];
    uint8_t* targetPlanes[3];
    for (int k = 0; k < 3; ++k) {
        source[k].reset(static_cast<uint8_t*>(sws->malloc(size_t(srcStride) * shown.height)));
        target[k].reset(static_cast<uint8_t*>(sws->malloc(size_t(dstStride) * into.height)));
        if (source[k] == nullptr || target[k] == nullptr) {
            *error = "out of memory";
            return false;
        }
        sourcePlanes[k] = source[k].get();
        targetPlanes[k] = target[k].get();
    }
    SplitPlanes(in, shown, sourcePlanes, srcStride);
    if (!ScalePlanes(*sws, sourcePlanes, srcStride, shown.width, shown.height, targetPlanes,
                     dstStride, into.width, into.height, error))
        return false;
    *out = Framed(frame, padColour, targetPlanes, dstStride, into);
    return true;
}
