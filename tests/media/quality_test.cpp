// Quality of coded streams: PSNR and SSIM of libavcodec's decode against the
// planes the library coded, checked against independent computations from the
// ffmpeg command's decode (and its ssim filter) and mpeg2dec's; the quantiser
// range; the PNG preview; damaged streams.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/picture_input.h"
#include "media/quality.h"
#include "media/reference_planes.h"
#include "media_test_support.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/tiff_writer.h"

namespace {

std::string Astronaut() { return std::string(PICTOR_SOURCE_DIR) + "/examples/still/astronaut.tif"; }

// picture: "astronaut" (720 x 576) or "pattern" (the tests' test pattern, frame size).
struct QualityCase {
    const char* name;
    const char* picture;
    bool pal, wide;
    int width, height;
    int target;
    int levelMode;
};

void PrintTo(const QualityCase& c, std::ostream* os) { *os << c.name; }

const QualityCase kCases[] = {
    {"astronaut_pal_400k_video", "astronaut", true, false, 720, 576, 400000, 0},
    {"astronaut_pal_160k_video", "astronaut", true, false, 720, 576, 160000, 0},
    {"astronaut_pal_16x9_800k_full_wide", "astronaut", true, true, 720, 576, 800000, 1},
    {"astronaut_pal_1200k_full", "astronaut", true, false, 720, 576, 1200000, 2},
    {"pattern_ntsc_300k_video", "pattern", false, false, 720, 480, 300000, 0},
    {"pattern_ntsc_cif_200k_video", "pattern", false, false, 352, 240, 200000, 0},
};

// The picture as the library gets it, in `dir`.
std::string SourceTiff(const QualityCase& c, const std::string& dir) {
    if (std::string(c.picture) == "astronaut") return Astronaut();
    const std::string path = dir + "/pattern.tif";
    WriteFileBytes(path, MakeRgbTiff(c.width, c.height, TestPatternRgb(c.width, c.height)));
    return path;
}

void WriteYuv(const std::string& path, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
              int width, int height) {
    std::vector<uint8_t> bytes(y, y + size_t(width) * height);
    bytes.insert(bytes.end(), cb, cb + size_t(width / 2) * (height / 2));
    bytes.insert(bytes.end(), cr, cr + size_t(width / 2) * (height / 2));
    WriteFileBytes(path, bytes);
}

// SSIM of luma as ffmpeg's ssim filter reports it for two raw 4:2:0 files.
double FfmpegSsimY(const std::string& a, const std::string& b, int width, int height) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string raw = "-f rawvideo -pix_fmt yuv420p -s " + size + " -i ";
    std::string out;
    RunCommand("ffmpeg -nostdin -hide_banner " + raw + Q(a) + " " + raw + Q(b) +
                   " -lavfi ssim -f null - 2>&1",
               &out);
    const size_t at = out.find("SSIM Y:");
    return at == std::string::npos ? -1.0 : std::atof(out.c_str() + at + 7);
}

class Quality : public ::testing::TestWithParam<QualityCase> {};

