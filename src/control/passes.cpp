// The three picture coding passes over one macroblock attempt.
#include "control/passes.h"

#include <cstdio>

#include "coding/bit_writer.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "control/bit_budget.h"
#include "parallel/job_threads.h"
#include "params/settings.h"
#include "runtime/registry.h"

namespace {

constexpr int kLargestQuantiser = 31;
// Pass 2 measures each macroblock at the fixed quantiser, whatever it costs.
constexpr int32_t kNoLimit = INT32_MAX;

// What every pass works with: the quantiser, one macroblock's levels, the per-macroblock
// arrays and the coefficient store.
struct Pass {
    ScanQuantiser quantiser;
    ScannedLevels* levels;
    int32_t* quantisers;
    int32_t* types;
    const CoefficientStore* store;
    int dcPrecision;  // intra_dc_precision, fixed for the job once the pre-analysis ends
};

void ClosePass(Pass* pass) { TrackedFree(pass->levels); }

[[nodiscard]] int OpenPass(Pass* pass, int32_t* quantisers, int32_t* types,
                           const CoefficientStore* store) {
    pass->levels = static_cast<ScannedLevels*>(TrackedAlloc(1, sizeof(ScannedLevels)));
    pass->quantisers = quantisers;
    pass->types = types;
    pass->store = store;
    pass->dcPrecision = tSettings->IntraDCPrecision;
    if (pass->levels == nullptr) return -1;
    PrepareScanQuantiser(tIntraMatrix->weights, &pass->quantiser);
    return 0;
}

int MacroblockIndex(int row, int col) { return row * tSettings->XMBlock + col; }

// Pass 2 splits the macroblock rows into this many chunks for the job's threads.
constexpr int32_t kRowChunks = 8;
int32_t RowChunkStart(int32_t chunk, int32_t rows) {
    return static_cast<int32_t>(static_cast<int64_t>(rows) * chunk / kRowChunks);
}
bool StartsSlice(int mb) { return mb % tSettings->MBlockPerSlice == 0; }
bool EndsSlice(int mb) { return mb % tSettings->MBlockPerSlice == tSettings->MBlockPerSlice - 1; }
int32_t LimitOf(int col) { return tSettings->MaxMBBits + (col == 0 ? kSliceHeaderAllowance : 0); }

// A macroblock's accepted attempt: its quantiser, type and the bits of its code.
struct Attempt {
    int q;
    int type;
    int32_t bits;
};

// How an attempt's code is taken: counted (the measuring passes), or written into the stream
// and taken back when the attempt is rejected (the final pass).
enum class Coding { kCount, kWrite };

// Codes macroblock (row, col) at q, and again one step coarser while the code exceeds `limit`
// below the largest quantiser.
Attempt CodeMacroblock(const Pass& pass, Coding coding, int row, int col, int q, int32_t limit,
                       ScannedLevels* levels = nullptr, RunningDc* dc = tRunningDc) {
    if (levels == nullptr) levels = pass.levels;
    const int mb = MacroblockIndex(row, col);
    const int sliceStart = StartsSlice(mb) ? 1 : 0;
    const int16_t* coefficients = MacroblockCoefficients(*pass.store, mb);
    for (int retry = 0;; retry = 1) {
        QuantiseScanned(pass.quantiser, q, pass.dcPrecision, coefficients, levels);
        pass.quantisers[mb] = q;
        const int type = (sliceStart == 0 && q != pass.quantisers[mb - 1]) ? 2 : 1;
        pass.types[mb] = type;
        const MacroblockAttempt attempt{row, q, type, sliceStart, retry, pass.dcPrecision, dc};
        if (coding == Coding::kCount) {
            const int32_t bits = CountMacroblockBits(*levels, attempt);
            if (q >= kLargestQuantiser || bits <= limit) return Attempt{q, type, bits};
        } else {
            const BitWriterMark mark = MarkBitWriter();
            WriteMacroblock(*levels, attempt);
            const int32_t bits = BitsWritten() - mark.bits;
            if (q >= kLargestQuantiser || bits <= limit) return Attempt{q, type, bits};
            // A rejected attempt leaves nothing in the stream.
            RewindBitWriter(mark);
        }
        ++q;
    }
}

}  // namespace

