// Encoder instances: jobs coded from memory on many instances at once give, stream and text, what
// the same jobs give through job files in a fresh process; a busy instance refuses at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "api/api_jobs.h"
#include "api/library_context.h"
#include "pictor/pictor.h"
#include "support/tiff_writer.h"

namespace {

// A picture as TIFF bytes and as RGB rows with a few bytes between them.
struct Picture {
    int width, height;
    std::vector<uint8_t> tiff, rows;
    ptrdiff_t stride;
};

Picture MakePicture(int width, int height, bool noise) {
    const std::vector<uint8_t> rgb =
        noise ? NoiseRgb(width, height, 11) : TestPatternRgb(width, height);
    Picture p{width, height, MakeRgbTiff(width, height, rgb), {}, ptrdiff_t{width} * 3 + 5};
    p.rows.resize(static_cast<size_t>(p.stride * height));
    for (int y = 0; y < height; ++y)
        std::copy_n(&rgb[size_t(y) * width * 3], width * 3, &p.rows[size_t(y) * p.stride]);
    return p;
}

// One job of the mix: its picture, how it reaches the instance and its settings.
struct MixedJob {
    const Picture* picture;
    bool fromTiff;
    int target, standard, aspect, panScan, vector, extended;
};

struct Coded {
    int result;
    std::vector<uint8_t> stream;
    std::string text;
    bool operator==(const Coded& o) const {
        return result == o.result && stream == o.stream && text == o.text;
    }
};

void PrintTo(const Coded& c, std::ostream* os) {
    *os << "result " << c.result << ", " << c.stream.size() << " stream bytes, text \"" << c.text
        << '"';
}

// Names the memory job's messages cite as the job-file path cites them for dir/job.tp.
struct JobNames {
    std::string job, picture;
    explicit JobNames(const std::string& dir)
        : job(dir + "/job.tp"), picture(dir + "/still/pic.tif") {}
};

PictorSettings SettingsOf(const MixedJob& j, const JobNames& names) {
    PictorSettings s;
    PictorDefaultSettings(&s);
    s.targetBits = j.target;
    s.standard = j.standard;
    s.aspect = j.aspect;
    s.panScan = j.panScan;
    s.panScanVector = j.vector;
    s.extendedAnalysis = j.extended;
    s.jobName = names.job.c_str();
    s.pictureName = names.picture.c_str();
    return s;
}

Coded CodeOn(PictorEncoder* encoder, const MixedJob& j, const JobNames& names) {
    const PictorSettings settings = SettingsOf(j, names);
    std::vector<uint8_t> out(225000);
    PictorStream stream{out.data(), out.size(), 0, nullptr, nullptr};
    PictorJobState state{};
    const Picture& p = *j.picture;
    const int result = j.fromTiff ? PictorEncodeTiff(encoder, &settings, p.tiff.data(),
                                                     p.tiff.size(), &stream, &state)
                                  : PictorEncodeRgb(encoder, &settings, p.rows.data(), p.width,
                                                    p.height, p.stride, &stream, &state);
    out.resize(stream.size);
    return Coded{result, out, state.errorText};
}

// The same jobs, in order, through job files in one fresh process.
std::vector<Coded> CodeThroughJobFiles(const std::vector<MixedJob>& jobs, const std::string& dir) {
    InChild([&] {
        for (size_t i = 0; i < jobs.size(); ++i) {
            const MixedJob& j = jobs[i];
            WriteFileBytes(dir + "/still/pic.tif", j.picture->tiff);
            const char* aspect = j.aspect == PICTOR_ASPECT_16_9 ? "16:9" : "4:3";
            std::string text = JobText("pic.tif", j.target, "") + "FRMRT " +
                               (j.standard == PICTOR_PAL ? "PAL" : "NTSC") + "\nASPECT_RATIO " +
                               aspect + "\nPAN_SCAN " + (j.panScan ? "ON" : "OFF") + "\n";
            if (j.panScan) text += "PAN_SCAN_VECTOR " + std::to_string(j.vector) + "\n";
            WriteFileText(dir + "/job.tp", text);
            const std::string jobPath = dir + "/job.tp", stream = dir + "/s" + std::to_string(i);
            const int result =
                PictorForDA(dir.c_str(), jobPath.c_str(), stream.c_str(), j.extended);
            const char* errorText = gLibraryContext.errorText;
            WriteFileText(dir + "/r" + std::to_string(i),
                          std::to_string(result) + "\n" + errorText);
        }
    });
    std::vector<Coded> coded;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const std::string said = ReadFileText(dir + "/r" + std::to_string(i));
        const int result = std::stoi(said);
        const std::string stream = dir + "/s" + std::to_string(i);
        coded.push_back(Coded{result, result == 0 ? ReadFileBytes(stream) : std::vector<uint8_t>{},
                              said.substr(said.find('\n') + 1)});
    }
    return coded;
}

