#include "media_test_support.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "support/files.h"
#include "support/job_runner.h"

bool Make(const std::string& command) {
    std::string output;
    const int status = RunCommand(command + " 2>&1", &output);
    EXPECT_EQ(status, 0) << command << "\n" << output;
    return status == 0;
}

std::string Q(const std::string& path) { return "'" + path + "'"; }

RgbPicture DecodeWithImageMagick(const std::string& path, const std::string& background, int width,
                                 int height) {
    RgbPicture picture;
    const std::string raw = path + ".im.rgb";
    // [0]: the first picture of the file, as the decoders under test read it.
    if (!Make("convert " + Q(path + "[0]") + " -background '" + background +
              "' -alpha remove -alpha off -colorspace sRGB -depth 8 " + Q("rgb:" + raw)))
        return picture;
    picture.rgb = ReadFileBytes(raw);
    if (picture.rgb.size() != size_t(width) * height * 3) {
        picture.rgb.clear();
        return picture;
    }
    picture.width = width;
    picture.height = height;
    return picture;
}

int MaxDifference(const RgbPicture& a, const RgbPicture& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) return -1;
    int worst = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        worst = std::max(worst, std::abs(a.rgb[i] - b.rgb[i]));
    return worst;
}

std::string EncodeTiff(const std::string& workDir, const std::string& tiffPath, bool pal, bool wide,
                       int target, int levelMode) {
    mkdir((workDir + "/still").c_str(), 0755);
    WriteFileBytes(workDir + "/still/pic.tif", ReadFileBytes(tiffPath));
    WriteFileText(workDir + "/job.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE " +
                                           std::to_string(target) + "\nFRMRT " +
                                           (pal ? "PAL" : "NTSC") + "\nASPECT_RATIO " +
                                           (wide ? "16:9" : "4:3") + "\nPAN_SCAN OFF\n");
    JobOptions options;
    options.levelMode = levelMode;
    const JobOutcome outcome = RunPictor(workDir, "job.tp", options);
    EXPECT_EQ(outcome.result, 0) << outcome.errorText;
    return outcome.result == 0 ? workDir + "/job.ts" : "";
}

Extent ExtentAbove(const uint8_t* plane, int width, int height, int step, int threshold) {
    Extent e;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (plane[(size_t(y) * width + x) * step] <= threshold) continue;
            if (e.left < 0 || x < e.left) e.left = x;
            if (x > e.right) e.right = x;
            if (e.top < 0) e.top = y;
            e.bottom = y;
        }
    }
    return e;
}

RgbPicture DiscPicture(int width, int height, int radius) {
    RgbPicture p;
    p.width = width;
    p.height = height;
    p.rgb.assign(size_t(width) * height * 3, 128);
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy > double(radius) * radius) continue;
            std::memset(&p.rgb[(size_t(y) * width + x) * 3], 255, 3);
        }
    }
    return p;
}
