// Compiled with -m32: the header's static assertions pin the 32-bit layout.
#include <cstdio>

#include "pictor/pictor.h"

static_assert(sizeof(char*) == 4, "this check is for 32-bit builds");
static_assert(sizeof(JobContext) == 3408, "a 32-bit caller's record is 3408 bytes");
static_assert(offsetof(JobContext, streamPath) == 2384, "streamPath");

int main() {
    std::printf("JobContext: %u bytes on a 32-bit build\n",
                static_cast<unsigned>(sizeof(JobContext)));
    return 0;
}
