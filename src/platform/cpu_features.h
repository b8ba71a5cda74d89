// The vector instruction sets the fast paths use. The C library reads the processor once when
// the process starts; its answers are taken here rather than asking the processor again, which
// on a virtual machine traps to the hypervisor every time. Fixed for the life of the process.
#ifndef PICTOR_PLATFORM_CPU_FEATURES_H
#define PICTOR_PLATFORM_CPU_FEATURES_H

[[nodiscard]] bool CpuHasAvx2();
[[nodiscard]] bool CpuHasAvx512f();
// AVX-512F with its byte instructions (BW), byte permutes (VBMI) and compresses (VBMI2).
[[nodiscard]] bool CpuHasAvx512Vbmi2();

#endif
