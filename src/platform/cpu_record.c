/* The processor's vector features as glibc recorded them when the process started. glibc's
 * header for that record is written for C, so it is read here, in C. */
#if (defined(__x86_64__) || defined(__i386__)) && defined(__has_include)
#if __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#define PICTOR_CPU_RECORD 1
#endif
#endif

/* Each returns non-zero when the feature is usable (the operating system keeps its registers). */
int PictorCpuRecordAvx2(void);
int PictorCpuRecordAvx512f(void);

int PictorCpuRecordAvx2(void) {
#if defined(PICTOR_CPU_RECORD)
    return CPU_FEATURE_ACTIVE(AVX2);
#elif defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx2") != 0;
#else
    return 0;
#endif
}

int PictorCpuRecordAvx512f(void) {
#if defined(PICTOR_CPU_RECORD)
    return CPU_FEATURE_ACTIVE(AVX512F);
#elif defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx512f") != 0;
#else
    return 0;
#endif
}
