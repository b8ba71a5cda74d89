// Bit writer of the output stream and the macroblock code list.
#include "coding/bit_writer.h"

#include "api/registry.h"

BitWriter gBitWriter = {0, 8, 0, nullptr};
CodeList gCodeList;

void PutBits(uint32_t value, int n) {
    // Most significant of the n bits first; a full accumulator goes out at once.
    for (int i = n - 1; i >= 0; --i) {
        const uint32_t bit = i < 32 ? (value >> i) & 1u : 0u;
        gBitWriter.accumulator = static_cast<uint8_t>((gBitWriter.accumulator << 1) | bit);
        if (--gBitWriter.freeBits == 0) {
            // Unchecked: a stream that cannot be written still ends its job as written.
            if (gBitWriter.out != nullptr)
                static_cast<void>(TrackedWrite(&gBitWriter.accumulator, 1, gBitWriter.out));
            gBitWriter.freeBits = 8;
            ++gBitWriter.bytesWritten;
        }
    }
}

void AlignToByte() {
    if (gBitWriter.freeBits != 8) PutBits(0, gBitWriter.freeBits);
}

int32_t BitsWritten() { return 8 * gBitWriter.bytesWritten + 8 - gBitWriter.freeBits; }

// The stream is the driver's, attached after the reset.
void ResetBitWriter() { gBitWriter = BitWriter{0, 8, 0, nullptr}; }

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
