#include "media/tiff_handle.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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

// libtiff's file procedures over a file read whole; the handle is the TiffHandle's memory_.
TiffMemoryFile* Memory(thandle_t handle) { return static_cast<TiffMemoryFile*>(handle); }

tmsize_t ReadMemory(thandle_t handle, void* into, tmsize_t length) {
    TiffMemoryFile* m = Memory(handle);
    if (length <= 0 || m->at >= m->size) return 0;
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(length), m->size - m->at);
    std::memcpy(into, m->bytes + m->at, static_cast<size_t>(n));
    m->at += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteNothing(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekMemory(thandle_t handle, toff_t offset, int whence) {
    TiffMemoryFile* m = Memory(handle);
    // Offsets are unsigned: a move back from the current place or the end wraps, as off_t would
    // go negative; anything past the end reads as nothing.
    const uint64_t from = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->size : 0;
    m->at = from + offset;
    return m->at;
}

int CloseNothing(thandle_t) { return 0; }
toff_t MemorySize(thandle_t handle) { return Memory(handle)->size; }
int MapNothing(thandle_t, void**, toff_t*) { return 0; }
void UnmapNothing(thandle_t, void*, toff_t) {}

// open(options) with libtiff's messages kept in `messages`; null when libtiff is not loaded.
template <typename Open>
TIFF* OpenQuietly(const TiffLibrary* lib, TiffMessages* messages, Open open) {
    TIFFOpenOptions* options = lib != nullptr ? QuietOptions(*lib, messages) : nullptr;
    if (options == nullptr) return nullptr;
    TIFF* const tif = open(options);
    lib->OptionsFree(options);
    return tif;
}

}  // namespace

TiffHandle::TiffHandle(const std::string& path, const char* mode) : lib_(Loaded(&messages_)) {
    tif_ = OpenQuietly(lib_, &messages_, [&](TIFFOpenOptions* options) {
        return lib_->OpenExt(path.c_str(), NoMapMode(mode).c_str(), options);
    });
}

TiffHandle::TiffHandle(int fd, const std::string& name, const char* mode)
    : lib_(Loaded(&messages_)) {
    tif_ = OpenQuietly(lib_, &messages_, [&](TIFFOpenOptions* options) {
        return lib_->FdOpenExt(fd, name.c_str(), NoMapMode(mode).c_str(), options);
    });
    if (tif_ == nullptr) ::close(fd);
}

TiffHandle::TiffHandle(const std::string& name, const unsigned char* bytes, size_t size,
                       const char* mode)
    : lib_(Loaded(&messages_)), memory_{bytes, size, 0} {
    tif_ = OpenQuietly(lib_, &messages_, [&](TIFFOpenOptions* options) {
        return lib_->ClientOpenExt(name.c_str(), NoMapMode(mode).c_str(), &memory_, ReadMemory,
                                   WriteNothing, SeekMemory, CloseNothing, MemorySize, MapNothing,
                                   UnmapNothing, options);
    });
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
