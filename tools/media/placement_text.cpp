// Where a picture lies in the coded frame, told to authors in --json and in the summary.
#include <cmath>
#include <cstdio>
#include <numeric>

#include "media/fit.h"

namespace {

std::string Number(double v, bool always) {
    char text[64];
    if (!always && std::floor(v) == v && std::fabs(v) < 1e9) {
        std::snprintf(text, sizeof text, "%.0f", v);
    } else {
        std::snprintf(text, sizeof text, "%.6f", v);
    }
    return text;
}

std::string Pair(int a, int b) { return std::to_string(a) + "," + std::to_string(b); }

std::string Aspect(const Frame& f) {
    return std::to_string(f.aspectNum) + ":" + std::to_string(f.aspectDen);
}

}  // namespace

std::string PlacementJson(const PlacedPicture& p) {
    return std::string("\"placement\":{\"fit\":\"") + FitModeName(p.mode) + "\",\"source\":[" +
           Pair(p.sourceWidth, p.sourceHeight) + "],\"frame\":[" +
           Pair(p.frame.width, p.frame.height) + "],\"scale\":[" + Number(p.scaleX, true) + "," +
           Number(p.scaleY, true) + "],\"offset\":[" + Number(p.offsetX, false) + "," +
           Number(p.offsetY, false) + "],\"active\":[" + Pair(p.activeX, p.activeY) + "," +
           Pair(p.activeWidth, p.activeHeight) + "],\"pixelAspect\":\"" + Aspect(p.frame) + "\"}";
}

std::string PlacementText(const PlacedPicture& p) {
    if (p.mode == FitMode::kNone) {
        return "as it is, " + std::to_string(p.frame.width) + "x" + std::to_string(p.frame.height) +
               ", pixel aspect " + Aspect(p.frame);
    }
    return std::string(FitModeName(p.mode)) + ": " + std::to_string(p.activeWidth) + "x" +
           std::to_string(p.activeHeight) + " at " + Pair(p.activeX, p.activeY) + " of the " +
           std::to_string(p.frame.width) + "x" + std::to_string(p.frame.height) + " frame, scale " +
           Number(p.scaleX, true) + " x " + Number(p.scaleY, true) + ", source origin at " +
           Number(p.offsetX, false) + "," + Number(p.offsetY, false) + ", pixel aspect " +
           Aspect(p.frame);
}

PlacedPicture AsItIs(int width, int height, const Frame& jobFrame) {
    PlacedPicture p = DescribePlacement(width, height, FitMode::kNone, jobFrame);
    // Samples of a narrower or shorter size cover as much of the display as the frame's
    // 720 (or 704) across and all its lines.
    const int64_t across = width >= 704 ? jobFrame.width : width;
    int64_t num = int64_t{jobFrame.aspectNum} * jobFrame.width * height;
    int64_t den = int64_t{jobFrame.aspectDen} * across * jobFrame.height;
    const int64_t g = std::gcd(num, den);
    p.frame.width = width;
    p.frame.height = height;
    p.frame.aspectNum = static_cast<int>(num / (g > 0 ? g : 1));
    p.frame.aspectDen = static_cast<int>(den / (g > 0 ? g : 1));
    p.activeWidth = width;
    p.activeHeight = height;
    return p;
}
