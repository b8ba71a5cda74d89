// The sonames of the FFmpeg libraries the command loads at first use: those of the headers it
// was built with, so the functions looked up match the declarations they are called through.
#ifndef PICTOR_TOOLS_MEDIA_AV_SONAMES_H
#define PICTOR_TOOLS_MEDIA_AV_SONAMES_H

extern "C" {
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
#include <libswscale/version.h>
}

#define PICTOR_AV_STRING(x) #x
#define PICTOR_AV_SONAME(name, major) "lib" name ".so." PICTOR_AV_STRING(major)

constexpr const char* kAvutil = PICTOR_AV_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR);
constexpr const char* kAvcodec = PICTOR_AV_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR);
constexpr const char* kAvformat = PICTOR_AV_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR);
constexpr const char* kSwscale = PICTOR_AV_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR);

#endif
