// The command's verdict on TIFF bytes, checked against the library: a file the command hands to
// the library as it is must be coded as libtiff reads it. So for every file taken as it is, the
// library's planes of it equal those of libtiff's decode written as the command's conversion,
// and its bytes read whole get the same verdict as the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "guarded_job.h"
#include "media/picture_input.h"
#include "media/reference_planes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = fuzz::ScratchDir();
    const std::string path = dir + "/as_is.tif", converted = dir + "/converted.tif";
    WriteFileBytes(path, std::vector<uint8_t>(data, data + size));
    std::string why, whyInMemory;
    const bool taken = LibraryTakesAsIs(path, &why);
    // A job on an instance checks the bytes it read once: they get the file's verdict.
    if (LibraryTakesAsIs(path, &whyInMemory, nullptr, nullptr, {data, size}) != taken ||
        whyInMemory != why)
        fuzz::Fail("the verdict from memory is not the file's", why + " | " + whyInMemory);
    if (!taken) return 0;
    RgbPicture picture;
    std::string error;
    if (!ReadPicture(path, Rgb8{}, &picture, &error))
        fuzz::Fail("taken as it is, but libtiff cannot decode it", error);
    std::remove(converted.c_str());
    if (!WriteRgbTiff(converted, picture, &error))
        fuzz::Fail("the conversion cannot be written", error);
    YuvPlanes asIs, viaConversion;
    if (!ReferencePlanesFromTiff(path, 0, &asIs, &error))
        fuzz::Fail("taken as it is, but the library refuses it", error);
    if (!ReferencePlanesFromTiff(converted, 0, &viaConversion, &error))
        fuzz::Fail("the library refuses the conversion", error);
    if (asIs.width != viaConversion.width || asIs.height != viaConversion.height ||
        asIs.y != viaConversion.y || asIs.cb != viaConversion.cb || asIs.cr != viaConversion.cr)
        fuzz::Fail("taken as it is, but the library codes another picture than libtiff reads");
    return 0;
}
