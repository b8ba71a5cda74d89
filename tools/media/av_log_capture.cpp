#include "media/av_log_capture.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace {
// Each thread's innermost capture: captures on different threads keep their own messages.
thread_local AvLogCapture* gCurrent = nullptr;
// The library's own printing, for messages of threads that capture nothing.
std::atomic<decltype(&av_log_default_callback)> gDefault{nullptr};

void Callback(void* object, int level, const char* format, va_list args) {
    if (gCurrent == nullptr) {
        const auto print = gDefault.load();
        if (print != nullptr) print(object, level, format, args);
        return;
    }
    if (level > AV_LOG_WARNING) return;
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
    // Installed once for the process: the callback stays, and prints what no capture keeps.
    static std::once_flag installed;
    std::call_once(installed, [&library] {
        gDefault.store(library.logDefaultCallback);
        library.logSetCallback(Callback);
    });
}

AvLogCapture::~AvLogCapture() { gCurrent = previous_; }
