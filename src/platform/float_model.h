// The stream depends on every double result to the bit, as IEEE double arithmetic gives it.
#ifndef PICTOR_PLATFORM_FLOAT_MODEL_H
#define PICTOR_PLATFORM_FLOAT_MODEL_H

#if defined(__i386__) && !defined(__SSE2_MATH__)
#error "x86-32 needs -msse2 -mfpmath=sse: x87 registers keep doubles at 80 bits and change streams"
#endif

#endif
