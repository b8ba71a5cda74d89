// What keeps a TIFF from going to the library as it is: every cause found, and what fixing each
// takes. Shared by the verdict (tiff_acceptance.cpp) and libtiff's findings (tiff_findings.cpp).
#ifndef PICTOR_TOOLS_MEDIA_TIFF_VERDICT_H
#define PICTOR_TOOLS_MEDIA_TIFF_VERDICT_H

#include <cstdint>
#include <string>
#include <vector>

#include "media/tiff_handle.h"

// A picture with no cause is taken as it is.
struct Verdict {
    bool isTiff = true;
    std::vector<std::string> causes;
    bool unreadable = false;  // damaged beyond what a rewrite mends
    bool tiffcp = false;      // a rewrite with tiffcp -c none mends it
    bool strips = false;      // ... with -s
    bool contig = false;      // ... with -p contig
    bool alpha = false;       // ImageMagick: alpha removed over a background
    bool colour = false;      // ImageMagick: into 8-bit RGB
    bool depth = false;       // ImageMagick: to 8 bits a sample
    bool orient = false;      // ImageMagick: turned upright
    bool size = false;        // needs --fit
    uint32_t width = 0;       // the picture's size, once read
    uint32_t height = 0;
    bool TakesAsIs() const { return isTiff && causes.empty(); }
    void Add(const std::string& cause) { causes.push_back(cause); }
};

// What libtiff finds in the file that the library does not read: compression, tiles, planes,
// colour, samples, orientation, kind of picture and size.
void AddLibtiffFindings(const TiffHandle& handle, Verdict* v);

// What fixing the causes takes, in a few words and a command; empty when nothing mends it.
std::string FixText(const Verdict& v, const std::string& path);

#endif
