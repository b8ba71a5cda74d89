// libtiff, loaded when a picture first needs it: a job file's run and a PNG or JPEG picture
// never load it and the dozen libraries it links in (a C++ runtime among them).
#ifndef PICTOR_TOOLS_MEDIA_TIFF_LIBRARY_H
#define PICTOR_TOOLS_MEDIA_TIFF_LIBRARY_H

#include <tiffio.h>

#include <string>

// The functions the command calls, with libtiff's own types.
struct TiffLibrary {
    decltype(&TIFFOpenExt) OpenExt;
    decltype(&TIFFFdOpenExt) FdOpenExt;
    decltype(&TIFFClientOpenExt) ClientOpenExt;
    decltype(&TIFFClose) Close;
    decltype(&TIFFOpenOptionsAlloc) OptionsAlloc;
    decltype(&TIFFOpenOptionsFree) OptionsFree;
    decltype(&TIFFOpenOptionsSetMaxSingleMemAlloc) OptionsSetMaxSingleMemAlloc;
    decltype(&TIFFOpenOptionsSetErrorHandlerExtR) OptionsSetErrorHandler;
    decltype(&TIFFOpenOptionsSetWarningHandlerExtR) OptionsSetWarningHandler;
    decltype(&TIFFGetField) GetField;
    decltype(&TIFFGetFieldDefaulted) GetFieldDefaulted;
    decltype(&TIFFSetField) SetField;
    decltype(&TIFFFindCODEC) FindCodec;
    decltype(&TIFFIsTiled) IsTiled;
    decltype(&TIFFNumberOfStrips) NumberOfStrips;
    decltype(&TIFFStripSize) StripSize;
    decltype(&TIFFVStripSize) VStripSize;
    decltype(&TIFFGetStrileOffset) StrileOffset;
    decltype(&TIFFGetStrileByteCount) StrileByteCount;
    decltype(&TIFFReadEncodedStrip) ReadEncodedStrip;
    decltype(&TIFFRGBAImageOK) RgbaImageOk;
    decltype(&TIFFReadRGBAImageOriented) ReadRgbaImageOriented;
    decltype(&TIFFWriteEncodedStrip) WriteEncodedStrip;
    decltype(&TIFFWriteDirectory) WriteDirectory;
};

// The libtiff the command was built with, loaded once for the life of the process; null with
// `error` when it cannot be.
const TiffLibrary* LibTiff(std::string* error);

#endif
