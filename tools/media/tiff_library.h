// libtiff, loaded when a picture first needs it. A plain TIFF goes to the library untouched
// and is checked without libtiff, so most runs never load it and the dozen libraries it
// links in (a C++ runtime among them).
#ifndef PICTOR_TOOLS_MEDIA_TIFF_LIBRARY_H
#define PICTOR_TOOLS_MEDIA_TIFF_LIBRARY_H

#include <tiffio.h>

#include <string>

// The functions the command calls, with libtiff's own types.
struct TiffLibrary {
    decltype(&TIFFOpenExt) openExt;
    decltype(&TIFFFdOpenExt) fdOpenExt;
    decltype(&TIFFClose) close;
    decltype(&TIFFOpenOptionsAlloc) optionsAlloc;
    decltype(&TIFFOpenOptionsFree) optionsFree;
    decltype(&TIFFOpenOptionsSetMaxSingleMemAlloc) optionsSetMaxSingleMemAlloc;
    decltype(&TIFFOpenOptionsSetErrorHandlerExtR) optionsSetErrorHandler;
    decltype(&TIFFOpenOptionsSetWarningHandlerExtR) optionsSetWarningHandler;
    decltype(&TIFFGetField) getField;
    decltype(&TIFFGetFieldDefaulted) getFieldDefaulted;
    decltype(&TIFFSetField) setField;
    decltype(&TIFFFindCODEC) findCodec;
    decltype(&TIFFIsTiled) isTiled;
    decltype(&TIFFNumberOfStrips) numberOfStrips;
    decltype(&TIFFStripSize) stripSize;
    decltype(&TIFFVStripSize) vStripSize;
    decltype(&TIFFGetStrileOffset) strileOffset;
    decltype(&TIFFGetStrileByteCount) strileByteCount;
    decltype(&TIFFReadEncodedStrip) readEncodedStrip;
    decltype(&TIFFRGBAImageOK) rgbaImageOk;
    decltype(&TIFFReadRGBAImageOriented) readRgbaImageOriented;
    decltype(&TIFFWriteEncodedStrip) writeEncodedStrip;
    decltype(&TIFFWriteDirectory) writeDirectory;
};

// The libtiff the command was built with, loaded once for the life of the process; null with
// `error` when it cannot be.
const TiffLibrary* LibTiff(std::string* error);

#endif
