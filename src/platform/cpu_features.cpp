#include "platform/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#if __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
// glibc's record of the processor, with the operating system's support for the wide
// registers already taken into account.
#define PICTOR_ACTIVE(glibcName, gccName) CPU_FEATURE_ACTIVE(glibcName)
#else
#define PICTOR_ACTIVE(glibcName, gccName) __builtin_cpu_supports(gccName)
#endif
#else
#define PICTOR_ACTIVE(glibcName, gccName) false
#endif

bool CpuHasAvx2() {
    static const bool has = PICTOR_ACTIVE(AVX2, "avx2");
    return has;
}

bool CpuHasAvx512f() {
    static const bool has = PICTOR_ACTIVE(AVX512F, "avx512f");
    return has;
}
