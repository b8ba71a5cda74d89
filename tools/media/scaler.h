// libswscale and libavutil, loaded when a picture is first scaled or previewed. Most runs never
// scale, and loading them with everything libavutil links in cost every run a millisecond.
#ifndef PICTOR_TOOLS_MEDIA_SCALER_H
#define PICTOR_TOOLS_MEDIA_SCALER_H

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <string>

// The functions the command calls, with the libraries' own types.
struct ScalerLibrary {
    decltype(&sws_getContext) getContext;
    decltype(&sws_scale) scale;
    decltype(&sws_freeContext) freeContext;
    decltype(&sws_getCoefficients) getCoefficients;
    decltype(&sws_setColorspaceDetails) setColorspaceDetails;
    decltype(&av_malloc) malloc;
    decltype(&av_free) free;
    decltype(&av_log_set_callback) logSetCallback;
    decltype(&av_log_default_callback) logDefaultCallback;
    decltype(&av_log_format_line2) logFormatLine;
};

// The libraries of the major versions the command was built with, loaded once for the life of
// the process; null with `error` when they cannot be.
const ScalerLibrary* Scaler(std::string* error);

#endif
