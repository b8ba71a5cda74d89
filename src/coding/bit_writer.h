// Bit writer of the output stream and the macroblock code list.
#ifndef PICTOR_CODING_BIT_WRITER_H
#define PICTOR_CODING_BIT_WRITER_H

#include <cstdint>
#include <cstdio>

// Bits go out most significant first, one byte at a time through putc.
struct BitWriter {
    uint8_t accumulator;   // new bits shift in at the least significant end
    int32_t freeBits;      // 8 after a reset; a byte goes out when it reaches 0
    int32_t bytesWritten;  // bytes emitted since the last reset
    FILE* out;             // the open stream of a final attempt; null: nothing is emitted
};
extern BitWriter gBitWriter;

void PutBits(uint32_t value, int n);
void AlignToByte();
[[nodiscard]] int32_t BitsWritten();
void ResetBitWriter();

// One macroblock's code, held until the coding pass accepts it.
constexpr int kCodeListCapacity = 1350;
struct CodeList {
    uint32_t values[kCodeListCapacity];
    int32_t lengths[kCodeListCapacity];
    int32_t count;
};
extern CodeList gCodeList;

// Starts a fresh list for a macroblock attempt; also the list's reset.
void StartCodeList();
void QueueBits(uint32_t value, int length);
[[nodiscard]] int32_t QueuedBits();
// PutBits of every queued pair, in order; the list stays as it is.
void FlushQueue();

// A fixed-length syntax element of the stream, by its width; its value goes out as the low
// `bits` bits (two's complement for a negative one).
struct SyntaxElement {
    int bits;
};
inline void Put(SyntaxElement element, uint32_t value) { PutBits(value, element.bits); }
inline void Queue(SyntaxElement element, uint32_t value) { QueueBits(value, element.bits); }

#endif
