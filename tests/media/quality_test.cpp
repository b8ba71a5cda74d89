// Quality of coded streams: SSIM of libmpeg2's decode against the planes the
// library coded, checked against ffmpeg's ssim filter; the quantiser range
// against the slice headers; the PNG preview against the source picture. The
// command's tests check the PSNR it reports against mpeg2dec's decode.
#include <cstdlib>

#include "media/picture_input.h"
#include "media/quality.h"
#include "media/reference_planes.h"
#include "media_test_support.h"

namespace {

// SSIM of luma as ffmpeg's ssim filter reports it for a stream against planes.
double FfmpegSsimY(const std::string& stream, const YuvPlanes& reference, const TempDir& dir) {
    std::vector<uint8_t> raw = reference.y;
    raw.insert(raw.end(), reference.cb.begin(), reference.cb.end());
    raw.insert(raw.end(), reference.cr.begin(), reference.cr.end());
    WriteFileBytes(dir / "reference.yuv", raw);
    const std::string size =
        std::to_string(reference.width) + "x" + std::to_string(reference.height);
    std::string out;
    RunCommand("ffmpeg -nostdin -hide_banner -f mpegvideo -i " + Q(stream) +
                   " -f rawvideo -pix_fmt yuv420p -s " + size + " -i " + Q(dir / "reference.yuv") +
                   " -lavfi ssim -f null - 2>&1",
               &out);
    const size_t at = out.find("SSIM Y:");
    return at == std::string::npos ? -1.0 : std::atof(out.c_str() + at + 7);
}

// The example photograph, whose flat areas make SSIM's constants matter.
TEST(Quality, MatchesIndependentMeasurements) {
    TempDir dir;
    const std::string tif = std::string(PICTOR_SOURCE_DIR) + "/examples/still/astronaut.tif";
    const std::string stream = EncodeTiff(dir.path, tif, true, false, 400000, 0);
    YuvPlanes reference;
    DecodedStream decoded;
    QualityReport report;
    std::string error;
    ASSERT_TRUE(ReferencePlanesFromTiff(tif, 0, &reference, &error)) << error;
    ASSERT_TRUE(DecodeMpeg2Stream(stream, &decoded, &error)) << error;
    EXPECT_EQ(decoded.frames, 1);
    EXPECT_EQ(decoded.decoderMessages, "");
    ASSERT_TRUE(ComparePlanes(reference, decoded.picture, &report, &error)) << error;
    YuvPlanes cut = decoded.picture;
    cut.height -= 16;
    EXPECT_FALSE(ComparePlanes(reference, cut, &report, &error));

    EXPECT_NEAR(report.psnrAverage, (6 * report.psnrY + report.psnrCb + report.psnrCr) / 8, 0.01);
    EXPECT_NEAR(report.ssimY, FfmpegSsimY(stream, reference, dir), 1e-4);

    // The quantiser of every slice: linear quantiser_scale, so even, from 2 to 62.
    const QuantiserRange& q = decoded.quantiser;
    ASSERT_TRUE(q.known);
    EXPECT_GE(q.min, 2);
    EXPECT_LE(q.max, 62);
    EXPECT_EQ(q.min % 2, 0);
    EXPECT_EQ(q.max % 2, 0);

    // The preview shows video levels.
    const std::string png = dir / "preview.png";
    WriteFileText(png, "an older preview");
    ASSERT_TRUE(WritePreviewPng(png, decoded.picture, &error)) << error;
    RgbPicture preview, source;
    ASSERT_TRUE(ReadPicture(png, Rgb8{}, &preview, &error)) << error;
    ASSERT_TRUE(ReadPicture(tif, Rgb8{}, &source, &error)) << error;
    ASSERT_EQ(preview.rgb.size(), source.rgb.size());
    EXPECT_GT(PlanePsnr(preview.rgb.data(), source.rgb.data(), source.rgb.size()), 28.0);
    std::string listing;
    RunCommand("ls -A " + Q(dir.path), &listing);
    EXPECT_EQ(listing.find("preview.png."), std::string::npos) << listing;
}

}  // namespace