class Instances : public LibraryTest {
protected:
    Instances() {
        mkdir((dir_ / "still").c_str(), 0755);
        const int ps = PICTOR_ASPECT_16_9, pal = PICTOR_PAL, ntsc = PICTOR_NTSC;
        const int narrow = PICTOR_ASPECT_4_3;
        // Streams of both rules and both ways in, and jobs that fail with the job file's texts.
        mix_ = {
            {&pattern_, false, 1200000, pal, narrow, 0, 0, 0},
            {&pattern_, true, 600000, pal, narrow, 0, 0, 1},
            {&noise_, false, 400000, pal, narrow, 0, 0, 0},
            {&noise_, true, 300000, pal, narrow, 0, 0, 1},
            {&ntsc_, false, 900000, ntsc, ps, 1, -100, 1},
            {&pattern_, true, 600000, ntsc, narrow, 0, 0, 0},   // a PAL size with NTSC
            {&odd_, true, 600000, ntsc, narrow, 0, 0, 0},       // a width no job takes
            {&pattern_, false, 800000, pal, narrow, 1, 32, 0},  // pan-scan with 4:3
        };
    }
    Picture pattern_ = MakePicture(720, 576, false);
    Picture noise_ = MakePicture(352, 288, true);
    Picture ntsc_ = MakePicture(720, 480, false);
    Picture odd_ = MakePicture(640, 480, false);
    std::vector<MixedJob> mix_;
};

TEST_F(Instances, ManyAtOnceEqualTheirJobsInAFreshProcess) {
    constexpr int kThreads = 8, kJobsEach = 20;
    // Each job alone: the carried value is reset before every job of the threads.
    std::vector<Coded> alone;
    for (const MixedJob& j : mix_) alone.push_back(CodeThroughJobFiles({j}, dir_.path).front());
    const JobNames names(dir_.path);
    std::vector<std::future<int>> mismatches;
    for (int t = 0; t < kThreads; ++t) {
        mismatches.push_back(std::async(std::launch::async, [&, t] {
            PictorEncoder* encoder = PictorCreate();
            int wrong = 0;
            for (int n = 0; n < kJobsEach; ++n) {
                const size_t kind = static_cast<size_t>(t + n) % mix_.size();
                wrong += PictorResetCarried(encoder) != 0;
                wrong += !(CodeOn(encoder, mix_[kind], names) == alone[kind]);
            }
            return wrong + (PictorDestroy(encoder) != 0);
        }));
    }
    for (auto& m : mismatches) EXPECT_EQ(m.get(), 0);
    for (const Coded& c : alone) EXPECT_TRUE(c.result == 0 ? c.text.empty() : !c.text.empty());
}

TEST_F(Instances, ASequenceOnOneInstanceEqualsItInOneProcess) {
    // The extended rule carries a value from job to job, on an instance as in a process.
    std::vector<MixedJob> sequence = mix_;
    sequence.insert(sequence.end(), mix_.rbegin(), mix_.rend());
    const std::vector<Coded> expected = CodeThroughJobFiles(sequence, dir_.path);
    const JobNames names(dir_.path);
    PictorEncoder* encoder = PictorCreate();
    for (size_t i = 0; i < sequence.size(); ++i)
        EXPECT_EQ(CodeOn(encoder, sequence[i], names), expected[i]) << "job " << i;
    EXPECT_EQ(PictorDestroy(encoder), 0);
}

// The stream is handed over only after the job, so a write function can hold the instance busy.
struct Gate {
    std::promise<void> entered, release;
};

int HoldWhileWriting(void* opaque, const unsigned char*, size_t) {
    Gate* gate = static_cast<Gate*>(opaque);
    gate->entered.set_value();
    gate->release.get_future().wait();
    return 0;
}

