// The shared library as a host sees it: its entry points and limits.

#include <algorithm>
#include <cstring>

#include "api/api_jobs.h"
#include "messages/report.h"
#include "pictor/pictor.h"

namespace {

// The exports themselves are checked on the installed library.
TEST(Library, EntryPointsRefuseNullArguments) {
    EXPECT_EQ(Pictor(nullptr), -1);
    EXPECT_EQ(PictorForDA(nullptr, nullptr, nullptr, 0), -1);
}

// One record past a table fails like any allocation (no line) or open (code 2), and writes
// nothing past it.
TEST_F(LibraryTest, RegistriesRefuseTheRecordPastTheirTables) {
    char text[1024] = {};
    BindErrorText(text, kModulePictor);
    const std::string file = dir_ / "f";
    WriteFileText(file, "");
    EXPECT_EQ(TrackedAlloc(~uint64_t{0}, 2), nullptr);  // count x size overflows 64 bits
    for (int i = 1; i < kAllocRecords; ++i) ASSERT_NE(TrackedAlloc(1, 1), nullptr) << i;
    EXPECT_EQ(TrackedAlloc(1, 1), nullptr);
    EXPECT_EQ(tAllocRegistry->count, kAllocRecords);
    for (int i = 0; i < kFileRecords; ++i) ASSERT_NE(TrackedOpen(file.c_str(), "rb"), nullptr);
    FILE* extra = nullptr;
    EXPECT_EQ(OpenOrReport(file.c_str(), "rb", &extra), -1);
    EXPECT_EQ(tFileRegistry->count, kFileRecords);
    EXPECT_EQ(std::string(text), ErrorLine(2, "Cannot open <" + file + "> "));
    // The gap a closed file leaves must not hide the files after it.
    TrackedClose(tFileRegistry->records[10].stream);
    FreeAllTracked();
    CloseAllTracked();
    ExpectReleased();
}

// Context fields that fill their width carry no terminating zero: nothing is read past them,
// the stale stream path is cleared, and the error text holds this job's line only.
TEST_F(LibraryTest, UnterminatedContextFieldsMakeAPathTooLong) {
    JobContext context;
    std::memset(&context, 's', sizeof context);
    char errorText[1024] = "left over from an earlier job\n";
    context.errorText = errorText;
    EXPECT_EQ(Pictor(&context), -1);
    EXPECT_EQ(std::string(errorText),
              ErrorLine(47, "Input file name is too long <" + std::string(263, 's') + ">"));
    EXPECT_EQ(std::count(context.streamPath, std::end(context.streamPath), '\0'),
              sizeof context.streamPath);
}

}  // namespace
