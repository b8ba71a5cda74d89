// Whole jobs from a TIFF file to a stream that real decoders play.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "messages/report.h"
#include "pictor/pictor.h"
#include "support/decoders.h"
#include "support/files.h"
#include "support/job_runner.h"
#include "support/state.h"
#include "support/tiff_writer.h"

namespace {

bool IsNtscHeight(int h) { return h == 480 || h == 240 || h == 112 || h == 64; }

// Video-level luma of an RGB picture (ITU-R BT.601), to compare decoded pictures with.
std::vector<uint8_t> ExpectedLuma(const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> y(rgb.size() / 3);
    for (size_t i = 0; i < y.size(); ++i) {
        double v = 16.0 + (65.481 * rgb[3 * i] + 128.553 * rgb[3 * i + 1] + 24.966 * rgb[3 * i + 2]) / 255.0;
        y[i] = static_cast<uint8_t>(v + 0.5);
    }
    return y;
}

// One job of a batch: coded in turn (jobs never overlap), decoded in parallel.
struct StreamJob {
    std::string label;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::string job;  // SOURCE_FILE is added
    JobOptions options;
    double minPsnr = 0.0;  // 0: not compared (levels other than video levels)
    long long maxBits = 1800000;
    bool viaPictorForDA = false;  // with an explicit stream path
    // Results
    JobOutcome outcome;
    std::string stream;
    long long bits = 0;
    std::string problems;
    double psnr = 0.0;
};

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAllState(); }
    void TearDown() override { ResetAllState(); }

    void CodeAll(std::vector<StreamJob>* jobs) {
        RunCommand("mkdir -p '" + dir_.path + "/still'");
        for (size_t i = 0; i < jobs->size(); ++i) {
            StreamJob& j = (*jobs)[i];
            WriteFileBytes(dir_ / "still/pic.tif", MakeRgbTiff(j.width, j.height, j.rgb));
            std::string name = "job" + std::to_string(i) + ".tp";
            WriteFileText(dir_ / name, "SOURCE_FILE pic.tif\n" + j.job);
            if (j.viaPictorForDA) {
                // Its context stays inside the library; the job's end shows in the result and the error text.
                j.stream = dir_ / ("job" + std::to_string(i) + ".m2v");
                j.outcome.result = PictorForDA(dir_.path.c_str(), (dir_ / name).c_str(), j.stream.c_str(),
                                               j.options.extendedAnalysis);
                j.outcome.status = j.outcome.result;
                j.outcome.progress = 100;
                j.outcome.errorText = gReporter.errorText;
            } else {
                j.outcome = RunPictor(dir_.path, name, j.options);
                j.stream = dir_ / ("job" + std::to_string(i) + ".ts");
            }
            j.bits = static_cast<long long>(ReadFileBytes(j.stream).size()) * 8;
        }
        // The decoders are separate processes: four at a time.
        std::atomic<size_t> next(0);
        auto decode = [&] {
            for (size_t i; (i = next.fetch_add(1)) < jobs->size();) {
                StreamJob& j = (*jobs)[i];
                DecoderVerdict verdict = DecodeStream(j.stream, j.width, j.height);
                j.problems = DecoderProblems(verdict, j.width, j.height);
                if (verdict.ffmpeg.y.size() == static_cast<size_t>(j.width) * j.height) {
                    std::vector<uint8_t> luma = ExpectedLuma(j.rgb);
                    j.psnr = Psnr(verdict.ffmpeg.y.data(), luma.data(), luma.size());
                }
            }
        };
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t) workers.emplace_back(decode);
        for (std::thread& t : workers) t.join();

        std::string figures;
        for (const StreamJob& j : *jobs) {
            figures += j.label + ":" + std::to_string(j.bits) + "b/" + std::to_string(static_cast<int>(j.psnr * 10)) + " ";
        }
        RecordProperty("bits_and_luma_psnr_x10", figures);
        for (const StreamJob& j : *jobs) {
            SCOPED_TRACE(j.label);
            EXPECT_EQ(j.outcome.result, 0) << j.outcome.errorText;
            EXPECT_EQ(j.outcome.status, 0);
            EXPECT_EQ(j.outcome.progress, 100);
            EXPECT_EQ(j.outcome.errorText, "");
            EXPECT_EQ(j.problems, "");
            EXPECT_GT(j.bits, 0);
            EXPECT_LE(j.bits, j.maxBits);
            if (j.minPsnr > 0) {
                EXPECT_GT(j.psnr, j.minPsnr);
            }
        }
    }
    TempDir dir_;
};