TEST_F(Instances, ABusyInstanceRefusesAtOnce) {
    PictorEncoder* encoder = PictorCreate();
    const JobNames names(dir_.path);
    const PictorSettings settings = SettingsOf(mix_[0], names);
    Gate gate;
    std::thread first([&] {
        PictorStream stream{nullptr, 0, 0, HoldWhileWriting, &gate};
        EXPECT_EQ(PictorEncodeRgb(encoder, &settings, pattern_.rows.data(), 720, 576,
                                  pattern_.stride, &stream, nullptr),
                  PICTOR_FINISHED);
    });
    gate.entered.get_future().wait();
    std::vector<uint8_t> out(225000);
    PictorStream stream{out.data(), out.size(), 0, nullptr, nullptr};
    PictorJobState state{};
    EXPECT_EQ(PictorEncodeTiff(encoder, &settings, pattern_.tiff.data(), pattern_.tiff.size(),
                               &stream, &state),
              PICTOR_BUSY);
    EXPECT_EQ(state.status, PICTOR_BUSY);
    EXPECT_EQ(state.errorText, ErrorLine(50, "Encoder is running another job <" + names.job + ">"));
    EXPECT_EQ(PictorResetCarried(encoder), PICTOR_BUSY);
    EXPECT_EQ(PictorDestroy(encoder), PICTOR_BUSY);
    gate.release.set_value();
    first.join();
    EXPECT_EQ(PictorDestroy(encoder), 0);
}

}  // namespace

int RefuseWrite(void*, const unsigned char*, size_t) { return 1; }

// Calls that end without a stream: each with its result, the text's first line and the size
// the stream record reports.
TEST_F(Instances, CallsWithoutAStreamSayWhy) {
    PictorEncoder* encoder = PictorCreate();
    const JobNames names(dir_.path);
    const PictorSettings settings = SettingsOf(mix_[0], names);
    const std::string stem = dir_.path + "/job";
    std::vector<uint8_t> small(1000);
    const unsigned char* rows = pattern_.rows.data();
    const ptrdiff_t stride = pattern_.stride;
    const PictorStream buffer{small.data(), small.size(), 0, nullptr, nullptr};
    const PictorStream refusing{nullptr, 0, 0, RefuseWrite, nullptr};
    const std::string cannotWrite = ErrorLine(1, "Cannot write <" + stem + ".ts>");
    const std::string shortRows = "Picture memory is missing or its rows are too short <";
    struct Case {
        const char* what;
        PictorEncoder* encoder;
        const unsigned char* rgb;
        ptrdiff_t stride;
        PictorStream stream;
        int32_t cancel;
        int result;
        std::string line;
        size_t size;
    } cases[] = {
        {"cancelled before it starts", encoder, rows, stride, buffer, 1, PICTOR_CANCELLED, "", 0},
        {"a buffer too small", encoder, rows, stride, buffer, 0, PICTOR_FAILED, cannotWrite,
         150641},
        {"a write that fails", encoder, rows, stride, refusing, 0, PICTOR_FAILED, cannotWrite, 0},
        {"rows shorter than the width", encoder, rows, 2159, buffer, 0, PICTOR_FAILED,
         ErrorLine(51, shortRows + stem + ".tif>"), 0},
        {"no picture", encoder, nullptr, stride, buffer, 0, PICTOR_FAILED,
         ErrorLine(51, shortRows + names.picture + ">"), 0},
        {"no encoder", nullptr, rows, stride, buffer, 0, PICTOR_FAILED,
         ErrorLine(52, "Encoder, settings or stream is missing <" + names.job + ">"), 0},
    };
    for (Case& c : cases) {
        PictorJobState state{};
        state.cancel = c.cancel;
        EXPECT_EQ(
            PictorEncodeRgb(c.encoder, &settings, c.rgb, 720, 576, c.stride, &c.stream, &state),
            c.result)
            << c.what;
        EXPECT_EQ(state.status, c.result) << c.what;
        EXPECT_EQ(state.progress, 100) << c.what;
        EXPECT_EQ(std::string(state.errorText).substr(0, c.line.size()), c.line) << c.what;
        EXPECT_EQ(c.stream.size, c.size) << c.what;
    }
    EXPECT_EQ(PictorDestroy(encoder), 0);
    EXPECT_EQ(PictorDestroy(nullptr), 0);
    EXPECT_STREQ(PictorVersion(), PICTOR_VERSION_STRING);
}
