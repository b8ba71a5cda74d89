// Intra macroblocks into the macroblock code list: slice header, macroblock
// header, and per block the DC differential and the AC run/level codes.
#include "coding/macroblock_coder.h"

#include "coding/bit_writer.h"
#include "coding/tables.h"
#include "params/settings.h"

RunningDc gRunningDc;

namespace {

// slice(): the start code's 24-bit prefix 0x000001, then its last byte.
constexpr SyntaxElement kStartCodePrefix{24};
constexpr SyntaxElement kSliceVerticalPosition{8};
constexpr SyntaxElement kQuantiserScaleCode{5};
constexpr SyntaxElement kExtraBitSlice{1};
// The escaped pair of a block.
constexpr SyntaxElement kEscapeRun{kEscapeRunBits};
constexpr SyntaxElement kEscapeLevel{kEscapeLevelBits};

void QueueCode(const VlcCode& code) { QueueBits(code.code, code.length); }

// Component of block b: 0 luminance, 1 Cb, 2 Cr.
int Component(int blockIndex) { return blockIndex < 4 ? 0 : blockIndex - 3; }

void ResetDcPredictors() {
    const int32_t reset = 128 << (gSettings.IntraDCPrecision & 3);
    for (int c = 0; c < 3; ++c) gRunningDc.value[c] = reset;
}

void QueueRunLevel(int run, int32_t level) {
    if (const AcCode* code = FindAcCode(run, level)) {
        QueueBits(code->code, code->length);
        return;
    }
    QueueCode(kEscape);
    Queue(kEscapeRun, static_cast<uint32_t>(run));
    Queue(kEscapeLevel, static_cast<uint32_t>(level));
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
    QueueCode(component == 0 ? kDcSizeLuma[size] : kDcSizeChroma[size]);
    // A negative differential goes as the low size bits of diff - 1.
    const SyntaxElement dcDctDifferential{size};
    if (size > 0) Queue(dcDctDifferential, static_cast<uint32_t>(diff > 0 ? diff : diff - 1));

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
    QueueCode(kEndOfBlock);
}

void EncodeMacroblock(int row, int col, const int32_t* levels, const int32_t* quantisers,
                      const int32_t* types, int sliceStart, int retry) {
    const int mb = row * gSettings.XMBlock + col;
    if (sliceStart != 0) {
        ResetDcPredictors();
        Queue(kStartCodePrefix, 1);
        Queue(kSliceVerticalPosition, static_cast<uint32_t>(row + 1));
        Queue(kQuantiserScaleCode, static_cast<uint32_t>(quantisers[mb]));
        Queue(kExtraBitSlice, 0);
    }
    QueueCode(kAddressIncrementOne);
    QueueCode(kIntraMacroblockType[types[mb] == 2 ? 2 : 1]);
    if (types[mb] == 2) Queue(kQuantiserScaleCode, static_cast<uint32_t>(quantisers[mb]));

    // Every attempt of a macroblock starts from the DC values its first attempt found.
    for (int c = 0; c < 3; ++c) {
        if (retry != 0)
            gRunningDc.value[c] = gRunningDc.saved[c];
        else
            gRunningDc.saved[c] = gRunningDc.value[c];
    }
    for (int b = 0; b < 6; ++b) EncodeIntraBlock(b, levels + 64 * b);
}
