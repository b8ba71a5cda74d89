#include "media/fit.h"

#include <algorithm>
#include <memory>

#include "door/library_door.h"
#include "media/vips_library.h"

namespace {

// a * b / c rounded to the nearest integer (halves up), all positive, in 64 bits.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c) { return (2 * a * b + c) / (2 * c); }

int AtLeastOne(int64_t v) { return v < 1 ? 1 : static_cast<int>(v); }

}  // namespace

bool ParseFitMode(const std::string& text, FitMode* mode) {
    if (text == "pad") {
        *mode = FitMode::kPad;
    } else if (text == "crop") {
        *mode = FitMode::kCrop;
    } else if (text == "stretch") {
        *mode = FitMode::kStretch;
    } else if (text == "none") {
        *mode = FitMode::kNone;
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
        // A picture within a line of the frame's own shape fills every line: bars of half a
        // line would leave one row of the pad colour.
        if (mode == FitMode::kPad && frame.height - p.height < 2) p.height = frame.height;
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
// in the frame it goes. The frame is placed by the size in the file, `sourceWidth` x
// `sourceHeight`, of which `in` may be a shrunk decode.
void PlaceWindows(const RgbPicture& in, int sourceWidth, int sourceHeight, FitMode mode,
                  const Frame& frame, Window* shown, Window* into) {
    const Placement place = PlacePicture(sourceWidth, sourceHeight, mode, frame);
    *shown = Window{0, 0, in.width, in.height};
    *into = Window{place.x, place.y, place.width, place.height};
    if (mode != FitMode::kCrop) return;
    // The placed picture's w x h frame samples span all of `in`, whatever its decoded size.
    const int64_t w = place.width, h = place.height;
    shown->x = static_cast<int>(MulDivRound(-int64_t{place.x}, in.width, w));
    shown->y = static_cast<int>(MulDivRound(-int64_t{place.y}, in.height, h));
    shown->width = std::min(in.width - shown->x, AtLeastOne(MulDivRound(frame.width, in.width, w)));
    shown->height =
        std::min(in.height - shown->y, AtLeastOne(MulDivRound(frame.height, in.height, h)));
    *into = Window{0, 0, frame.width, frame.height};
}

// `image` exactly `width` x `height`: libvips rounds its output size, so a sample short is
// repeated from the edge and one over is cut.
bool ExactSize(const VipsLibrary& v, VipsRef* image, int width, int height) {
    if (v.width(image->get()) == width && v.height(image->get()) == height) return true;
    VipsImage* next = nullptr;
    const int w = std::min(width, v.width(image->get())),
              h = std::min(height, v.height(image->get()));
    if (v.extractArea(image->get(), &next, 0, 0, w, h, nullptr) != 0) return false;
    image->reset(next);
    if (w == width && h == height) return true;
    if (v.embed(image->get(), &next, 0, 0, width, height, "extend", VIPS_EXTEND_COPY, nullptr) != 0)
        return false;
    image->reset(next);
    return true;
}

// The window `shown` of `in` scaled to `into`'s size by libvips's Lanczos resampling, which
// takes any ratio in either direction on its own.
bool ScaleWindow(const RgbPicture& in, const Window& shown, const Window& into,
                 std::vector<uint8_t>* scaled, std::string* error) {
    const VipsLibrary* v = Vips(error);
    if (v == nullptr) return false;
    VipsRef image(
        *v, v->fromMemory(in.rgb.data(), in.rgb.size(), in.width, in.height, 3, VIPS_FORMAT_UCHAR));
    VipsImage* next = nullptr;
    bool ok = image.get() != nullptr;
    if (ok && (shown.width != in.width || shown.height != in.height)) {
        ok = v->extractArea(image.get(), &next, shown.x, shown.y, shown.width, shown.height,
                            nullptr) == 0;
        if (ok) image.reset(next);
    }
    if (ok) {
        const double h = double(into.width) / shown.width, vs = double(into.height) / shown.height;
        ok = v->resize(image.get(), &next, h, "vscale", vs, "kernel", VIPS_KERNEL_LANCZOS3,
                       nullptr) == 0;
        if (ok) image.reset(next);
    }
    ok = ok && ExactSize(*v, &image, into.width, into.height);
    size_t size = 0;
    std::unique_ptr<void, void (*)(void*)> pixels(ok ? v->toMemory(image.get(), &size) : nullptr,
                                                  v->free);
    if (pixels == nullptr || size != size_t(into.width) * size_t(into.height) * 3) {
        *error = "libvips cannot scale " + std::to_string(shown.width) + "x" +
                 std::to_string(shown.height) + " to " + std::to_string(into.width) + "x" +
                 std::to_string(into.height) + ": " + VipsError(*v, "no picture");
        return false;
    }
    const uint8_t* p = static_cast<const uint8_t*>(pixels.get());
    scaled->assign(p, p + size);
    return true;
}

// The frame in `padColour`, the scaled picture in the window `into`.
RgbPicture Framed(const Frame& frame, const Rgb8& padColour, const std::vector<uint8_t>& scaled,
                  const Window& into) {
    RgbPicture framed;
    framed.width = frame.width;
    framed.height = frame.height;
    framed.rgb.resize(size_t(frame.width) * frame.height * 3);
    for (size_t n = 0; n < framed.rgb.size(); n += 3) {
        framed.rgb[n] = padColour.r;
        framed.rgb[n + 1] = padColour.g;
        framed.rgb[n + 2] = padColour.b;
    }
    const size_t rowBytes = size_t(into.width) * 3;
    for (int r = 0; r < into.height; ++r) {
        std::copy_n(scaled.data() + size_t(r) * rowBytes, rowBytes,
                    framed.rgb.data() + (size_t(into.y + r) * frame.width + into.x) * 3);
    }
    return framed;
}

}  // namespace

const char* FitModeName(FitMode mode) {
    switch (mode) {
        case FitMode::kPad:
            return "pad";
        case FitMode::kCrop:
            return "crop";
        case FitMode::kStretch:
            return "stretch";
        case FitMode::kNone:
            break;
    }
    return "none";
}

PlacedPicture DescribePlacement(int width, int height, FitMode mode, const Frame& frame) {
    PlacedPicture p;
    p.known = true;
    p.frame = frame;
    p.mode = mode;
    p.sourceWidth = width;
    p.sourceHeight = height;
    p.activeWidth = frame.width;
    p.activeHeight = frame.height;
    if (mode == FitMode::kNone || width <= 0 || height <= 0) return p;
    RgbPicture header;  // the size alone decides the windows
    header.width = width;
    header.height = height;
    Window shown, into;
    PlaceWindows(header, width, height, mode, frame, &shown, &into);
    p.scaleX = double(into.width) / shown.width;
    p.scaleY = double(into.height) / shown.height;
    p.offsetX = into.x - shown.x * p.scaleX;
    p.offsetY = into.y - shown.y * p.scaleY;
    p.activeX = into.x;
    p.activeY = into.y;
    p.activeWidth = into.width;
    p.activeHeight = into.height;
    return p;
}

bool FitPicture(const RgbPicture& in, FitMode mode, const Frame& frame, const Rgb8& padColour,
                RgbPicture* out, std::string* error, int sourceWidth, int sourceHeight) {
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
    Window shown, into;
    const bool shrunk = sourceWidth > 0 && sourceHeight > 0;
    PlaceWindows(in, shrunk ? sourceWidth : in.width, shrunk ? sourceHeight : in.height, mode,
                 frame, &shown, &into);
    std::vector<uint8_t> scaled;
    if (!ScaleWindow(in, shown, into, &scaled, error)) return false;
    *out = Framed(frame, padColour, scaled, into);
    return true;
}
