// libtiff handles whose errors and warnings are kept for the caller instead of
// being printed, with a bound on libtiff's single allocations.
#ifndef PICTOR_TOOLS_MEDIA_TIFF_HANDLE_H
#define PICTOR_TOOLS_MEDIA_TIFF_HANDLE_H

#include <cstdint>
#include <string>

#include "media/tiff_library.h"

struct TiffMessages {
    std::string firstError;
    std::string firstWarning;
    int errors = 0;
    int warnings = 0;
};

// A file read whole, as a memory handle reads it.
struct TiffMemoryFile {
    const unsigned char* bytes;
    uint64_t size;
    uint64_t at;
};

class TiffHandle {
public:
    // mode as for TIFFOpen; reading never memory-maps the file.
    TiffHandle(const std::string& path, const char* mode);
    // Takes over an open descriptor (closed by TIFFClose, or here when opening fails).
    TiffHandle(int fd, const std::string& name, const char* mode);
    // Reads the `size` bytes at `bytes`, a file read whole, named `name`; they outlive the handle.
    TiffHandle(const std::string& name, const unsigned char* bytes, size_t size, const char* mode);
    ~TiffHandle();
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;

    TIFF* get() const { return tif_; }
    // libtiff's functions; loaded whenever get() is not null.
    const TiffLibrary& tiff() const { return *lib_; }
    const TiffMessages& messages() const { return messages_; }
    // Counters back to zero, so a later step's messages are its own.
    void ClearMessages() { messages_ = TiffMessages{}; }
    // The first error, or `fallback` when libtiff said nothing.
    std::string ErrorOr(const std::string& fallback) const;
    // Closes now; false when libtiff reported an error while flushing.
    bool Close();

private:
    const TiffLibrary* lib_ = nullptr;
    TIFF* tif_ = nullptr;
    TiffMessages messages_;
    TiffMemoryFile memory_{nullptr, 0, 0};
};

#endif
