#include "media/tiff_library.h"

#include "media/loaded_library.h"

namespace {

void Load(LoadedLibrary<TiffLibrary>* t) {
    LoadOne(t, PICTOR_LIBTIFF_SONAME, [](TiffLibrary& f, const Binder& take) {
        return take("TIFFOpenExt", &f.OpenExt) && take("TIFFFdOpenExt", &f.FdOpenExt) &&
               take("TIFFClientOpenExt", &f.ClientOpenExt) && take("TIFFClose", &f.Close) &&
               take("TIFFOpenOptionsAlloc", &f.OptionsAlloc) &&
               take("TIFFOpenOptionsFree", &f.OptionsFree) &&
               take("TIFFOpenOptionsSetMaxSingleMemAlloc", &f.OptionsSetMaxSingleMemAlloc) &&
               take("TIFFOpenOptionsSetErrorHandlerExtR", &f.OptionsSetErrorHandler) &&
               take("TIFFOpenOptionsSetWarningHandlerExtR", &f.OptionsSetWarningHandler) &&
               take("TIFFGetField", &f.GetField) &&
               take("TIFFGetFieldDefaulted", &f.GetFieldDefaulted) &&
               take("TIFFSetField", &f.SetField) && take("TIFFFindCODEC", &f.FindCodec) &&
               take("TIFFIsTiled", &f.IsTiled) && take("TIFFNumberOfStrips", &f.NumberOfStrips) &&
               take("TIFFStripSize", &f.StripSize) && take("TIFFVStripSize", &f.VStripSize) &&
               take("TIFFGetStrileOffset", &f.StrileOffset) &&
               take("TIFFGetStrileByteCount", &f.StrileByteCount) &&
               take("TIFFReadEncodedStrip", &f.ReadEncodedStrip) &&
               take("TIFFRGBAImageOK", &f.RgbaImageOk) &&
               take("TIFFReadRGBAImageOriented", &f.ReadRgbaImageOriented) &&
               take("TIFFWriteEncodedStrip", &f.WriteEncodedStrip) &&
               take("TIFFWriteDirectory", &f.WriteDirectory);
    });
}

}  // namespace

const TiffLibrary* LibTiff(std::string* error) { return LoadOnce<TiffLibrary, Load>(error); }
