#include "media/tiff_handle.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

namespace {

// The decode buffers of a picture within kMaxPicturePixels stay far below this.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{512} << 20;

std::string Format(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    if (module != nullptr && *module != '\0') line = std::string(module) + ": " + line;
    return line;
}

int KeepError(TIFF*, void* data, const char* module, const char* format, va_list args) {
    TiffMessages* messages = static_cast<TiffMessages*>(data);
    if (messages->errors++ == 0) messages->firstError = Format(module, format, args);
    return 1;
}

int KeepWarning(TIFF*, void* data, const char* module, const char* format, va_list args) {
    TiffMessages* messages = static_cast<TiffMessages*>(data);
    if (messages->warnings++ == 0) messages->firstWarning = Format(module, format, args);
    return 1;
}

TIFFOpenOptions* QuietOptions(const TiffLibrary& t, TiffMessages* messages) {
    TIFFOpenOptions* options = t.OptionsAlloc();
    if (options == nullptr) return nullptr;
    t.OptionsSetMaxSingleMemAlloc(options, kMaxSingleAllocation);
    t.OptionsSetErrorHandler(options, KeepError, messages);
    t.OptionsSetWarningHandler(options, KeepWarning, messages);
    return options;
}

// libtiff, or null with the reason kept as the handle's first error.
const TiffLibrary* Loaded(TiffMessages* messages) {
    std::string why;
    const TiffLibrary* t = LibTiff(&why);
    if (t == nullptr) {
        messages->errors = 1;
        messages->firstError = why;
    }
    return t;
}

std::string NoMapMode(const char* mode) {
    std::string m = mode;
    if (m.find('r') != std::string::npos) m += 'm';
    return m;
}

}  // namespace

TiffHandle::TiffHandle(const std::string& path, const char* mode) : lib_(Loaded(&messages_)) {
    TIFFOpenOptions* options = lib_ != nullptr ? QuietOptions(*lib_, &messages_) : nullptr;
    if (options == nullptr) return;
    tif_ = lib_->OpenExt(path.c_str(), NoMapMode(mode).c_str(), options);
    lib_->OptionsFree(options);
}

TiffHandle::TiffHandle(int fd, const std::string& name, const char* mode)
    : lib_(Loaded(&messages_)) {
    TIFFOpenOptions* options = lib_ != nullptr ? QuietOptions(*lib_, &messages_) : nullptr;
    if (options != nullptr) {
        tif_ = lib_->FdOpenExt(fd, name.c_str(), NoMapMode(mode).c_str(), options);
        lib_->OptionsFree(options);
    }
    if (tif_ == nullptr) ::close(fd);
}

TiffHandle::~TiffHandle() { Close(); }

bool TiffHandle::Close() {
    if (tif_ == nullptr) return true;
    const int before = messages_.errors;
    lib_->Close(tif_);
    tif_ = nullptr;
    return messages_.errors == before;
}

std::string TiffHandle::ErrorOr(const std::string& fallback) const {
    return messages_.firstError.empty() ? fallback : messages_.firstError;
}
