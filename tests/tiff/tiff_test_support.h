// Shared steps of the picture-input tests: files from bytes, the conversion
// stages run one by one, and the error text of the job.
#ifndef PICTOR_TESTS_TIFF_TIFF_TEST_SUPPORT_H
#define PICTOR_TESTS_TIFF_TIFF_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/job_driver.h"
#include "api/registry.h"
#include "convert/convert_source.h"
#include "convert/planes.h"
#include "messages/report.h"
#include "params/settings.h"
#include "support/files.h"
#include "support/state.h"
#include "support/tiff_writer.h"
#include "tiff/tiff_detect.h"
#include "tiff/tiff_directory.h"
#include "tiff/tiff_fields.h"
#include "tiff/tiff_strips.h"

class PictureInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAllState();
        BindErrorText(text_, kModulePictor);
        std::strcpy(gSwitches.pictureName, "pic.tif");
    }
    void TearDown() override {
        FreeAllTracked();
        CloseAllTracked();
    }
    std::string Write(const std::vector<uint8_t>& bytes, const std::string& name = "in.tif") {
        std::string path = dir_ / name;
        WriteFileBytes(path, bytes);
        return path;
    }
    // The conversion call as the job runs it.
    int Convert(const std::vector<uint8_t>& bytes) {
        path_ = Write(bytes);
        if (DetectSourceType(path_.c_str()) != 1) return -2;
        return ConvertSourcePicture(path_.c_str());
    }
    // The stages up to the raster, leaving the working planes filled.
    int ReadRaster(const std::vector<uint8_t>& bytes) {
        path_ = Write(bytes);
        FILE* file = TrackedOpen(path_.c_str(), "rb");
        if (file == nullptr) return -2;
        ResetTiffFields();
        if (ReadTiffDirectory(file, RecordTiffField) != 0) return -1;
        CheckTiffLayout();
        if (gTiffFields.status & kTiffUnsupported) return -1;
        if (AllocatePicturePlanes() != 0) return -1;
        return ReadTiffRaster(file);
    }
    std::string Text() const { return text_; }
    std::string Line(int code, const std::string& body) const {
        return "Pictor error " + std::to_string(code) + ": " + body + "\n";
    }
    std::string Unsupported(const std::string& name) const {
        return Line(19, "<" + name + "> is not supported types image, or header is wrong. ");
    }
    char text_[1024];
    TempDir dir_;
    std::string path_;
};

inline std::vector<uint8_t> Pattern(int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i * 37) ^ (i / 97));
    return rgb;
}

#endif
