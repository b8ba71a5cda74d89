#include "media/measure_libraries.h"

#include "media/loaded_library.h"

namespace {

void LoadMpeg2(LoadedLibrary<Mpeg2Library>* m) {
    LoadOne(m, PICTOR_LIBMPEG2_SONAME, [](Mpeg2Library& f, const Binder& take) {
        return take("mpeg2_init", &f.Init) && take("mpeg2_close", &f.Close) &&
               take("mpeg2_info", &f.Info) && take("mpeg2_parse", &f.Parse) &&
               take("mpeg2_buffer", &f.Buffer) && take("mpeg2_getpos", &f.GetPos);
    });
}

void LoadPng(LoadedLibrary<PngLibrary>* p) {
    LoadOne(p, PICTOR_LIBPNG_SONAME, [](PngLibrary& f, const Binder& take) {
        return take("png_image_write_to_stdio", &f.WriteToStdio) && take("png_image_free", &f.Free);
    });
}

}  // namespace

const Mpeg2Library* LibMpeg2(std::string* error) {
    return LoadOnce<Mpeg2Library, LoadMpeg2>(error);
}

const PngLibrary* LibPng(std::string* error) { return LoadOnce<PngLibrary, LoadPng>(error); }
