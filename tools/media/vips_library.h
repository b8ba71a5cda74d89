// libvips and the GLib calls its objects need, loaded when a picture is first decoded or scaled:
// a job file's run and a TIFF the library takes as it is never load it and the hundred libraries
// it links in.
#ifndef PICTOR_TOOLS_MEDIA_VIPS_LIBRARY_H
#define PICTOR_TOOLS_MEDIA_VIPS_LIBRARY_H

#include <vips/vips.h>

#include <string>

// The functions the command calls, with libvips's own types.
struct VipsLibrary {
    decltype(&vips_pngload) pngload;
    decltype(&vips_jpegload) jpegload;
    decltype(&vips_tiffload) tiffload;
    decltype(&vips_gifload) gifload;
    decltype(&vips_webpload) webpload;
    decltype(&vips_heifload) heifload;
    decltype(&vips_image_get_width) width;
    decltype(&vips_image_get_height) height;
    decltype(&vips_image_get_bands) bands;
    decltype(&vips_image_get_typeof) typeOf;
    decltype(&vips_image_get_int) getInt;
    decltype(&vips_image_get_n_pages) pages;
    decltype(&vips_image_get_interpretation) interpretation;
    decltype(&vips_image_get_format) format;
    decltype(&vips_image_hasalpha) hasAlpha;
    decltype(&vips_autorot) autorot;
    decltype(&vips_icc_transform) iccTransform;
    decltype(&vips_colourspace) colourspace;
    decltype(&vips_cast) cast;
    decltype(&vips_linear1) linear1;
    decltype(&vips_copy) copy;
    decltype(&vips_flatten) flatten;
    decltype(&vips_extract_band) extractBand;
    decltype(&vips_extract_area) extractArea;
    decltype(&vips_embed) embed;
    decltype(&vips_resize) resize;
    decltype(&vips_array_double_new) arrayDouble;
    decltype(&vips_area_unref) areaUnref;
    decltype(&vips_image_new_from_memory) fromMemory;
    decltype(&vips_image_write_to_memory) toMemory;
    decltype(&vips_error_buffer_copy) errorCopy;
    decltype(&g_object_unref) unref;
    decltype(&g_free) free;
};

// libvips started once for the life of the process (loaders of untrusted formats blocked, its
// warnings kept off standard error); null with `error` when it cannot be.
const VipsLibrary* Vips(std::string* error);

// libvips's pending error text in one line, cleared; `fallback` when there is none.
std::string VipsError(const VipsLibrary& vips, const std::string& fallback);

// Holds one reference to a VipsImage; every call that makes an image hands over one.
class VipsRef {
public:
    explicit VipsRef(const VipsLibrary& vips, VipsImage* image = nullptr)
        : vips_(vips), image_(image) {}
    VipsRef(const VipsRef&) = delete;
    VipsRef& operator=(const VipsRef&) = delete;
    ~VipsRef() { reset(nullptr); }
    VipsImage* get() const { return image_; }
    // Takes `image`, dropping the one held.
    void reset(VipsImage* image) {
        if (image_ != nullptr) vips_.unref(image_);
        image_ = image;
    }

private:
    const VipsLibrary& vips_;
    VipsImage* image_;
};

#endif
