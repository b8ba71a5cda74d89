#include "media/vips_library.h"

#include "media/loaded_library.h"

namespace {

constexpr const char* kVips = PICTOR_LIBVIPS_SONAME;
constexpr const char* kGlib = "libglib-2.0.so.0";
constexpr const char* kGobject = "libgobject-2.0.so.0";

void Quiet(const char*, GLogLevelFlags, const char*, void*) {}

bool Start(void* vips, void* glib, std::string* error) {
    int (*init)(const char*) = nullptr;
    void (*blockUntrusted)(gboolean) = nullptr;
    void (*cacheSetMax)(int) = nullptr;
    decltype(&g_log_set_handler) logSetHandler = nullptr;
    if (!Resolve(vips, kVips, "vips_init", &init, error) ||
        !Resolve(vips, kVips, "vips_block_untrusted_set", &blockUntrusted, error) ||
        !Resolve(vips, kVips, "vips_cache_set_max", &cacheSetMax, error) ||
        !Resolve(glib, kGlib, "g_log_set_handler", &logSetHandler, error))
        return false;
    if (init("pictor") != 0) {
        *error = "libvips cannot start";
        return false;
    }
    // Only the loaders of the forms the command names are called; the rest stay blocked.
    blockUntrusted(TRUE);
    // Each picture is decoded once: nothing is worth keeping between jobs.
    cacheSetMax(0);
    const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                    G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
    logSetHandler("VIPS", levels, Quiet, nullptr);
    return true;
}

void Load(LoadedLibrary<VipsLibrary>* v) {
    void* const vips = OpenLibrary(kVips, &v->error);
    void* const glib = vips != nullptr ? OpenLibrary(kGlib, &v->error) : nullptr;
    void* const gobject = glib != nullptr ? OpenLibrary(kGobject, &v->error) : nullptr;
    if (gobject == nullptr) return;
    VipsLibrary& f = v->functions;
    auto take = [&](const char* name, auto* slot) {
        return Resolve(vips, kVips, name, slot, &v->error);
    };
    const bool images =
        take("vips_pngload", &f.pngload) && take("vips_jpegload", &f.jpegload) &&
        take("vips_tiffload", &f.tiffload) && take("vips_gifload", &f.gifload) &&
        take("vips_webpload", &f.webpload) && take("vips_heifload", &f.heifload) &&
        take("vips_image_get_width", &f.width) && take("vips_image_get_height", &f.height) &&
        take("vips_image_get_bands", &f.bands) && take("vips_image_get_typeof", &f.typeOf) &&
        take("vips_image_get_int", &f.getInt) && take("vips_image_get_n_pages", &f.pages) &&
        take("vips_image_get_interpretation", &f.interpretation) &&
        take("vips_image_get_format", &f.format) && take("vips_image_hasalpha", &f.hasAlpha);
    const bool operations =
        images && take("vips_autorot", &f.autorot) && take("vips_icc_transform", &f.iccTransform) &&
        take("vips_colourspace", &f.colourspace) && take("vips_cast", &f.cast) &&
        take("vips_linear1", &f.linear1) && take("vips_copy", &f.copy) &&
        take("vips_flatten", &f.flatten) && take("vips_extract_band", &f.extractBand) &&
        take("vips_extract_area", &f.extractArea) && take("vips_embed", &f.embed) &&
        take("vips_resize", &f.resize) && take("vips_array_double_new", &f.arrayDouble) &&
        take("vips_area_unref", &f.areaUnref) &&
        take("vips_image_new_from_memory", &f.fromMemory) &&
        take("vips_image_write_to_memory", &f.toMemory) &&
        take("vips_error_buffer_copy", &f.errorCopy);
    v->loaded = operations && Resolve(gobject, kGobject, "g_object_unref", &f.unref, &v->error) &&
                Resolve(glib, kGlib, "g_free", &f.free, &v->error) && Start(vips, glib, &v->error);
}

}  // namespace

const VipsLibrary* Vips(std::string* error) { return LoadOnce<VipsLibrary, Load>(error); }

std::string VipsError(const VipsLibrary& vips, const std::string& fallback) {
    char* copy = vips.errorCopy();
    std::string text = copy != nullptr ? copy : "";
    vips.free(copy);
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text.empty() ? fallback : text;
}