TEST_P(Quality, MatchesIndependentMeasurements) {
    const QualityCase& c = GetParam();
    TempDir dir;
    const std::string tif = SourceTiff(c, dir.path);
    const std::string stream = EncodeTiff(dir.path, tif, c.pal, c.wide, c.target, c.levelMode);
    ASSERT_FALSE(stream.empty());

    YuvPlanes reference;
    std::string error;
    ASSERT_TRUE(ReferencePlanesFromTiff(tif, c.levelMode, &reference, &error)) << error;
    DecodedStream decoded;
    ASSERT_TRUE(DecodeMpeg2Stream(stream, &decoded, &error)) << error;
    EXPECT_EQ(decoded.frames, 1);
    EXPECT_EQ(decoded.decoderMessages, "");
    QualityReport report;
    ASSERT_TRUE(ComparePlanes(reference, decoded.picture, &report, &error)) << error;

    // The ffmpeg command's decode, measured by the tests' own PSNR.
    const DecoderVerdict verdict = DecodeStream(stream, c.width, c.height);
    ASSERT_EQ(DecoderProblems(verdict, c.width, c.height), "");
    const DecodedPicture& ff = verdict.ffmpeg;
    const double y = Psnr(reference.y.data(), ff.y.data(), ff.y.size());
    const double cb = Psnr(reference.cb.data(), ff.cb.data(), ff.cb.size());
    const double cr = Psnr(reference.cr.data(), ff.cr.data(), ff.cr.size());
    EXPECT_NEAR(report.psnrY, y, 0.01);
    EXPECT_NEAR(report.psnrCb, cb, 0.01);
    EXPECT_NEAR(report.psnrCr, cr, 0.01);
    EXPECT_NEAR(report.psnrAverage, (6 * y + cb + cr) / 8, 0.01);
    // mpeg2dec's inverse transform differs from ffmpeg's by a unit on some samples.
    const DecodedPicture& m2 = verdict.mpeg2dec;
    EXPECT_NEAR(report.psnrY, Psnr(reference.y.data(), m2.y.data(), m2.y.size()), 0.5);

    const std::string refYuv = dir / "reference.yuv", decYuv = dir / "ffmpeg.yuv";
    WriteYuv(refYuv, reference.y.data(), reference.cb.data(), reference.cr.data(), c.width,
             c.height);
    WriteYuv(decYuv, ff.y.data(), ff.cb.data(), ff.cr.data(), c.width, c.height);
    EXPECT_NEAR(report.ssimY, FfmpegSsimY(decYuv, refYuv, c.width, c.height), 1e-4);

    EXPECT_GT(report.psnrY, 30.0);
    EXPECT_GT(report.ssimY, 0.8);
    EXPECT_LE(report.ssimY, 1.0);

    // The quantiser: linear quantiser_scale, 2 to 62, even.
    const QuantiserRange& q = decoded.quantiser;
    ASSERT_TRUE(q.known);
    EXPECT_GE(q.min, 2);
    EXPECT_LE(q.min, q.max);
    EXPECT_LE(q.max, 62);
    EXPECT_EQ(q.min % 2, 0);
    EXPECT_EQ(q.max % 2, 0);
    if (!q.perMacroblock) {
        const QuantiserRange slices = SliceHeaderQuantisers(ReadFileBytes(stream));
        EXPECT_EQ(q.min, slices.min);
        EXPECT_EQ(q.max, slices.max);
    }
}

// Planes made in another level mode than the job's stand far from the decode:
// the reference follows the level mode (video levels against full range).
TEST_P(Quality, ReferenceFollowsTheLevelMode) {
    const QualityCase& c = GetParam();
    TempDir dir;
    const std::string tif = SourceTiff(c, dir.path);
    const std::string stream = EncodeTiff(dir.path, tif, c.pal, c.wide, c.target, c.levelMode);
    ASSERT_FALSE(stream.empty());
    YuvPlanes right, wrong;
    DecodedStream decoded;
    std::string error;
    ASSERT_TRUE(ReferencePlanesFromTiff(tif, c.levelMode, &right, &error)) << error;
    ASSERT_TRUE(ReferencePlanesFromTiff(tif, c.levelMode == 0 ? 1 : 0, &wrong, &error)) << error;
    ASSERT_TRUE(DecodeMpeg2Stream(stream, &decoded, &error)) << error;
    QualityReport good, bad;
    ASSERT_TRUE(ComparePlanes(right, decoded.picture, &good, &error)) << error;
    ASSERT_TRUE(ComparePlanes(wrong, decoded.picture, &bad, &error)) << error;
    EXPECT_GT(good.psnrY, bad.psnrY + 3.0);
}

