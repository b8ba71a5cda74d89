// What a file is, from its first bytes: a form the command reads, or in the command's own words
// what else it is and how to make it one.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "media/picture_input.h"

namespace {

constexpr size_t kHead = 32;

struct Head {
    unsigned char bytes[kHead] = {0};
    size_t size = 0;
    bool Starts(const char* text, size_t at = 0) const {
        const size_t n = std::strlen(text);
        return at + n <= size && std::memcmp(bytes + at, text, n) == 0;
    }
};

Head ReadHead(const std::string& path) {
    Head head;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return head;
    head.size = std::fread(head.bytes, 1, sizeof head.bytes, f);
    std::fclose(f);
    return head;
}

// An ISO base media file's brand: HEIF (HEVC), AVIF, or neither.
PictureFormat IsoBrand(const Head& h) {
    if (!h.Starts("ftyp", 4)) return PictureFormat::kUnknown;
    static const char* const kHeif[] = {"heic", "heix", "hevc", "hevx",
                                        "heim", "heis", "mif1", "msf1"};
    if (h.Starts("avif", 8) || h.Starts("avis", 8)) return PictureFormat::kAvif;
    for (const char* brand : kHeif) {
        if (h.Starts(brand, 8)) return PictureFormat::kHeif;
    }
    return PictureFormat::kUnknown;
}

// Forms the command does not read, by their first bytes.
struct OtherForm {
    const char* magic;
    size_t at;
    const char* name;
};
const OtherForm kOtherForms[] = {
    {"BM", 0, "a BMP picture"},
    {"8BPS", 0, "a Photoshop (PSD) picture"},
    {"%PDF", 0, "a PDF document"},
    {"\xff\x0a", 0, "a JPEG XL picture"},
    {"JXL ", 4, "a JPEG XL picture"},
    {"jP  ", 4, "a JPEG 2000 picture"},
    {"\xff\x4f\xff\x51", 0, "a JPEG 2000 picture"},
    {"\x76\x2f\x31\x01", 0, "an OpenEXR picture"},
    {"qoif", 0, "a QOI picture"},
    {"<svg", 0, "an SVG drawing"},
    {"<?xml", 0, "an XML file (an SVG drawing?)"},
    {"P1\n", 0, "a PBM picture"},
    {"P4\n", 0, "a PBM picture"},
    {"P2\n", 0, "a PGM picture"},
    {"P5\n", 0, "a PGM picture"},
    {"P3\n", 0, "a PPM picture"},
    {"P6\n", 0, "a PPM picture"},
};

bool LooksLikeText(const Head& h) {
    for (size_t i = 0; i < h.size; ++i) {
        const unsigned c = h.bytes[i];
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') return false;
        if (c == 0x7f) return false;
    }
    return h.size > 0;
}

}  // namespace

PictureFormat DetectPictureFormat(const std::string& path, PictureBytes bytes) {
    Head h;
    if (bytes.data != nullptr) {
        h.size = bytes.size < kHead ? bytes.size : kHead;
        std::memcpy(h.bytes, bytes.data, h.size);
    } else {
        h = ReadHead(path);
    }
    if (h.Starts("\x89PNG\r\n\x1a\n")) return PictureFormat::kPng;
    if (h.Starts("\xff\xd8\xff")) return PictureFormat::kJpeg;
    // Classic TIFF (42) and BigTIFF (43), in either byte order.
    if (h.size >= 4 && h.bytes[0] == 'I' && h.bytes[1] == 'I' &&
        (h.bytes[2] == 42 || h.bytes[2] == 43) && h.bytes[3] == 0)
        return PictureFormat::kTiff;
    if (h.size >= 4 && h.bytes[0] == 'M' && h.bytes[1] == 'M' && h.bytes[2] == 0 &&
        (h.bytes[3] == 42 || h.bytes[3] == 43))
        return PictureFormat::kTiff;
    if (h.Starts("GIF87a") || h.Starts("GIF89a")) return PictureFormat::kGif;
    if (h.Starts("RIFF") && h.Starts("WEBP", 8)) return PictureFormat::kWebp;
    return IsoBrand(h);
}

const char* PictureFormatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::kTiff:
            return "TIFF";
        case PictureFormat::kPng:
            return "PNG";
        case PictureFormat::kJpeg:
            return "JPEG";
        case PictureFormat::kGif:
            return "GIF";
        case PictureFormat::kWebp:
            return "WebP";
        case PictureFormat::kHeif:
            return "HEIF";
        case PictureFormat::kAvif:
            return "AVIF";
        case PictureFormat::kUnknown:
            break;
    }
    return "picture";
}

std::string WhatTheFileIs(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::string("cannot be opened: ") + std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "is a folder, not a picture";
    if (!S_ISREG(st.st_mode)) return "is not a file, not a picture";
    if (st.st_size == 0) return "is empty (0 bytes), not a picture";
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::string("cannot be opened: ") + std::strerror(errno);
    std::fclose(f);
    const Head h = ReadHead(path);
    for (const OtherForm& o : kOtherForms) {
        if (!h.Starts(o.magic, o.at)) continue;
        return std::string("is ") + o.name +
               ", which pictor does not read: convert it to PNG first, e.g. with ImageMagick's "
               "convert FILE FILE.png";
    }
    if (LooksLikeText(h)) return "is text, not a picture";
    return "is not a picture pictor reads (TIFF, PNG, JPEG, GIF, WebP, HEIF or AVIF); "
           "ImageMagick's convert FILE FILE.png may convert it";
}
