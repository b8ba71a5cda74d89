// Bit writer of the output stream and the macroblock code list.
#include "coding/bit_writer.h"

#include <cstdio>

#include "runtime/registry.h"

BitWriter gBitWriter;
CodeList gCodeList;

namespace {

void WriteBuffer() {
    if (gBitWriter.out != nullptr && gBitWriter.buffered > 0)
        // Unchecked: a stream that cannot be written still ends its job as written.
        static_cast<void>(TrackedWrite(gBitWriter.buffer, static_cast<size_t>(gBitWriter.buffered),
                                       gBitWriter.out));
    gBitWriter.buffered = 0;
}

void EmitByte(uint8_t byte) {
    ++gBitWriter.bytesWritten;
    if (gBitWriter.out == nullptr) return;
    gBitWriter.buffer[gBitWriter.buffered++] = byte;
    if (gBitWriter.buffered == kBitWriterBufferBytes) WriteBuffer();
}

}  // namespace

void EmitWord(uint32_t word) {
    gBitWriter.bytesWritten += 4;
    if (gBitWriter.out == nullptr) return;
    if (gBitWriter.buffered > kBitWriterBufferBytes - 4) WriteBuffer();
    uint8_t* at = gBitWriter.buffer + gBitWriter.buffered;
    at[0] = static_cast<uint8_t>(word >> 24);
    at[1] = static_cast<uint8_t>(word >> 16);
    at[2] = static_cast<uint8_t>(word >> 8);
    at[3] = static_cast<uint8_t>(word);
    gBitWriter.buffered += 4;
}

void PutLongBits(uint32_t value, int n) {
    if (n < 1) return;
    // Bits above the 32 of the value are zeros.
    while (n > 32) {
        const int zeros = n - 32 > 32 ? 32 : n - 32;
        PutBits(0, zeros);
        n -= zeros;
    }
    PutBits(value, n);
}

void AlignToByte() {
    if (gBitWriter.pendingBits % 8 != 0) PutBits(0, 8 - gBitWriter.pendingBits % 8);
}

int32_t BitsWritten() { return 8 * gBitWriter.bytesWritten + gBitWriter.pendingBits; }

// The stream is the driver's, attached after the reset.
void ResetBitWriter() {
    gBitWriter.accumulator = 0;
    gBitWriter.pendingBits = 0;
    gBitWriter.bytesWritten = 0;
    gBitWriter.out = nullptr;
    gBitWriter.buffered = 0;
}

void FlushBitWriter() {
    while (gBitWriter.pendingBits >= 8) {
        gBitWriter.pendingBits -= 8;
        EmitByte(static_cast<uint8_t>(gBitWriter.accumulator >> gBitWriter.pendingBits));
    }
    WriteBuffer();
}

BitWriterMark MarkBitWriter() {
    // A macroblock's code is at most 6 blocks of 63 escaped pairs and their DC, ends and the
    // headers: well under this room.
    constexpr int32_t kMacroblockRoom = 4096;
    if (gBitWriter.buffered > kBitWriterBufferBytes - kMacroblockRoom) WriteBuffer();
    return BitWriterMark{BitsWritten(), gBitWriter.accumulator, gBitWriter.pendingBits,
                         gBitWriter.bytesWritten, gBitWriter.buffered};
}

void RewindBitWriter(const BitWriterMark& mark) {
    gBitWriter.accumulator = mark.accumulator;
    gBitWriter.pendingBits = mark.pendingBits;
    gBitWriter.bytesWritten = mark.bytesWritten;
    gBitWriter.buffered = mark.buffered;
}

void StartCodeList() { gCodeList.count = 0; }

void QueueBits(uint32_t value, int length) {
    // 1159 pairs are the most a macroblock can need, so the capacity is never reached.
    if (gCodeList.count >= kCodeListCapacity) return;
    gCodeList.values[gCodeList.count] = value;
    gCodeList.lengths[gCodeList.count] = length;
    ++gCodeList.count;
}

int32_t QueuedBits() {
    int32_t bits = 0;
    for (int32_t i = 0; i < gCodeList.count; ++i) bits += gCodeList.lengths[i];
    return bits;
}

void FlushQueue() {
    for (int32_t i = 0; i < gCodeList.count; ++i)
        PutBits(gCodeList.values[i], gCodeList.lengths[i]);
}
