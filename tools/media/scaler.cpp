#include "media/scaler.h"

#include "media/av_sonames.h"
#include "media/loaded_library.h"

namespace {

void Load(LoadedLibrary<ScalerLibrary>* s) {
    void* const avutil = OpenLibrary(kAvutil, &s->error);
    void* const swscale = avutil != nullptr ? OpenLibrary(kSwscale, &s->error) : nullptr;
    if (swscale == nullptr) return;
    ScalerLibrary& f = s->functions;
    const Binder scale{swscale, kSwscale, &s->error};
    const Binder util{avutil, kAvutil, &s->error};
    s->loaded = scale("sws_getContext", &f.getContext) && scale("sws_scale", &f.scale) &&
                scale("sws_freeContext", &f.freeContext) &&
                scale("sws_getCoefficients", &f.getCoefficients) &&
                scale("sws_setColorspaceDetails", &f.setColorspaceDetails) &&
                util("av_malloc", &f.malloc) && util("av_free", &f.free) &&
                util("av_log_set_callback", &f.logSetCallback) &&
                util("av_log_default_callback", &f.logDefaultCallback) &&
                util("av_log_format_line2", &f.logFormatLine);
}

}  // namespace

const ScalerLibrary* Scaler(std::string* error) { return LoadOnce<ScalerLibrary, Load>(error); }