int CodingPass1(int32_t* quantisers, int32_t* types, RateControlState* rateControl,
                const CoefficientStore* store) {
    const EncoderSettings& s = *tSettings;
    Pass pass;
    if (OpenPass(&pass, quantisers, types, store) != 0) return -1;
    const int32_t bitsPerMacroblock = rateControl->targetBits / s.MBCount;
    int32_t bitsSoFar = 0;
    int32_t quantiserSum = 0;
    for (int row = 0; row < s.YMBlock; ++row) {
        for (int col = 0; col < s.XMBlock; ++col) {
            const float base = Pass1Quantiser(rateControl, bitsSoFar, bitsPerMacroblock, col, row);
            const Attempt a =
                CodeMacroblock(pass, Coding::kCount, row, col, RoundQuantiser(base), LimitOf(col));
            bitsSoFar += a.bits;
            quantiserSum += a.q;
            if (EndsSlice(MacroblockIndex(row, col))) {
                // The final pass pads each slice to a byte boundary.
                bitsSoFar = (bitsSoFar + 7) / 8 * 8;
                std::fflush(stdout);  // every pass hands the host's output on at a slice's end
            }
        }
    }
    tSettings->IFixedQstep = quantiserSum / s.MBCount;
    ClosePass(&pass);
    return 0;
}

int CodingPass2(int32_t* quantisers, int32_t* types, const CoefficientStore* store) {
    const EncoderSettings& s = *tSettings;
    Pass pass;
    if (OpenPass(&pass, quantisers, types, store) != 0) return -1;
    // Every slice starts the DC values again and every macroblock has the one quantiser, so with
    // a slice per row the rows are coded apart, each with DC values and levels of its own.
    const bool rowSlices = s.MBlockPerSlice == s.XMBlock;
    auto codeRows = [&](int32_t chunk) {
        RunningDc dc{};
        ScannedLevels levels;
        const int32_t first = rowSlices ? RowChunkStart(chunk, s.YMBlock) : 0;
        const int32_t end = rowSlices ? RowChunkStart(chunk + 1, s.YMBlock) : s.YMBlock;
        for (int row = first; row < end; ++row) {
            for (int col = 0; col < s.XMBlock; ++col) {
                const int mb = MacroblockIndex(row, col);
                const Attempt a = CodeMacroblock(pass, Coding::kCount, row, col, s.IFixedQstep,
                                                 kNoLimit, &levels, &dc);
                tMacroblockBits->difcnt[mb] = a.bits;
                // One chunk only: every pass hands the host's output on at a slice's end.
                if (!rowSlices && EndsSlice(mb)) std::fflush(stdout);
            }
        }
    };
    RunChunks(rowSlices ? kRowChunks : 1, codeRows);
    // The slice ends of the threads' chunks, once they have all ended: the pass writes nothing,
    // so one flush stands for a row's each.
    if (rowSlices && s.YMBlock > 0) std::fflush(stdout);
    ClosePass(&pass);
    return 0;
}

int FinalCodingPass(int32_t* quantisers, int32_t* types, const CoefficientStore* store) {
    const EncoderSettings& s = *tSettings;
    Pass pass;
    if (OpenPass(&pass, quantisers, types, store) != 0) return -1;
    FinalPassRate rate{};
    int32_t lastCount = BitsWritten();
    int32_t frameOverLimit = 0;
    for (int row = 0; row < s.YMBlock; ++row) {
        int32_t rowOverLimit = 0;
        for (int col = 0; col < s.XMBlock; ++col) {
            const int mb = MacroblockIndex(row, col);
            const int q = FinalStartingQuantiser(&rate, col, row);
            const Attempt a = CodeMacroblock(pass, Coding::kWrite, row, col, q, LimitOf(col));
            const int32_t now = BitsWritten();
            tMacroblockBits->rescnt[mb] = now - lastCount;
            rate.usedBits += now - lastCount;
            lastCount = now;
            if (a.bits > LimitOf(col)) ++rowOverLimit;
            if (EndsSlice(mb)) {
                AlignToByte();
                lastCount = BitsWritten();
                std::fflush(stdout);  // the warnings of the rows before reach the host at once
            }
        }
        if (rowOverLimit != 0) {
            std::printf("\n\t WARNING: %d MB's generated over %d bits in the slice(%d)\n",
                        rowOverLimit, s.MaxMBBits, row);
            frameOverLimit += rowOverLimit;
        }
    }
    if (frameOverLimit != 0) {
        std::printf("\n\t WARNING!!: %d MB's generated over %d bits in this frame\n",
                    frameOverLimit, s.MaxMBBits);
    }
    ClosePass(&pass);
    return 0;
}
