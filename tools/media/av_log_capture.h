// Keeps what FFmpeg's libraries log while one step runs, instead of printing it.
#ifndef PICTOR_TOOLS_MEDIA_AV_LOG_CAPTURE_H
#define PICTOR_TOOLS_MEDIA_AV_LOG_CAPTURE_H

#include <string>

#include "media/scaler.h"

// The log callback's way in; appends to the innermost live capture, if any.
void AvLogCaptureAppend(int level, const char* line);

// While an object lives, messages at warning level or worse are appended to
// text() (one per line) and nothing is printed. A capture keeps the messages of
// its own thread; another thread's are kept by that thread's capture, or printed.
class AvLogCapture {
public:
    explicit AvLogCapture(const ScalerLibrary& library);
    ~AvLogCapture();
    AvLogCapture(const AvLogCapture&) = delete;
    AvLogCapture& operator=(const AvLogCapture&) = delete;
    const std::string& text() const { return text_; }
    // Messages at error level or worse.
    int errors() const { return errors_; }
    const ScalerLibrary& library() const { return library_; }

private:
    friend void AvLogCaptureAppend(int level, const char* line);
    std::string text_;
    int errors_ = 0;
    AvLogCapture* previous_ = nullptr;
    const ScalerLibrary& library_;
};

#endif
