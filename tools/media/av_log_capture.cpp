#include "media/av_log_capture.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <cstdio>

namespace {
AvLogCapture* gCurrent = nullptr;

void Callback(void* object, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING || gCurrent == nullptr) return;
    char line[1024];
    int prefix = 1;
    av_log_format_line2(object, level, format, args, line, sizeof line, &prefix);
    AvLogCaptureAppend(level, line);
}
}  // namespace

void AvLogCaptureAppend(int level, const char* line) {
    if (gCurrent == nullptr) return;
    gCurrent->text_ += line;
    if (!gCurrent->text_.empty() && gCurrent->text_.back() != '\n') gCurrent->text_ += '\n';
    if (level <= AV_LOG_ERROR) ++gCurrent->errors_;
}

AvLogCapture::AvLogCapture() : previous_(gCurrent) {
    gCurrent = this;
    av_log_set_callback(Callback);
}

AvLogCapture::~AvLogCapture() {
    gCurrent = previous_;
    if (gCurrent == nullptr) av_log_set_callback(av_log_default_callback);
}