INSTANTIATE_TEST_SUITE_P(Jobs, Quality, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<QualityCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(QuantiserRange, ASmallerTargetCodesCoarser) {
    TempDir small, large;
    const std::string a = EncodeTiff(small.path, Astronaut(), true, false, 160000, 0);
    const std::string b = EncodeTiff(large.path, Astronaut(), true, false, 1200000, 0);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    DecodedStream coarse, fine;
    std::string error;
    ASSERT_TRUE(DecodeMpeg2Stream(a, &coarse, &error)) << error;
    ASSERT_TRUE(DecodeMpeg2Stream(b, &fine, &error)) << error;
    // Rows the rate control leaves coarse make the maximum unsteady; the minimum is not.
    EXPECT_GT(coarse.quantiser.min, fine.quantiser.min);
}

// quantiser_scale_code 5 in a slice; q_scale_type 1 maps it through the non-linear table.
TEST(QuantiserRange, SliceHeadersReadBothScaleTypes) {
    const std::vector<uint8_t> linear = {0, 0, 1, 0x01, 5 << 3, 0, 0, 1, 0x02, 9 << 3, 0};
    QuantiserRange q = SliceHeaderQuantisers(linear);
    EXPECT_TRUE(q.known);
    EXPECT_FALSE(q.perMacroblock);
    EXPECT_EQ(q.min, 10);
    EXPECT_EQ(q.max, 18);
    // Picture coding extension (ID 8) with q_scale_type set, then the slices.
    const std::vector<uint8_t> nonLinear = {0,      0,    1, 0xB5, 0x8F, 0xFF,   0xF3,
                                            0x10,   0x80, 0, 0,    0,    1,      0x01,
                                            5 << 3, 0,    0, 1,    0x02, 9 << 3, 0};
    q = SliceHeaderQuantisers(nonLinear);
    EXPECT_EQ(q.min, 5);
    EXPECT_EQ(q.max, 10);
    EXPECT_FALSE(SliceHeaderQuantisers({}).known);
}

TEST(PlaneMeasures, IdenticalAndKnownDifferences) {
    const std::vector<uint8_t> a(64 * 64, 100);
    std::vector<uint8_t> b = a;
    EXPECT_EQ(PlanePsnr(a.data(), b.data(), a.size()), kPsnrOfIdenticalPlanes);
    EXPECT_DOUBLE_EQ(PlaneSsim(a.data(), b.data(), 64, 64), 1.0);
    // Every sample off by one: MSE 1, PSNR 20 log10(255).
    for (uint8_t& v : b) ++v;
    EXPECT_NEAR(PlanePsnr(a.data(), b.data(), a.size()), 48.1308, 1e-4);
    EXPECT_LT(PlaneSsim(a.data(), b.data(), 64, 64), 1.0);
}

TEST(PlaneMeasures, SizesMustAgree) {
    YuvPlanes a, b;
    a.width = b.width = 96;
    a.height = 64;
    b.height = 80;
    a.y.resize(96 * 64);
    a.cb.resize(48 * 32);
    a.cr.resize(48 * 32);
    b.y.resize(96 * 80);
    b.cb.resize(48 * 40);
    b.cr.resize(48 * 40);
    QualityReport report;
    std::string error;
    EXPECT_FALSE(ComparePlanes(a, b, &report, &error));
    EXPECT_NE(error.find("96x80"), std::string::npos) << error;
}

// ---- Preview ----

TEST(Preview, ShowsTheDecodedPicture) {
    TempDir dir;
    const std::string stream = EncodeTiff(dir.path, Astronaut(), true, false, 600000, 0);
    ASSERT_FALSE(stream.empty());
    DecodedStream decoded;
    std::string error;
    ASSERT_TRUE(DecodeMpeg2Stream(stream, &decoded, &error)) << error;
    const std::string png = dir / "preview.png";
    WriteFileText(png, "an older preview");
    ASSERT_TRUE(WritePreviewPng(png, decoded.picture, &error)) << error;
    RgbPicture preview, source;
    ASSERT_TRUE(ReadPicture(png, Rgb8{}, &preview, &error)) << error;
    ASSERT_TRUE(ReadPicture(Astronaut(), Rgb8{}, &source, &error)) << error;
    ASSERT_EQ(preview.width, 720);
    ASSERT_EQ(preview.height, 576);
    EXPECT_GT(Psnr(preview.rgb.data(), source.rgb.data(), source.rgb.size()), 28.0);
    // Nothing but the preview is left in the folder.
    std::string listing;
    RunCommand("ls -A " + Q(dir.path), &listing);
    EXPECT_EQ(listing.find(".XXXXXX"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("preview.png."), std::string::npos) << listing;
}

TEST(Preview, FailureLeavesNothing) {
    TempDir dir;
    YuvPlanes planes;
    planes.width = 96;
    planes.height = 64;
    planes.y.assign(96 * 64, 128);
    planes.cb.assign(48 * 32, 128);
    planes.cr.assign(48 * 32, 128);
    std::string error;
    EXPECT_FALSE(WritePreviewPng(dir / "missing/preview.png", planes, &error));
    EXPECT_FALSE(error.empty());
    const std::string kept = dir / "kept.png";
    WriteFileText(kept, "keep");
    planes.cr.pop_back();
    EXPECT_FALSE(WritePreviewPng(kept, planes, &error));
    EXPECT_EQ(ReadFileBytes(kept).size(), 4u);
    std::string listing;
    RunCommand("ls -A " + Q(dir.path), &listing);
    EXPECT_EQ(listing, "kept.png\n");
}

// ---- Damaged streams ----

struct DamagedCase {
    const char* name;
    const char* make;  // from a good stream {good} into {out}
};

void PrintTo(const DamagedCase& c, std::ostream* os) { *os << c.name; }

const DamagedCase kDamaged[] = {
    {"empty", ": > {out}"},
    {"text", "echo 'not a stream' > {out}"},
    {"headers_only", "head -c 40 {good} > {out}"},
    {"cut_in_half", "head -c $(( $(stat -c %s {good}) / 2 )) {good} > {out}"},
    {"random_bytes",
     "python3 -c \"import random; random.seed(7);"
     " open({out}, 'wb').write(bytes(random.randrange(256) for _ in range(20000)))\""},
    {"bytes_flipped",
     "python3 -c \"d = bytearray(open({good}, 'rb').read());"
     " [d.__setitem__(i, d[i] ^ 0x5A) for i in range(200, len(d) - 8, 97)];"
     " open({out}, 'wb').write(d)\""},
};

class Damaged : public ::testing::TestWithParam<DamagedCase> {};

// Refused, or decoded with the decoder's complaints kept; never a crash.
TEST_P(Damaged, RefusedOrReported) {
    const DamagedCase& c = GetParam();
    TempDir dir;
    const std::string good = EncodeTiff(dir.path, Astronaut(), true, false, 300000, 0);
    ASSERT_FALSE(good.empty());
    const std::string out = dir / "damaged.m2v";
    std::string command = c.make;
    for (size_t at; (at = command.find("{good}")) != std::string::npos;)
        command.replace(at, 6, Q(good));
    for (size_t at; (at = command.find("{out}")) != std::string::npos;)
        command.replace(at, 5, Q(out));
    ASSERT_TRUE(Make(command));
    DecodedStream decoded;
    std::string error;
    const bool ok = DecodeMpeg2Stream(out, &decoded, &error);
    if (ok) {
        EXPECT_FALSE(decoded.decoderMessages.empty());
    } else {
        EXPECT_FALSE(error.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, Damaged, ::testing::ValuesIn(kDamaged),
                         [](const ::testing::TestParamInfo<DamagedCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(DecodeMpeg2Stream, MissingFileIsNamed) {
    TempDir dir;
    DecodedStream decoded;
    std::string error;
    EXPECT_FALSE(DecodeMpeg2Stream(dir / "stream.m2v", &decoded, &error));
    EXPECT_NE(error.find("stream.m2v"), std::string::npos) << error;
}

}  // namespace
