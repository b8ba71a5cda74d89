// Bit writer of the output stream and the macroblock code list.
#include "coding/bit_writer.h"

#include <cstdio>

#include "runtime/registry.h"

thread_local BitWriter* tBitWriter = nullptr;
thread_local CodeList* tCodeList = nullptr;

namespace {

void WriteBuffer() {
    if (tBitWriter->out != nullptr && tBitWriter->buffered > 0)
        // Unchecked: a stream that cannot be written still ends its job as written.
        static_cast<void>(TrackedWrite(tBitWriter->buffer,
                                       static_cast<size_t>(tBitWriter->buffered), tBitWriter->out));
    tBitWriter->buffered = 0;
}

void EmitByte(uint8_t byte) {
    ++tBitWriter->bytesWritten;
    if (tBitWriter->out == nullptr) return;
    tBitWriter->buffer[tBitWriter->buffered++] = byte;
    if (tBitWriter->buffered == kBitWriterBufferBytes) WriteBuffer();
}

}  // namespace

void EmitWord(uint32_t word) {
    tBitWriter->bytesWritten += 4;
    if (tBitWriter->out == nullptr) return;
    if (tBitWriter->buffered > kBitWriterBufferBytes - 4) WriteBuffer();
    uint8_t* at = tBitWriter->buffer + tBitWriter->buffered;
    at[0] = static_cast<uint8_t>(word >> 24);
    at[1] = static_cast<uint8_t>(word >> 16);
    at[2] = static_cast<uint8_t>(word >> 8);
    at[3] = static_cast<uint8_t>(word);
    tBitWriter->buffered += 4;
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
    if (tBitWriter->pendingBits % 8 != 0) PutBits(0, 8 - tBitWriter->pendingBits % 8);
}

int32_t BitsWritten() { return 8 * tBitWriter->bytesWritten + tBitWriter->pendingBits; }

// The stream is the driver's, attached after the reset.
void ResetBitWriter() {
    tBitWriter->accumulator = 0;
    tBitWriter->pendingBits = 0;
    tBitWriter->bytesWritten = 0;
    tBitWriter->out = nullptr;
    tBitWriter->buffered = 0;
}

void FlushBitWriter() {
    while (tBitWriter->pendingBits >= 8) {
        tBitWriter->pendingBits -= 8;
        EmitByte(static_cast<uint8_t>(tBitWriter->accumulator >> tBitWriter->pendingBits));
    }
    WriteBuffer();
}

void EnsureMacroblockRoom() {
    if (tBitWriter->buffered > kBitWriterBufferBytes - kMacroblockRoom) WriteBuffer();
}

// The same room as a macroblock's writer asks for: it then never writes out what an attempt
// may take back.
BitWriterMark MarkBitWriter() {
    EnsureMacroblockRoom();
    return BitWriterMark{BitsWritten(), tBitWriter->accumulator, tBitWriter->pendingBits,
                         tBitWriter->bytesWritten, tBitWriter->buffered};
}

void RewindBitWriter(const BitWriterMark& mark) {
    tBitWriter->accumulator = mark.accumulator;
    tBitWriter->pendingBits = mark.pendingBits;
    tBitWriter->bytesWritten = mark.bytesWritten;
    tBitWriter->buffered = mark.buffered;
}

void StartCodeList() { tCodeList->count = 0; }

void QueueBits(uint32_t value, int length) {
    // 1159 pairs are the most a macroblock can need, so the capacity is never reached.
    if (tCodeList->count >= kCodeListCapacity) return;
    tCodeList->values[tCodeList->count] = value;
    tCodeList->lengths[tCodeList->count] = length;
    ++tCodeList->count;
}

int32_t QueuedBits() {
    int32_t bits = 0;
    for (int32_t i = 0; i < tCodeList->count; ++i) bits += tCodeList->lengths[i];
    return bits;
}

void FlushQueue() {
    for (int32_t i = 0; i < tCodeList->count; ++i)
        PutBits(tCodeList->values[i], tCodeList->lengths[i]);
}
