// The end-to-end table: per case the picture, the job, the options, and what the stream must be
// (its MD5 and size) and how close both decoders bring it back to the source (luma PSNR).
// Any change that alters a single stream byte shows here first. The same jobs coded from memory,
// from the TIFF's bytes and from its RGB samples, give the same streams.
//
// To add a case, write its line with "-" for bits, md5 and the PSNRs, then run the program with
// PICTOR_E2E_RECORD=FILE: it writes every case's measured line to FILE.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "coding/transform.h"
#include "pictor/pictor.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/tiff_writer.h"

namespace {

struct StreamRow {
    std::string name, picture, frame;
    int target = 0, extended = 0, progressive = 0, levels = 0;
    std::string bits, md5, psnrFfmpeg, psnrMpeg2dec;
};

std::vector<StreamRow> LoadTable() {
    std::vector<StreamRow> rows;
    std::ifstream in(TestDataPath("e2e/streams.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        StreamRow r;
        fields >> r.name >> r.picture >> r.frame >> r.target >> r.extended >> r.progressive >>
            r.levels >> r.bits >> r.md5 >> r.psnrFfmpeg >> r.psnrMpeg2dec;
        if (!fields.fail()) rows.push_back(r);
    }
    return rows;
}

// "PAL", "NTSC", with "-16:9" for a wide picture and "-PS<vector>" for pan-scan on.
std::string FrameLines(const std::string& frame) {
    std::string text = "FRMRT " + frame.substr(0, frame.find('-')) + "\n";
    text += frame.find("-16:9") != std::string::npos ? "ASPECT_RATIO 16:9\n" : "ASPECT_RATIO 4:3\n";
    const size_t ps = frame.find("-PS");
    if (ps == std::string::npos) return text + "PAN_SCAN OFF\n";
    return text + "PAN_SCAN ON\nPAN_SCAN_VECTOR " + frame.substr(ps + 3) + "\n";
}

struct Source {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// "astronaut" is the example picture; "pattern-WxH" and "noise-WxH" are made here.
Source MakeSource(const std::string& picture, const std::string& stillDir) {
    Source s;
    const std::string tif = stillDir + "/pic.tif";
    if (picture == "astronaut") {
        const std::string example =
            std::string(PICTOR_SOURCE_DIR) + "/examples/still/astronaut.tif";
        WriteFileBytes(tif, ReadFileBytes(example));
        s.width = 720;
        s.height = 576;
        RunCommand("convert '" + example + "' -depth 8 'rgb:" + stillDir + "/pic.rgb'");
        s.rgb = ReadFileBytes(stillDir + "/pic.rgb");
        return s;
    }
    const size_t dash = picture.find('-'), x = picture.find('x');
    s.width = std::atoi(picture.c_str() + dash + 1);
    s.height = std::atoi(picture.c_str() + x + 1);
    s.rgb = TestPatternRgb(s.width, s.height);
    if (picture.rfind("noise", 0) == 0) {
        std::mt19937 random(7);
        for (uint8_t& v : s.rgb) v = static_cast<uint8_t>(random());
    }
    WriteFileBytes(tif, MakeRgbTiff(s.width, s.height, s.rgb));
    return s;
}

// BT.601 luma at studio levels, or unscaled for the full-range level modes.
std::vector<uint8_t> SourceLuma(const Source& s, bool fullRange) {
    std::vector<uint8_t> luma(s.rgb.size() / 3);
    for (size_t i = 0; i < luma.size(); ++i) {
        const double y = 0.299 * s.rgb[3 * i] + 0.587 * s.rgb[3 * i + 1] + 0.114 * s.rgb[3 * i + 2];
        luma[i] = static_cast<uint8_t>((fullRange ? y : 16.0 + y * 219.0 / 255.0) + 0.5);
    }
    return luma;
}

std::string Fixed2(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

// The same job coded from memory on a new instance, which has carried nothing from an earlier
// job, as a fresh process has not: from the TIFF's bytes when given, else from the RGB samples.
std::vector<uint8_t> CodedFromMemory(const StreamRow& row, const Source& source,
                                     const std::vector<uint8_t>* tiff) {
    PictorSettings settings;
    PictorDefaultSettings(&settings);
    settings.targetBits = row.target;
    settings.standard = row.frame.rfind("NTSC", 0) == 0 ? PICTOR_NTSC : PICTOR_PAL;
    const bool wide = row.frame.find("-16:9") != std::string::npos;
    settings.aspect = wide ? PICTOR_ASPECT_16_9 : PICTOR_ASPECT_4_3;
    const size_t ps = row.frame.find("-PS");
    settings.panScan = ps != std::string::npos;
    if (settings.panScan) settings.panScanVector = std::atoi(row.frame.c_str() + ps + 3);
    settings.extendedAnalysis = row.extended;
    settings.progressiveStill = row.progressive;
    settings.levelMode = row.levels;
    PictorEncoder* encoder = PictorCreate();
    std::vector<uint8_t> out(225000);
    PictorStream stream{out.data(), out.size(), 0, nullptr, nullptr};
    const int result =
        tiff != nullptr
            ? PictorEncodeTiff(encoder, &settings, tiff->data(), tiff->size(), &stream, nullptr)
            : PictorEncodeRgb(encoder, &settings, source.rgb.data(), source.width, source.height,
                              ptrdiff_t{source.width} * 3, &stream, nullptr);
    EXPECT_EQ(PictorDestroy(encoder), 0);
    out.resize(result == PICTOR_FINISHED ? stream.size : 0);
    return out;
}

// Keeps test names and failure reports free of byte dumps.
void PrintTo(const StreamRow& row, std::ostream* os) { *os << row.name; }

class StreamTable : public ::testing::TestWithParam<StreamRow> {};

// PICTOR_DCT forces a transform variant on the jobs, where this processor runs it.
bool VariantRuns(const std::string& name) {
    for (DctVariant v : kDctVariants) {
        if (name == DctVariantName(v)) return DctVariantRuns(v);
    }
    return false;
}

TEST_P(StreamTable, StreamIsUnchangedAndDecodes) {
    const StreamRow& row = GetParam();
    if (const char* forced = std::getenv("PICTOR_DCT")) {
        if (!VariantRuns(forced)) GTEST_SKIP() << "this processor does not run " << forced;
        ASSERT_STREQ(DctVariantName(ChosenDctVariant()), forced);
    }
    TempDir dir;
    mkdir((dir / "still").c_str(), 0755);
    const Source source = MakeSource(row.picture, dir / "still");
    ASSERT_EQ(source.rgb.size(), size_t(source.width) * source.height * 3);
    WriteFileText(dir / "job.tp", "SOURCE_FILE pic.tif\nTARGET_SIZE " + std::to_string(row.target) +
                                      "\n" + FrameLines(row.frame));
    JobOptions options;
    options.extendedAnalysis = row.extended;
    options.progressiveStill = row.progressive;
    options.levelMode = row.levels;
    // Each case in a fresh process: the extended rule carries one value from job to job.
    const pid_t child = fork();
    if (child == 0) _exit(RunPictor(dir.path, "job.tp", options).result == 0 ? 0 : 1);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the job failed";

    const std::string stream = dir / "job.ts";
    const std::vector<uint8_t> tiff = ReadFileBytes(dir / "still/pic.tif");
    EXPECT_EQ(CodedFromMemory(row, source, &tiff), ReadFileBytes(stream)) << "from TIFF bytes";
    EXPECT_EQ(CodedFromMemory(row, source, nullptr), ReadFileBytes(stream)) << "from RGB samples";
    std::string md5;
    ASSERT_EQ(RunCommand("md5sum '" + stream + "' | cut -c1-32", &md5), 0);
    md5.resize(32);
    const std::string bits = std::to_string(ReadFileBytes(stream).size() * 8);
    const DecoderVerdict verdict = DecodeStream(stream, source.width, source.height);
    ASSERT_EQ(DecoderProblems(verdict, source.width, source.height), "");
    const std::vector<uint8_t> luma = SourceLuma(source, row.levels == 1 || row.levels == 2);
    const std::string psnrF = Fixed2(Psnr(verdict.ffmpeg.y.data(), luma.data(), luma.size()));
    const std::string psnrM = Fixed2(Psnr(verdict.mpeg2dec.y.data(), luma.data(), luma.size()));

    if (const char* record = std::getenv("PICTOR_E2E_RECORD")) {
        std::ofstream(record, std::ios::app)
            << row.name << ' ' << row.picture << ' ' << row.frame << ' ' << row.target << ' '
            << row.extended << ' ' << row.progressive << ' ' << row.levels << ' ' << bits << ' '
            << md5 << ' ' << psnrF << ' ' << psnrM << '\n';
    }
    EXPECT_EQ(md5, row.md5);
    EXPECT_EQ(bits, row.bits);
    EXPECT_EQ(psnrF, row.psnrFfmpeg);
    EXPECT_EQ(psnrM, row.psnrMpeg2dec);
}

INSTANTIATE_TEST_SUITE_P(Streams, StreamTable, ::testing::ValuesIn(LoadTable()),
                         [](const ::testing::TestParamInfo<StreamRow>& info) {
                             return info.param.name;
                         });

}  // namespace
