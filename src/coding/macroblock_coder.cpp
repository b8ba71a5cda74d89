// Intra macroblocks: slice header, macroblock header, and per block the DC differential and the
// AC run/level codes, each code handed in stream order to a sink that counts, queues or writes
// it, so the three give the same code.
#include "coding/macroblock_coder.h"

#include "coding/bit_writer.h"
#include "coding/code_lengths.h"
#include "coding/tables.h"

thread_local RunningDc* tRunningDc = nullptr;

namespace {

// slice(): the start code's 24-bit prefix 0x000001, then its last byte.
constexpr SyntaxElement kStartCodePrefix{24};
constexpr SyntaxElement kSliceVerticalPosition{8};
constexpr SyntaxElement kQuantiserScaleCode{5};
constexpr SyntaxElement kExtraBitSlice{1};
// The escaped pair of a block.
constexpr SyntaxElement kEscapeRun{kEscapeRunBits};
constexpr SyntaxElement kEscapeLevel{kEscapeLevelBits};

// Sinks of the code; one that only counts takes the lengths of run/level pairs from a table, one
// that writes takes each pair as one code word.
struct CountingSink {
    static constexpr bool kLengthsOnly = true;
    static constexpr bool kWords = false;
    int32_t bits;
    void Put(uint32_t, int length) { bits += length; }
};
struct QueueSink {
    static constexpr bool kLengthsOnly = false;
    static constexpr bool kWords = false;
    void Put(uint32_t value, int length) { QueueBits(value, length); }
};
struct WritingSink {
    static constexpr bool kLengthsOnly = false;
    static constexpr bool kWords = true;
    WordWriter writer;
    void Put(uint32_t value, int length) { writer.Put(value, static_cast<uint32_t>(length)); }
    void PutWord(uint32_t word) { writer.PutWord(word); }
};

// The word of the next level of `rest` (bits of the non-zero levels left, past `next`).
inline uint32_t NextAcWord(const int16_t* level, uint64_t& rest, uint64_t& next) {
    const uint64_t k = static_cast<uint32_t>(__builtin_ctzll(rest));
    rest &= rest - 1;
    const uint32_t word = AcWord(k - next, level[k]);
    next = k + 1;
    return word;
}

constexpr uint32_t kEndWord = uint32_t{kEndOfBlock.code} << 8 | kEndOfBlock.length;

// A block's code after its DC size and differential (`dcWord`): the AC levels and the end, two
// words to a put.
inline void WriteBlockWords(WritingSink& sink, uint32_t dcWord, const int16_t* level,
                            uint64_t nonZero) {
    uint64_t rest = nonZero;
    uint64_t next = 1;  // the scan index after the last level coded
    uint32_t first = dcWord;
    for (;;) {
        if (rest == 0) return sink.writer.PutWords(first, kEndWord);
        sink.writer.PutWords(first, NextAcWord(level, rest, next));
        if (rest == 0) return sink.writer.PutWord(kEndWord);
        first = NextAcWord(level, rest, next);
    }
}

template <typename Sink>
inline void Emit(Sink& sink, const VlcCode& code) {
    sink.Put(code.code, code.length);
}
template <typename Sink>
inline void Emit(Sink& sink, SyntaxElement element, uint32_t value) {
    sink.Put(value, element.bits);
}

// Component of block b: 0 luminance, 1 Cb, 2 Cr.
int Component(int blockIndex) { return blockIndex < 4 ? 0 : blockIndex - 3; }

void ResetDcPredictors(RunningDc* dc, int dcPrecision) {
    const int32_t reset = 128 << (dcPrecision & 3);
    for (int c = 0; c < 3; ++c) dc->value[c] = reset;
}

template <typename Sink>
inline void CodeRunLevel(Sink& sink, uint64_t run, int32_t level) {
    const int32_t magnitude = level < 0 ? -level : level;
    if constexpr (Sink::kLengthsOnly) {
        const int m = magnitude < kLargestTabledMagnitude ? magnitude : kLargestTabledMagnitude;
        sink.Put(0, kAcLengths.at[run][m]);
        return;
    }
    if (run < kAcIndexRuns && magnitude <= kAcIndexMagnitude) {
        const VlcCode code = kAcCodeByMagnitude.at[run][magnitude];
        if (code.length != 0) {
            sink.Put(code.code | (level < 0 ? 1u : 0u), code.length);
            return;
        }
    }
    Emit(sink, kEscape);
    Emit(sink, kEscapeRun, static_cast<uint32_t>(run));
    Emit(sink, kEscapeLevel, static_cast<uint32_t>(level));
}

template <typename Sink>
inline void CodeBlock(Sink& sink, RunningDc* dc, int component, const int16_t* level,
                      uint64_t nonZero) {
    const int32_t diff = level[0] - dc->value[component];
    dc->value[component] = level[0];

    const uint32_t magnitude = static_cast<uint32_t>(diff < 0 ? -diff : diff);
    // Clamped DC levels keep |diff| below 2048, so size stays within the tables.
    int size = magnitude == 0 ? 0 : 32 - __builtin_clz(magnitude);
    size = size > 11 ? 11 : size;
    const VlcCode sizeCode = component == 0 ? kDcSizeLuma[size] : kDcSizeChroma[size];
    // A negative differential goes as the low size bits of diff - 1.
    const uint32_t bits = static_cast<uint32_t>(diff > 0 ? diff : diff - 1);
    if constexpr (Sink::kWords) {
        // The size's code and the differential's bits as one word.
        const uint32_t code = uint32_t{sizeCode.code} << size | (bits & ((1u << size) - 1));
        const uint32_t length = sizeCode.length + static_cast<uint32_t>(size);
        return WriteBlockWords(sink, code << 8 | length, level, nonZero);
    }
    Emit(sink, sizeCode);
    if (size > 0) sink.Put(bits, size);
    if constexpr (Sink::kLengthsOnly) {
        uint8_t magnitudes[64];
        sink.Put(0, LevelCodeBits(level, nonZero, magnitudes));
        return Emit(sink, kEndOfBlock);
    }

    uint64_t next = 1;  // the scan index after the last level coded
    for (uint64_t rest = nonZero; rest != 0; rest &= rest - 1) {
        const uint64_t k = static_cast<uint32_t>(__builtin_ctzll(rest));
        CodeRunLevel(sink, k - next, level[k]);
        next = k + 1;
    }
    Emit(sink, kEndOfBlock);
}

template <typename Sink>
inline void CodeMacroblock(Sink& sink, const ScannedLevels& levels,
                           const MacroblockAttempt& attempt) {
    const uint32_t quantiser = static_cast<uint32_t>(attempt.quantiser);
    if (attempt.sliceStart != 0) {
        ResetDcPredictors(attempt.dc, attempt.dcPrecision);
        Emit(sink, kStartCodePrefix, 1);
        Emit(sink, kSliceVerticalPosition, static_cast<uint32_t>(attempt.row + 1));
        Emit(sink, kQuantiserScaleCode, quantiser);
        Emit(sink, kExtraBitSlice, 0);
    }
    Emit(sink, kAddressIncrementOne);
    Emit(sink, kIntraMacroblockType[attempt.type == 2 ? 2 : 1]);
    if (attempt.type == 2) Emit(sink, kQuantiserScaleCode, quantiser);

    // Every attempt of a macroblock starts from the DC values its first attempt found.
    for (int c = 0; c < 3; ++c) {
        if (attempt.retry != 0)
            attempt.dc->value[c] = attempt.dc->saved[c];
        else
            attempt.dc->saved[c] = attempt.dc->value[c];
    }
    for (int b = 0; b < 6; ++b)
        CodeBlock(sink, attempt.dc, Component(b), levels.level[b], levels.nonZero[b]);
}

// One block of raster-order levels in scan order.
void ScanBlock(const int32_t* raster, int16_t* scanned) {
    for (int k = 0; k < 64; ++k)
        scanned[k] = static_cast<int16_t>(raster[kZigZagScan[k].column + 8 * kZigZagScan[k].row]);
}

}  // namespace

void ResetRunningDc() { *tRunningDc = RunningDc{}; }

int32_t CountMacroblockBits(const ScannedLevels& levels, const MacroblockAttempt& attempt) {
    CountingSink sink{0};
    CodeMacroblock(sink, levels, attempt);
    return sink.bits;
}

void WriteMacroblock(const ScannedLevels& levels, const MacroblockAttempt& attempt) {
    WritingSink sink;
    CodeMacroblock(sink, levels, attempt);
}

void EncodeIntraBlock(int blockIndex, const int32_t* levels) {
    int16_t scanned[64];
    ScanBlock(levels, scanned);
    QueueSink sink;
    CodeBlock(sink, tRunningDc, Component(blockIndex), scanned, NonZeroLevelBits(scanned));
}
