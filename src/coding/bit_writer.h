// Bit writer of the output stream and the macroblock code list.
#ifndef PICTOR_CODING_BIT_WRITER_H
#define PICTOR_CODING_BIT_WRITER_H

#include <cstdint>
#include <cstdio>

// Bits go out most significant first. They gather in a 64-bit accumulator and go on as whole
// 32-bit words into a buffer, which goes to the stream in one write when it is full and when the
// driver closes the stream: the stream receives the bytes it would receive one at a time.
constexpr int32_t kBitWriterBufferBytes = 256 * 1024;
struct BitWriter {
    uint64_t accumulator;  // new bits shift in at the least significant end
    int32_t pendingBits;   // bits of the accumulator not yet emitted, 0..31 between puts
    int32_t bytesWritten;  // bytes emitted since the last reset
    FILE* out;             // the open stream of a final attempt; null: nothing is emitted
    int32_t buffered;      // bytes of `buffer` not yet written to `out`
    uint8_t buffer[kBitWriterBufferBytes];
};
extern thread_local BitWriter* tBitWriter;

// The low n bits of value (n < 1: none; above 32 the value's bits follow zeros).
void PutLongBits(uint32_t value, int n);
void EmitWord(uint32_t word);
inline void PutBits(uint32_t value, int n) {
    if (n < 1 || n > 32) return PutLongBits(value, n);
    tBitWriter->accumulator = tBitWriter->accumulator << n | (value & (0xFFFFFFFFu >> (32 - n)));
    tBitWriter->pendingBits += n;
    if (tBitWriter->pendingBits >= 32) {
        tBitWriter->pendingBits -= 32;
        EmitWord(static_cast<uint32_t>(tBitWriter->accumulator >> tBitWriter->pendingBits));
    }
}
void AlignToByte();
[[nodiscard]] int32_t BitsWritten();
// Starts counting from 0 again; the stream is detached and the buffer emptied without a write.
void ResetBitWriter();
// Writes every whole byte put so far to the stream (the driver calls it before closing the
// stream).
void FlushBitWriter();
// A point of the stream that a macroblock attempt may go back to: the writer as it stands, with
// room in the buffer for any macroblock's code, so nothing put after it has reached the stream.
struct BitWriterMark {
    int32_t bits;  // BitsWritten() there
    uint64_t accumulator;
    int32_t pendingBits;
    int32_t bytesWritten;
    int32_t buffered;
};
[[nodiscard]] BitWriterMark MarkBitWriter();
void RewindBitWriter(const BitWriterMark& mark);

// One macroblock's code, held until the coding pass accepts it.
constexpr int kCodeListCapacity = 1350;
struct CodeList {
    uint32_t values[kCodeListCapacity];
    int32_t lengths[kCodeListCapacity];
    int32_t count;
};
extern thread_local CodeList* tCodeList;

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
