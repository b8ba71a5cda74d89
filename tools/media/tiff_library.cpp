#include "media/tiff_library.h"

#include "media/loaded_library.h"

namespace {

void Load(LoadedLibrary<TiffLibrary>* t) {
    void* const library = OpenLibrary(PICTOR_LIBTIFF_SONAME, &t->error);
    if (library == nullptr) return;
    TiffLibrary& f = t->functions;
    auto take = [&](const char* name, auto* slot) {
        return Resolve(library, PICTOR_LIBTIFF_SONAME, name, slot, &t->error);
    };
    t->loaded = take("TIFFOpenExt", &f.openExt) && take("TIFFFdOpenExt", &f.fdOpenExt) &&
                take("TIFFClose", &f.close) && take("TIFFOpenOptionsAlloc", &f.optionsAlloc) &&
                take("TIFFOpenOptionsFree", &f.optionsFree) &&
                take("TIFFOpenOptionsSetMaxSingleMemAlloc", &f.optionsSetMaxSingleMemAlloc) &&
                take("TIFFOpenOptionsSetErrorHandlerExtR", &f.optionsSetErrorHandler) &&
                take("TIFFOpenOptionsSetWarningHandlerExtR", &f.optionsSetWarningHandler) &&
                take("TIFFGetField", &f.getField) &&
                take("TIFFGetFieldDefaulted", &f.getFieldDefaulted) &&
                take("TIFFSetField", &f.setField) && take("TIFFFindCODEC", &f.findCodec) &&
                take("TIFFIsTiled", &f.isTiled) && take("TIFFNumberOfStrips", &f.numberOfStrips) &&
                take("TIFFStripSize", &f.stripSize) && take("TIFFVStripSize", &f.vStripSize) &&
                take("TIFFGetStrileOffset", &f.strileOffset) &&
                take("TIFFGetStrileByteCount", &f.strileByteCount) &&
                take("TIFFReadEncodedStrip", &f.readEncodedStrip) &&
                take("TIFFRGBAImageOK", &f.rgbaImageOk) &&
                take("TIFFReadRGBAImageOriented", &f.readRgbaImageOriented) &&
                take("TIFFWriteEncodedStrip", &f.writeEncodedStrip) &&
                take("TIFFWriteDirectory", &f.writeDirectory);
}

}  // namespace

const TiffLibrary* LibTiff(std::string* error) { return LoadOnce<TiffLibrary, Load>(error); }
