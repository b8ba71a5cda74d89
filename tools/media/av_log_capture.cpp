#include "media/av_log_capture.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
AvLogCapture* gCurrent = nullptr;

void Callback(void* object, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING || gCurrent == nullptr) return;
    char text[1024];
    int prefix = 0;
    gCurrent->library().logFormatLine(object, level, format, args, text, sizeof text, &prefix);
    // "mpeg2video: ...", without the context's address that FFmpeg prints.
    const AVClass* type = object != nullptr ? *static_cast<const AVClass* const*>(object) : nullptr;
    std::string line = type != nullptr && type->item_name != nullptr
                           ? std::string(type->item_name(object)) + ": " + text
                           : std::string(text);
    AvLogCaptureAppend(level, line.c_str());
}
}  // namespace

void AvLogCaptureAppend(int level, const char* line) {
    if (gCurrent == nullptr) return;
    gCurrent->text_ += line;
    if (!gCurrent->text_.empty() && gCurrent->text_.back() != '\n') gCurrent->text_ += '\n';
    if (level <= AV_LOG_ERROR) ++gCurrent->errors_;
}

AvLogCapture::AvLogCapture(const ScalerLibrary& library) : previous_(gCurrent), library_(library) {
    gCurrent = this;
    library_.logSetCallback(Callback);
}

AvLogCapture::~AvLogCapture() {
    gCurrent = previous_;
    if (gCurrent == nullptr) library_.logSetCallback(library_.logDefaultCallback);
}
