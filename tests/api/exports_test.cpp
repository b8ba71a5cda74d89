// The shared library as a caller sees it: exported symbols and the end state of a job.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "pictor/pictor.h"
#include "support/files.h"

namespace {

using PictorFn = int (*)(JobContext*);
using PictorForDAFn = int (*)(const char*, const char*, const char*, int);

TEST(Exports, ExactlyTheTwoEntryPoints) {
    std::string out;
    ASSERT_EQ(RunCommand(std::string("nm -D --defined-only '") + PICTOR_LIBRARY_PATH + "'", &out), 0);
    std::vector<std::string> functions;
    std::istringstream lines(out);
    std::string address, type, name;
    while (lines >> address >> type >> name) {
        if (type == "T" || type == "W" || type == "D" || type == "B" || type == "R" || type == "V") {
            functions.push_back(name);
        }
    }
    EXPECT_EQ(functions, (std::vector<std::string>{"Pictor", "PictorForDA"})) << out;
}

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(PICTOR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        pictor_ = reinterpret_cast<PictorFn>(dlsym(handle_, "Pictor"));
        pictorForDA_ = reinterpret_cast<PictorForDAFn>(dlsym(handle_, "PictorForDA"));
        ASSERT_NE(pictor_, nullptr);
        ASSERT_NE(pictorForDA_, nullptr);
    }
    void TearDown() override {
        if (handle_ != nullptr) dlclose(handle_);
    }
    void* handle_ = nullptr;
    PictorFn pictor_ = nullptr;
    PictorForDAFn pictorForDA_ = nullptr;
};

TEST_F(LoadedLibrary, AMissingJobFileFailsWithOneLine) {
    TempDir dir;
    static JobContext context;
    std::memset(&context, 0, sizeof context);
    char errorText[1024];
    std::memset(errorText, '#', sizeof errorText);
    context.errorText = errorText;
    context.cancel = 2;  // anything but 1 lets the job go on
    std::snprintf(context.workDir, sizeof context.workDir, "%s", dir.path.c_str());
    std::snprintf(context.jobFileName, sizeof context.jobFileName, "%s", "menu1.tp");
    std::memset(context.streamPath, 'z', sizeof context.streamPath);

    EXPECT_EQ(pictor_(&context), -1);
    EXPECT_EQ(context.status, -1);
    EXPECT_EQ(context.progress, 100);
    EXPECT_EQ(context.cancel, 2);
    for (char c : context.streamPath) ASSERT_EQ(c, '\0');
    EXPECT_EQ(std::string(errorText), "Pictor error 2: Cannot open <" + dir.path + "/menu1.tp> \n");

    // The next job's text holds only its own lines.
    std::snprintf(context.jobFileName, sizeof context.jobFileName, "%s", "other.tp");
    EXPECT_EQ(pictor_(&context), -1);
    EXPECT_EQ(std::string(errorText), "Pictor error 2: Cannot open <" + dir.path + "/other.tp> \n");
}

TEST_F(LoadedLibrary, OverlongJobPathFailsWithCode47) {
    static JobContext context;
    std::memset(&context, 0, sizeof context);
    char errorText[1024];
    context.errorText = errorText;
    std::string dir(250, 'd');
    std::snprintf(context.workDir, sizeof context.workDir, "/%s", dir.c_str());
    std::snprintf(context.jobFileName, sizeof context.jobFileName, "%s", "abc.tp");  // 1 + 250 + 1 + 6 = 258
    EXPECT_EQ(pictor_(&context), -1);
    EXPECT_EQ(std::string(errorText), "Pictor error 47: Input file name is too long <abc.tp>\n");
    EXPECT_EQ(context.status, -1);
    EXPECT_EQ(context.progress, 100);
}

TEST_F(LoadedLibrary, PictorForDAReturnsTheResultOnly) {
    TempDir dir;
    EXPECT_EQ(pictorForDA_(dir.path.c_str(), "none.tp", "", 0), -1);
    EXPECT_EQ(pictorForDA_(dir.path.c_str(), (dir / "none.tp").c_str(), (dir / "out.m2v").c_str(), 1), -1);
    EXPECT_FALSE(FileExists(dir / "out.m2v"));
}

TEST_F(LoadedLibrary, NullArgumentsDoNotCrash) {
    EXPECT_EQ(pictor_(nullptr), -1);
    EXPECT_EQ(pictorForDA_(nullptr, nullptr, nullptr, 0), -1);
}

}  // namespace
