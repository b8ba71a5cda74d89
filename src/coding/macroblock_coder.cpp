// Intra macroblocks into the macroblock code list: slice header, macroblock
// header, and per block the DC differential and the AC run/level codes.
#include "coding/macroblock_coder.h"

#include "coding/bit_writer.h"
#include "coding/scan.h"
#include "coding/vlc_tables.h"
#include "params/settings.h"

RunningDc gRunningDc;

namespace {

constexpr uint32_t kEscapeCode = 0x01;  // 000001
constexpr uint32_t kEndOfBlock = 0x06;  // 0110

// Component of block b: 0 luminance, 1 Cb, 2 Cr.
int Component(int blockIndex) { return blockIndex < 4 ? 0 : blockIndex - 3; }

void ResetDcPredictors() {
    const int32_t reset = 128 << (gSettings.IntraDCPrecision & 3);
    for (int c = 0; c < 3; ++c) gRunningDc.value[c] = reset;
}

void QueueRunLevel(int run, int32_t level) {
    static const AcIndex& index = AcCodeIndex();
    if (const AcCode* code = FindAcCode(index, run, level)) {
        QueueBits(code->code, code->length);
        return;
    }
    QueueBits(kEscapeCode, 6);
    QueueBits(static_cast<uint32_t>(run), 6);
    QueueBits(static_cast<uint32_t>(level) & 0xFFFu, 12);
}

}  // namespace

void ResetRunningDc() { gRunningDc = RunningDc{}; }

void EncodeIntraBlock(int blockIndex, const int32_t* levels) {
    const int component = Component(blockIndex);
    const int32_t diff = levels[0] - gRunningDc.value[component];
    gRunningDc.value[component] = levels[0];

    const int32_t magnitude = diff < 0 ? -diff : diff;
    // Clamped DC levels keep |diff| below 2048, so size stays within the tables.
    int size = 0;
    while (size < 11 && (magnitude >> size) != 0) ++size;
    const VlcCode& sizeCode = component == 0 ? kDcSizeLuma[size] : kDcSizeChroma[size];
    QueueBits(sizeCode.code, sizeCode.length);
    // A negative differential goes as the low size bits of diff - 1.
    if (size > 0) QueueBits(static_cast<uint32_t>(diff > 0 ? diff : diff - 1), size);

    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const ScanPosition p = kZigZagScan[k];
        const int32_t level = levels[p.column + 8 * p.row];
        if (level == 0) {
            ++run;
            continue;
        }
        QueueRunLevel(run, level);
        run = 0;
    }
    QueueBits(kEndOfBlock, 4);
}

void EncodeMacroblock(int row, int col, const int32_t* levels, const int32_t* quantisers,
                      const int32_t* types, int sliceStart, int retry) {
    const int mb = row * gSettings.XMBlock + col;
    if (sliceStart != 0) {
        ResetDcPredictors();
        QueueBits(1, 24);  // start code prefix; slice_vertical_position follows
        QueueBits(static_cast<uint32_t>(row + 1), 8);
        QueueBits(static_cast<uint32_t>(quantisers[mb]), 5);
        QueueBits(0, 1);  // extra_bit_slice
    }
    QueueBits(kAddressIncrementOne.code, kAddressIncrementOne.length);
    const VlcCode& type = kIntraMacroblockType[types[mb] == 2 ? 2 : 1];
    QueueBits(type.code, type.length);
    if (types[mb] == 2) QueueBits(static_cast<uint32_t>(quantisers[mb]), 5);

    // Every attempt of a macroblock starts from the DC values its first attempt found.
    for (int c = 0; c < 3; ++c) {
        if (retry != 0)
            gRunningDc.value[c] = gRunningDc.saved[c];
        else
            gRunningDc.saved[c] = gRunningDc.value[c];
    }
    for (int b = 0; b < 6; ++b) EncodeIntraBlock(b, levels + 64 * b);
}
