// libtiff's findings in a TIFF the library does not take as it is, and the fix for them.
#include "door/library_door.h"
#include "media/picture_input.h"
#include "media/tiff_verdict.h"

namespace {

std::string CompressionName(const TiffLibrary& t, uint16_t compression) {
    const TIFFCodec* codec = t.FindCodec(compression);
    std::string name = codec != nullptr ? codec->name : "";
    if (compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE)
        name = "Deflate";
    if (compression == COMPRESSION_OJPEG) name = "old-style JPEG";
    if (name.empty()) name = "unknown (" + std::to_string(compression) + ")";
    return name + " compression";
}

std::string PhotometricName(uint16_t photometric) {
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
            return "WhiteIsZero grey";
        case PHOTOMETRIC_MINISBLACK:
            return "BlackIsZero grey";
        case PHOTOMETRIC_RGB:
            return "RGB";
        case PHOTOMETRIC_PALETTE:
            return "palette";
        case PHOTOMETRIC_MASK:
            return "transparency mask";
        case PHOTOMETRIC_SEPARATED:
            return "CMYK (separated)";
        case PHOTOMETRIC_YCBCR:
            return "YCbCr";
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB:
        case PHOTOMETRIC_ITULAB:
            return "Lab";
        default:
            return "photometric interpretation " + std::to_string(photometric);
    }
}

std::string SizeCause(uint32_t width, uint32_t height) {
    return "is " + std::to_string(width) + "x" + std::to_string(height) +
           " (accepted: " + AcceptedSizesText() + ")";
}

bool HasAlpha(const uint16_t* kinds, uint16_t count) {
    for (uint16_t i = 0; kinds != nullptr && i < count; ++i) {
        if (kinds[i] == EXTRASAMPLE_ASSOCALPHA || kinds[i] == EXTRASAMPLE_UNASSALPHA) return true;
    }
    return false;
}

// The sample layout: depth, samples and extra samples against what the library reads.
void CheckSamples(const TiffHandle& handle, uint16_t photometric, Verdict* v) {
    TIFF* tif = handle.get();
    const TiffLibrary& t = handle.tiff();
    uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, extraCount = 0;
    uint16_t* extraKinds = nullptr;
    t.GetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    t.GetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    t.GetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    t.GetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    if (HasAlpha(extraKinds, extraCount)) {
        v->Add("has an alpha channel");
        v->alpha = true;
    } else if (extraCount > 0 && extraKinds != nullptr) {
        for (uint16_t i = 0; i < extraCount; ++i) {
            if (extraKinds[i] == EXTRASAMPLE_UNSPECIFIED) continue;
            v->Add("has extra samples of kind " + std::to_string(extraKinds[i]));
            v->alpha = true;
            break;
        }
    }
    const std::string depth = std::to_string(bits) + "-bit";
    if (format != SAMPLEFORMAT_UINT) {
        const char* kind = format == SAMPLEFORMAT_IEEEFP ? "floating-point" : "signed";
        v->Add("has " + depth + " " + kind + " samples (the library reads unsigned integers)");
        v->depth = true;
        return;
    }
    // Only 8-bit grey or RGB goes as it is: the fix of any other cause goes there too.
    v->depth = v->depth || bits != 8;
    v->colour = v->colour || photometric == PHOTOMETRIC_PALETTE;
    const bool photometricOk = photometric <= PHOTOMETRIC_PALETTE;
    if (photometric == PHOTOMETRIC_RGB) {
        if (bits != 8 && bits != 16) {
            v->Add("has " + depth + " RGB samples (the library reads 8 or 16 bits)");
            v->depth = true;
        }
        // The library skips samples after blue; libtiff agrees when they are unspecified.
        if (samples < 3 || samples > 11) {
            v->Add("has " + std::to_string(samples) + " samples per RGB pixel");
            v->colour = true;
        }
    } else if (photometricOk) {
        const char* what = photometric == PHOTOMETRIC_PALETTE ? "palette" : "grey";
        if (bits != 1 && bits != 4 && bits != 8) {
            v->Add("has " + depth + " " + what + " samples (the library reads 1, 4 or 8 bits)");
            v->depth = true;
        }
        if (samples != 1 && !v->alpha) {
            v->Add("has " + std::to_string(samples) + " samples per " + what + " pixel");
            v->colour = true;
        }
    }
}

}  // namespace

