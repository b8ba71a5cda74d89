#include "media/picture_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "media/picture_decoders.h"
#include "media/tiff_handle.h"

bool ReadPicture(const std::string& path, const Rgb8& background, RgbPicture* out,
                 std::string* error, PictureFacts* facts, int keepSides) {
    error->clear();
    const PictureFormat format = DetectPictureFormat(path);
    if (format == PictureFormat::kUnknown) {
        *error = WhatTheFileIs(path);
        return false;
    }
    RgbPicture picture;
    PictureFacts found;
    if (!DecodeWithVips(path, format, background, &picture, &found, error, keepSides)) return false;
    const uint64_t bytes =
        uint64_t{static_cast<uint32_t>(picture.width)} * static_cast<uint32_t>(picture.height) * 3;
    if (picture.rgb.size() != bytes) {
        *error = "the decoder returned a picture of the wrong size";
        return false;
    }
    *out = std::move(picture);
    if (facts != nullptr) *facts = found;
    return true;
}

bool WriteRgbTiff(const std::string& path, const RgbPicture& picture, std::string* error) {
    const uint64_t rowBytes = uint64_t{static_cast<uint32_t>(picture.width)} * 3;
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgb.size() != rowBytes * static_cast<uint32_t>(picture.height)) {
        *error = "no picture to write";
        return false;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    TiffHandle handle(fd, path, "w");
    TIFF* tif = handle.get();
    bool ok = tif != nullptr;
    const TiffLibrary* t = ok ? &handle.tiff() : nullptr;
    // 16 rows a strip: a whole number of macroblock rows, and at most 36 strips.
    const uint32_t rowsPerStrip = 16;
    if (ok) {
        ok = t->SetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(picture.width)) &&
             t->SetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(picture.height)) &&
             t->SetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
             t->SetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
             t->SetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
             t->SetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
             t->SetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
             t->SetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    }
    const uint32_t strips =
        (static_cast<uint32_t>(picture.height) + rowsPerStrip - 1) / rowsPerStrip;
    for (uint32_t s = 0; ok && s < strips; ++s) {
        const uint32_t first = s * rowsPerStrip;
        const uint32_t rows = std::min<uint32_t>(rowsPerStrip, picture.height - first);
        const uint8_t* data = picture.rgb.data() + rowBytes * first;
        const tmsize_t bytes = static_cast<tmsize_t>(rowBytes * rows);
        ok = t->WriteEncodedStrip(tif, s, const_cast<uint8_t*>(data), bytes) == bytes;
    }
    if (ok) ok = t->WriteDirectory(tif) == 1;
    const bool closed = handle.Close();
    if (!ok || !closed) {
        *error = "cannot write " + path + ": " + handle.ErrorOr("write error");
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool ParseColour(const std::string& text, Rgb8* colour) {
    std::string name;
    for (char c : text) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "black") {
        *colour = Rgb8{0, 0, 0};
        return true;
    }
    if (name == "white") {
        *colour = Rgb8{255, 255, 255};
        return true;
    }
    if (name == "grey" || name == "gray") {
        *colour = Rgb8{128, 128, 128};
        return true;
    }
    if (name.size() != 7 || name[0] != '#') return false;
    unsigned value[3];
    for (int k = 0; k < 3; ++k) {
        unsigned v = 0;
        for (int i = 1 + 2 * k; i < 3 + 2 * k; ++i) {
            const char c = name[static_cast<size_t>(i)];
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
            v = v * 16 + static_cast<unsigned>(
                             std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'a' + 10);
        }
        value[k] = v;
    }
    *colour = Rgb8{static_cast<uint8_t>(value[0]), static_cast<uint8_t>(value[1]),
                   static_cast<uint8_t>(value[2])};
    return true;
}
