#include "media/scaler.h"

#include <dlfcn.h>

#include <mutex>

namespace {

#define PICTOR_STRING(x) #x
#define PICTOR_SONAME(name, major) "lib" name ".so." PICTOR_STRING(major)

struct LoadedScaler {
    ScalerLibrary functions{};
    bool loaded = false;
    std::string error;
};

// Each name into its slot; false with `error` at the first that is missing.
template <typename Function>
bool Resolve(void* library, const char* name, Function* slot, std::string* error) {
    *slot = reinterpret_cast<Function>(dlsym(library, name));
    if (*slot == nullptr) *error = std::string("no ") + name + " in libswscale or libavutil";
    return *slot != nullptr;
}

void Load(LoadedScaler* s) {
    const char* names[2] = {PICTOR_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR),
                            PICTOR_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR)};
    void* libraries[2] = {nullptr, nullptr};
    for (int k = 0; k < 2; ++k) {
        libraries[k] = dlopen(names[k], RTLD_NOW | RTLD_LOCAL);
        if (libraries[k] == nullptr) {
            const char* why = dlerror();
            s->error =
                std::string("cannot load ") + names[k] + (why ? std::string(": ") + why : "");
            return;
        }
    }
    void* const avutil = libraries[0];
    void* const swscale = libraries[1];
    ScalerLibrary& f = s->functions;
    std::string* e = &s->error;
    s->loaded = Resolve(swscale, "sws_getContext", &f.getContext, e) &&
                Resolve(swscale, "sws_scale", &f.scale, e) &&
                Resolve(swscale, "sws_freeContext", &f.freeContext, e) &&
                Resolve(swscale, "sws_getCoefficients", &f.getCoefficients, e) &&
                Resolve(swscale, "sws_setColorspaceDetails", &f.setColorspaceDetails, e) &&
                Resolve(avutil, "av_malloc", &f.malloc, e) &&
                Resolve(avutil, "av_free", &f.free, e) &&
                Resolve(avutil, "av_log_set_callback", &f.logSetCallback, e) &&
                Resolve(avutil, "av_log_default_callback", &f.logDefaultCallback, e) &&
                Resolve(avutil, "av_log_format_line2", &f.logFormatLine, e);
}

}  // namespace

const ScalerLibrary* Scaler(std::string* error) {
    // Loaded once and never unloaded: contexts and buffers of the libraries may outlive a call.
    static LoadedScaler scaler;
    static std::once_flag once;
    std::call_once(once, [] { Load(&scaler); });
    if (!scaler.loaded) {
        *error = scaler.error;
        return nullptr;
    }
    return &scaler.functions;
}
