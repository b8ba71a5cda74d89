// The pictor command's one way into the library's internals: the library's reading of a TIFF,
// the planes it codes for one, the picture sizes it accepts and the rules of a job that the
// command applies before or after the job runs. Every value here comes from the library's own
// definitions. Built beside the library, never into it: the shared library exports only its
// public interface.
#ifndef PICTOR_DOOR_LIBRARY_DOOR_H
#define PICTOR_DOOR_LIBRARY_DOOR_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "api/job_driver.h"
#include "params/job_file.h"
#include "pictor/pictor.h"
#include "tiff/picture_sizes.h"
#include "tiff/tiff_probe.h"

// The library's reading of `path` (ProbeTiffFile) on the calling thread's own encoder instance,
// its records reset before and after, so probes and measurements run beside jobs. With `bytes`,
// the file's `size` bytes are read from memory, as a job given them reads them.
void ProbeLibraryTiff(const std::string& path, TiffProbe* out, const unsigned char* bytes = nullptr,
                      uint64_t size = 0);

// The planes the library codes for the TIFF at `path`: its conversion to Y/Cb/Cr and its 4:2:0
// chroma decimation (Y width x height, Cb and Cr half that each way). levelMode as the job
// context's. False with `error` (the library's message) when it refuses the picture. Resets the
// records of the internal build as ProbeLibraryTiff does.
struct CodedPlanes {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y;
    std::vector<uint8_t> cb;
    std::vector<uint8_t> cr;
};
bool LibraryCodedPlanes(const std::string& path, int levelMode, CodedPlanes* out,
                        std::string* error);

// `bytes` of zeroed memory in the library's large pages, for a picture read whole; null when
// there is none. Given back with FreeLargePages and the same `bytes`.
[[nodiscard]] void* TakeLargePages(uint64_t bytes);
void FreeLargePages(void* memory, uint64_t bytes);
// The bytes TakeLargePages gives for a request of `bytes`, all of them usable.
[[nodiscard]] uint64_t LargePageRoom(uint64_t bytes);

namespace rules {

// TARGET_SIZE as the job will use it (the summary measures against it; the command warns when
// the job file's differs).
long long TargetUsed(long long asRead, bool progressiveStill);

// Numbers in a job file (TARGET_SIZE, PAN_SCAN_VECTOR) as the job reads them ("1.2M" is 1),
// and whether anything was left unread (`whole`).
int32_t LeadingInteger(const std::string& value, bool* whole);

// The job path up to its first ".tp", searched over the whole path: the stream is stem + ".ts",
// the picture in messages stem + ".tif". The command applies it to the job file's own name.
std::string Stem(const std::string& jobFilePath);

// The job file path (workDir + "/" + jobFileName) the library reads at most; a longer one fails
// the job (code 47) before anything is read. The context's fields hold the other two.
constexpr size_t kMaxJobFilePath = kMaxJobPathLength;
constexpr size_t kMaxWorkDir = sizeof(JobContext::workDir) - 1;
constexpr size_t kMaxJobFileName = sizeof(JobContext::jobFileName) - 1;

// A job file line is read in pieces of at most this many characters.
constexpr size_t kMaxLineChars = kJobLineBytes - 1;
// The longest name the command writes into a job file: short of any limit of the library.
constexpr size_t kMaxWrittenName = 200;

// A name the command may write as a job file value: one word, no comment mark, no ".tp" (the
// stem rule), at most kMaxWrittenName characters.
bool NameFitsJobFile(const std::string& name);

}  // namespace rules

#endif