void AddLibtiffFindings(const TiffHandle& handle, Verdict* v) {
    TIFF* tif = handle.get();
    const TiffLibrary& t = handle.tiff();
    uint32_t width = 0, height = 0, subfile = 0;
    uint16_t compression = COMPRESSION_NONE, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    t.GetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    t.GetField(tif, TIFFTAG_IMAGELENGTH, &height);
    t.GetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    t.GetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    t.GetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    t.GetFieldDefaulted(tif, TIFFTAG_SUBFILETYPE, &subfile);
    const bool hasPhotometric = t.GetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) == 1;

    if (compression != COMPRESSION_NONE && compression != COMPRESSION_PACKBITS) {
        v->Add("uses " + CompressionName(t, compression) +
               " (the library reads uncompressed or PackBits strips)");
        v->tiffcp = true;
    }
    if (t.IsTiled(tif)) {
        v->Add("is stored in tiles, not strips");
        v->strips = true;
    }
    if (planar != PLANARCONFIG_CONTIG) {
        v->Add("stores each colour in its own plane (PlanarConfiguration 2)");
        v->contig = true;
    }
    if (!hasPhotometric) {
        v->Add("has no PhotometricInterpretation field");
        v->colour = true;
    } else if (photometric > PHOTOMETRIC_PALETTE) {
        v->Add("holds " + PhotometricName(photometric) +
               " samples (the library reads grey, palette or RGB)");
        v->colour = true;
    }
    CheckSamples(handle, photometric, v);
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (hasPhotometric && photometric == PHOTOMETRIC_PALETTE &&
        !t.GetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        v->Add("is a palette picture without a colour map");
        v->unreadable = true;
    }
    if (orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_BOTLEFT) {
        v->Add("has Orientation " + std::to_string(orientation) +
               " (the library turns only 1 to 4)");
        v->orient = true;
    }
    if (subfile != 0 && subfile != FILETYPE_PAGE) {
        v->Add("is marked as a reduced or mask picture (NewSubfileType " + std::to_string(subfile) +
               ")");
        v->tiffcp = true;
    }
    if (FindPictureWidth(width) == nullptr || FindPictureHeight(height) == nullptr) {
        v->Add(SizeCause(width, height));
        v->size = true;
    }
}

namespace {

// A path as a shell reads it back.
std::string Quoted(const std::string& path) {
    const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+.,/:@%";
    if (!path.empty() && path.find_first_not_of(plain) == std::string::npos) return path;
    std::string out = "'";
    for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string FixedName(const std::string& path) {
    std::string stem = path;
    const size_t slash = stem.find_last_of('/');
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.erase(dot);
    return Quoted(stem + "-plain.tif");
}

}  // namespace

std::string FixText(const Verdict& v, const std::string& path) {
    if (v.unreadable) return "";
    if (v.size) return "`pictor encode --fit pad` (or crop, stretch) converts and fits it";
    const std::string in = Quoted(path), out = FixedName(path);
    std::string command;
    if (v.alpha || v.colour || v.depth || v.orient) {
        command = "convert " + in;
        if (v.orient) command += " -auto-orient";
        if (v.alpha) command += " -background black -alpha remove -alpha off";
        if (v.colour) command += " -colorspace sRGB -type TrueColor";
        command += " -depth 8 -compress none " + out;
    } else if (v.tiffcp || v.strips || v.contig) {
        command = "tiffcp";
        if (v.strips) command += " -s";
        if (v.contig) command += " -p contig";
        command += " -c none " + in + " " + out;
    }
    std::string fix = "`pictor encode` converts it";
    if (v.alpha) fix += " over --background";
    if (!command.empty()) fix += ", or: " + command;
    return fix;
}