StreamJob MakeJob(const std::string& label, int w, int h, const std::string& job, double minPsnr) {
    StreamJob j;
    j.label = label;
    j.width = w;
    j.height = h;
    j.rgb = TestPatternRgb(w, h);
    j.job = job;
    j.minPsnr = minPsnr;
    return j;
}

TEST_F(EndToEndTest, EveryAcceptedSize) {
    std::vector<StreamJob> jobs;
    for (int w : {720, 704, 352, 176, 96}) {
        for (int h : {480, 576, 240, 288, 112, 64, 144, 80}) {
            long long target = 2LL * w * h;
            if (target < 160000) target = 160000;
            std::string job = "TARGET_SIZE " + std::to_string(target) + "\nFRMRT " +
                              (IsNtscHeight(h) ? "NTSC" : "PAL") + "\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
            jobs.push_back(MakeJob(std::to_string(w) + "x" + std::to_string(h), w, h, job, 45.0));
            // The rate control steers towards the target; small pictures may fall short of it.
            jobs.back().maxBits = target * 11 / 10;
            jobs.back().viaPictorForDA = jobs.size() % 2 == 0;
        }
    }
    CodeAll(&jobs);
}

JobOptions With(int extended, int progressive, int levels) {
    JobOptions o;
    o.extendedAnalysis = extended;
    o.progressiveStill = progressive;
    o.levelMode = levels;
    return o;
}

TEST_F(EndToEndTest, JobOptionsAndPanScan) {
    const std::string pal = "FRMRT PAL\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
    std::vector<StreamJob> jobs = {
        MakeJob("WideWithPanScan", 720, 576,
                "TARGET_SIZE 1200000\nFRMRT PAL\nASPECT_RATIO 16:9\nPAN_SCAN ON\nPAN_SCAN_VECTOR -320\n", 45.0),
        MakeJob("Wide", 704, 480, "TARGET_SIZE 900000\nFRMRT NTSC\nASPECT_RATIO 9:16\nPAN_SCAN OFF\n", 45.0),
        MakeJob("ExtendedAnalysis", 720, 576, "TARGET_SIZE 700000\n" + pal, 45.0),
        MakeJob("ProgressiveStillSmallTarget", 720, 576, "TARGET_SIZE 100000\n" + pal, 40.0),
        MakeJob("FullRangeWideClip", 720, 576, "TARGET_SIZE 700000\n" + pal, 0.0),
        MakeJob("FullRange", 720, 576, "TARGET_SIZE 700000\n" + pal, 0.0),
        MakeJob("UnknownLevelModeActsAsVideo", 720, 576, "TARGET_SIZE 700000\n" + pal, 45.0),
    };
    jobs[2].options = With(1, 0, 0);
    jobs[2].viaPictorForDA = true;
    jobs[3].options = With(0, 1, 0);
    jobs[4].options = With(0, 0, 1);
    jobs[5].options = With(0, 0, 2);
    jobs[6].options = With(0, 0, 7);
    // Noise cannot be coded at the largest target in one attempt; the stream still keeps to the limit.
    StreamJob noise = MakeJob("NoiseAtTheLargestTarget", 720, 576, "TARGET_SIZE 1800000\n" + pal, 0.0);
    std::mt19937 random(7);
    for (uint8_t& v : noise.rgb) v = static_cast<uint8_t>(random() & 0xFF);
    jobs.push_back(noise);
    CodeAll(&jobs);
    EXPECT_GT(jobs.back().bits, 1500000);
}

}  // namespace
