/* The processor's vector features as glibc recorded them when the process started. glibc's
 * header for that record is written for C, so it is read here, in C. */
#if (defined(__x86_64__) || defined(__i386__)) && defined(__has_include)
#if __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#define PICTOR_CPU_RECORD 1
#endif
#endif

/* Non-zero when the feature is usable (the operating system keeps its registers): AVX2 for
 * `wide` 0, AVX-512F for 1, AVX-512F with the byte instructions (BW), byte permutes (VBMI) and
 * byte compresses (VBMI2) for 2. */
int PictorCpuRecord(int wide);

int PictorCpuRecord(int wide) {
#if defined(PICTOR_CPU_RECORD)
    if (wide == 2) {
        return CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW) &&
               CPU_FEATURE_ACTIVE(AVX512_VBMI) && CPU_FEATURE_ACTIVE(AVX512_VBMI2);
    }
    return wide ? CPU_FEATURE_ACTIVE(AVX512F) : CPU_FEATURE_ACTIVE(AVX2);
#elif defined(__x86_64__) || defined(__i386__)
    if (wide == 2) {
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2");
    }
    return (wide ? __builtin_cpu_supports("avx512f") : __builtin_cpu_supports("avx2")) != 0;
#else
    (void)wide;
    return 0;
#endif
}
