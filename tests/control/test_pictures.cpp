#include "control/test_pictures.h"

#include <cstdio>
#include <map>
#include <utility>

#include "support/files.h"

namespace {

uint8_t Clamp(double v) { return static_cast<uint8_t>(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v + 0.5)); }

// Studio-range BT.601 from RGB, chroma averaged over horizontal pairs.
void FromRgb(const std::vector<uint8_t>& rgb, SourcePicture* p) {
    const int w = p->width;
    p->y.resize(static_cast<size_t>(w) * p->height);
    p->cb.resize(static_cast<size_t>(w / 2) * p->height);
    p->cr.resize(p->cb.size());
    for (int row = 0; row < p->height; ++row) {
        for (int col = 0; col < w; col += 2) {
            double cb = 0.0, cr = 0.0;
            for (int k = 0; k < 2; ++k) {
                const uint8_t* px = &rgb[(static_cast<size_t>(row) * w + col + k) * 3];
                const double r = px[0], g = px[1], b = px[2];
                p->y[static_cast<size_t>(row) * w + col + k] = Clamp(16.0 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0);
                cb += 128.0 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0;
                cr += 128.0 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0;
            }
            p->cb[static_cast<size_t>(row) * (w / 2) + col / 2] = Clamp(cb / 2.0);
            p->cr[static_cast<size_t>(row) * (w / 2) + col / 2] = Clamp(cr / 2.0);
        }
    }
}

std::vector<uint8_t> NaturalRgb(int width, int height) {
    static std::map<std::pair<int, int>, std::vector<uint8_t>> cache;
    auto key = std::make_pair(width, height);
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    TempDir dir;
    const std::string raw = dir / "picture.rgb";
    const std::string command = "convert /work/shared/pictures/astronaut_720x576.png -resize " + std::to_string(width) +
                                "x" + std::to_string(height) + "! -depth 8 rgb:'" + raw + "' 2>&1";
    std::string log;
    RunCommand(command, &log);
    std::vector<uint8_t> rgb = ReadFileBytes(raw);
    if (rgb.size() != static_cast<size_t>(width) * height * 3) rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    cache[key] = rgb;
    return rgb;
}

}  // namespace

SourcePicture MakePicture(PictureKind kind, int width, int height) {
    SourcePicture p;
    p.width = width;
    p.height = height;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint32_t seed = 12345;
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            uint8_t* px = &rgb[(static_cast<size_t>(row) * width + col) * 3];
            switch (kind) {
                case PictureKind::kFlatGrey:
                    px[0] = px[1] = px[2] = 128;
                    break;
                case PictureKind::kGradient:
                    px[0] = static_cast<uint8_t>(255 * col / (width - 1));
                    px[1] = static_cast<uint8_t>(255 * row / (height - 1));
                    px[2] = static_cast<uint8_t>(255 - 255 * (col + row) / (width + height - 2));
                    break;
                case PictureKind::kEdges: {
                    // Dark strokes two samples wide on a light page, in 12 x 16 character cells.
                    const int cx = col % 12, cy = row % 16;
                    const int glyph = (col / 12 * 7 + row / 16 * 3) % 5;
                    bool ink = cy >= 2 && cy < 14 &&
                               ((glyph == 0 && (cx < 2 || cx >= 8) && cx < 10) || (glyph == 1 && (cy < 4 || cy >= 12)) ||
                                (glyph == 2 && cx >= 4 && cx < 6) || (glyph == 3 && (cx - cy / 2 + 12) % 12 < 2) ||
                                (glyph == 4 && (cy >= 7 && cy < 9)));
                    px[0] = px[1] = px[2] = ink ? 20 : 235;
                    if (ink && row / 16 % 3 == 1) px[0] = 200;  // some red text
                    break;
                }
                case PictureKind::kNoise:
                    for (int k = 0; k < 3; ++k) {
                        seed = seed * 1103515245u + 12345u;
                        px[k] = static_cast<uint8_t>(seed >> 24);
                    }
                    break;
                case PictureKind::kNatural:
                    break;
            }
        }
    }
    if (kind == PictureKind::kNatural) rgb = NaturalRgb(width, height);
    FromRgb(rgb, &p);
    if (kind == PictureKind::kNoise) {
        // Full-range noise in every plane: the hardest picture there is to code.
        for (auto* plane : {&p.y, &p.cb, &p.cr}) {
            for (uint8_t& v : *plane) {
                seed = seed * 1103515245u + 12345u;
                v = static_cast<uint8_t>(seed >> 24);
            }
        }
    }
    return p;
}

const char* KindName(PictureKind kind) {
    switch (kind) {
        case PictureKind::kFlatGrey: return "flat";
        case PictureKind::kGradient: return "gradient";
        case PictureKind::kEdges: return "edges";
        case PictureKind::kNatural: return "natural";
        case PictureKind::kNoise: return "noise";
    }
    return "?";
}

PlanesJob JobFor(const SourcePicture& picture, int32_t target, const std::string& streamPath) {
    PlanesJob job{};
    job.width = picture.width;
    job.height = picture.height;
    job.y = picture.y.data();
    job.cb = picture.cb.data();
    job.cr = picture.cr.data();
    job.target = target;
    job.pal = picture.height % 288 == 0 || picture.height == 80 || picture.height == 144;
    job.wide = 0;
    job.streamPath = streamPath.c_str();
    return job;
}
