#include "media/tiff_library.h"

#include <dlfcn.h>

#include <mutex>

namespace {

struct LoadedTiff {
    TiffLibrary functions{};
    bool loaded = false;
    std::string error;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function* slot, std::string* error) {
    *slot = reinterpret_cast<Function>(dlsym(library, name));
    if (*slot == nullptr) *error = std::string("no ") + name + " in " + PICTOR_LIBTIFF_SONAME;
    return *slot != nullptr;
}

void Load(LoadedTiff* t) {
    void* const library = dlopen(PICTOR_LIBTIFF_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        t->error = std::string("cannot load ") + PICTOR_LIBTIFF_SONAME +
                   (why ? std::string(": ") + why : "");
        return;
    }
    TiffLibrary& f = t->functions;
    std::string* e = &t->error;
    t->loaded =
        Resolve(library, "TIFFOpenExt", &f.openExt, e) &&
        Resolve(library, "TIFFFdOpenExt", &f.fdOpenExt, e) &&
        Resolve(library, "TIFFClose", &f.close, e) &&
        Resolve(library, "TIFFOpenOptionsAlloc", &f.optionsAlloc, e) &&
        Resolve(library, "TIFFOpenOptionsFree", &f.optionsFree, e) &&
        Resolve(library, "TIFFOpenOptionsSetMaxSingleMemAlloc", &f.optionsSetMaxSingleMemAlloc,
                e) &&
        Resolve(library, "TIFFOpenOptionsSetErrorHandlerExtR", &f.optionsSetErrorHandler, e) &&
        Resolve(library, "TIFFOpenOptionsSetWarningHandlerExtR", &f.optionsSetWarningHandler, e) &&
        Resolve(library, "TIFFGetField", &f.getField, e) &&
        Resolve(library, "TIFFGetFieldDefaulted", &f.getFieldDefaulted, e) &&
        Resolve(library, "TIFFSetField", &f.setField, e) &&
        Resolve(library, "TIFFFindCODEC", &f.findCodec, e) &&
        Resolve(library, "TIFFIsTiled", &f.isTiled, e) &&
        Resolve(library, "TIFFNumberOfStrips", &f.numberOfStrips, e) &&
        Resolve(library, "TIFFStripSize", &f.stripSize, e) &&
        Resolve(library, "TIFFVStripSize", &f.vStripSize, e) &&
        Resolve(library, "TIFFGetStrileOffset", &f.strileOffset, e) &&
        Resolve(library, "TIFFGetStrileByteCount", &f.strileByteCount, e) &&
        Resolve(library, "TIFFReadEncodedStrip", &f.readEncodedStrip, e) &&
        Resolve(library, "TIFFRGBAImageOK", &f.rgbaImageOk, e) &&
        Resolve(library, "TIFFReadRGBAImageOriented", &f.readRgbaImageOriented, e) &&
        Resolve(library, "TIFFWriteEncodedStrip", &f.writeEncodedStrip, e) &&
        Resolve(library, "TIFFWriteDirectory", &f.writeDirectory, e);
}

}  // namespace

const TiffLibrary* LibTiff(std::string* error) {
    // Loaded once and never unloaded: the process may open TIFFs until it ends.
    static LoadedTiff tiff;
    static std::once_flag once;
    std::call_once(once, [] { Load(&tiff); });
    if (!tiff.loaded) {
        if (error != nullptr) *error = tiff.error;
        return nullptr;
    }
    return &tiff.functions;
}
