// The transform variants this processor runs, by the names PICTOR_DCT takes, as a CMake list:
// the portable ones everywhere, the vector ones where the processor has their instructions.
#include <cstdio>

int main() {
    std::printf("reference;scalar");
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) std::printf(";avx2");
    if (__builtin_cpu_supports("avx512f")) std::printf(";avx512");
#endif
    return 0;
}
