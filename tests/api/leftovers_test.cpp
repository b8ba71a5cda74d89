// What a host finds at the stream path after each kind of ending, where an earlier file stood:
// a finished job's stream; nothing after a picture that cannot be coded within the limit (the
// over-limit attempt is removed, not left to look like a stream); the earlier file untouched
// after a job that fails or is cancelled before its final pass opens the stream.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "api/api_jobs.h"
#include "pictor/pictor.h"

namespace {

enum class OnDisk { kStream, kNothing, kEarlierFile };

struct EndingCase {
    const char* name;
    std::string picture;
    int32_t target;
    JobOptions options;
    int result;
    std::string errorText;  // "@" stands for the work folder
    OnDisk left;
};

void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }

class StreamAfterEnding : public LibraryTest, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(StreamAfterEnding, LeavesWhatTheResultPromises) {
    const EndingCase& c = GetParam();
    WriteStillPicture(dir_.path, "p.tif", 720, 480);
    WriteNoisePicture(dir_.path, "noise.tif", 720, 480, 24);
    WriteFileText(dir_ / "j.tp", JobText(c.picture, c.target, kNtsc));
    const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    WriteFileBytes(dir_ / "j.ts", earlier);

    const JobOutcome out = RunPictor(dir_.path, "j.tp", c.options);
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.status, c.result);
    std::string errorText = c.errorText;
    for (size_t at = errorText.find('@'); at != std::string::npos; at = errorText.find('@'))
        errorText.replace(at, 1, dir_.path);
    EXPECT_EQ(out.errorText, errorText);
    const std::vector<uint8_t> stream = ReadFileBytes(dir_ / "j.ts");
    switch (c.left) {
        case OnDisk::kStream:
            ASSERT_GE(stream.size(), 4u);
            EXPECT_EQ(std::vector<uint8_t>(stream.begin(), stream.begin() + 4),
                      (std::vector<uint8_t>{0x00, 0x00, 0x01, 0xB3}));
            EXPECT_LE(stream.size() * 8, 1800000u);
            break;
        case OnDisk::kNothing:
            EXPECT_FALSE(FileExists(dir_ / "j.ts"));
            break;
        case OnDisk::kEarlierFile:
            EXPECT_TRUE(stream == earlier);
            break;
    }
    ExpectReleased();
}

const JobOptions kProgressive{0, 1}, kCancelled{0, 0, 0, 1};

INSTANTIATE_TEST_SUITE_P(
    Pictor, StreamAfterEnding,
    ::testing::Values(
        EndingCase{"Finished", "p.tif", 600000, {}, PICTOR_FINISHED, "", OnDisk::kStream},
        EndingCase{"NoiseBeyondTheLimitAtTheLowestTarget", "noise.tif", INT32_MIN, kProgressive,
                   PICTOR_FAILED,
                   "Pictor error 49: Picture cannot be coded within 1800000 bits <@/j.tif> \n",
                   OnDisk::kNothing},
        EndingCase{"PictureMissing",
                   "gone.tif",
                   600000,
                   {},
                   PICTOR_FAILED,
                   "Pictor error 13: Cannot open TIFF source file <@/still/gone.tif>\n"
                   "Pictor error 13: Cannot open TIFF source file <@/still/gone.tif>\n",
                   OnDisk::kEarlierFile},
        EndingCase{"CancelledBeforeItStarts", "p.tif", 600000, kCancelled, PICTOR_CANCELLED, "",
                   OnDisk::kEarlierFile}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return info.param.name; });

}  // namespace
