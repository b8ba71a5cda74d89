// Shared steps of the picture-input tests: a fresh job, files from bytes, the codes of the
// messages the job reported, and the planes against the pixels expected.
#ifndef PICTOR_TESTS_TIFF_TIFF_TEST_SUPPORT_H
#define PICTOR_TESTS_TIFF_TIFF_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>

#include "convert/colour.h"
#include "convert/convert_source.h"
#include "convert/planes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "runtime/registry.h"
#include "support/files.h"
#include "support/state.h"
#include "support/tiff_writer.h"
#include "tiff/tiff_fields.h"

class PictureInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        BindErrorText(text_, kModulePictor);
        std::strcpy(tMessageNames->pictureName, "pic.tif");
    }
    void TearDown() override { ResetAllState(); }
    std::string Write(const std::vector<uint8_t>& bytes) {
        WriteFileBytes(path_ = dir_ / "in.tif", bytes);
        return path_;
    }
    std::vector<int> Codes() const {
        const std::string text = text_, key = "Pictor error ";
        std::vector<int> codes;
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
            codes.push_back(std::atoi(text.c_str() + at + key.size()));
        }
        return codes;
    }
    // A refusal ends with the line that names the file.
    void ExpectRefused(const std::string& path) const {
        std::string last =
            "Pictor error 19: <" + path + "> is not supported types image, or header is wrong. \n";
        EXPECT_EQ(std::string(text_).substr(std::string(text_).rfind("Pictor error")), last);
    }
    char text_[1024] = {};
    TempDir dir_;
    std::string path_;
};

// Y of pixels n and n + 1 (n even) and the chroma of the pair, against those of the RGB values
// expected there.
inline std::vector<int> Got(int n) {
    return {tPlanes->y[n], tPlanes->y[n + 1], tPlanes->cb[n / 2], tPlanes->cr[n / 2]};
}
inline std::vector<int> Want(const uint8_t* p, const uint8_t* q) {
    uint8_t cb = 0, cr = 0;
    ChromaOfPair(p, q, kVideoLevels, &cb, &cr);
    return {LumaOf(p[0], p[1], p[2], kVideoLevels), LumaOf(q[0], q[1], q[2], kVideoLevels), cb, cr};
}

#endif
