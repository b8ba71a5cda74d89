// Encoder driver: the stages from the converted picture to the stream file.
#include "control/encoder.h"

#include <cstdio>
#include <cstring>

#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "control/analysis.h"
#include "control/passes.h"
#include "control/rate_control.h"
#include "control/threshold_search.h"
#include "convert/chroma_decimation.h"
#include "convert/planes.h"
#include "messages/codes.h"
#include "messages/message_names.h"
#include "messages/report.h"
#include "params/job_switches.h"
#include "params/settings.h"
#include "runtime/job.h"
#include "runtime/registry.h"

namespace {

// How an encode ends. The public result maps a failure before the coding passes and a picture
// that does not fit to -1, and the other three ends to 1, as the cancellation of a job.
enum class EncodeOutcome {
    kDone,        // the stage finished: the next may start, or the stream is complete
    kFailed,      // settings that the stream cannot carry, or no memory before the passes
    kCancelled,   // the caller's cancel word at a poll
    kPassFailed,  // a coding pass could not have its buffers
    kOpenFailed,  // the stream file could not be opened
    kDoesNotFit,  // above the limit with nothing left of the target (reported)
};

int ResultOf(EncodeOutcome outcome) {
    switch (outcome) {
        case EncodeOutcome::kDone:
            return 0;
        case EncodeOutcome::kFailed:
        case EncodeOutcome::kDoesNotFit:
            return -1;
        case EncodeOutcome::kCancelled:
        case EncodeOutcome::kPassFailed:
        case EncodeOutcome::kOpenFailed:
            break;
    }
    return 1;
}

// A progress step and the cancel poll after it; true when the caller asks to stop.
bool ProgressAndPoll(int percent) {
    SetProgress(percent);
    return CancelRequested() != 0;
}

// Working storage of one call of the encoder driver.
struct EncoderStorage {
    int32_t* quantisers;
    int32_t* types;
    RateControlState* rateControl;
    CoefficientStore analysed;  // the analysis's macroblocks, from the picture's top left
    CoefficientStore coded;     // the coded area's: the analysed store when the two agree
};

[[nodiscard]] int AllocateMacroblockArrays(EncoderStorage* st) {
    const uint64_t count = static_cast<uint64_t>(tSettings->MBCount);
    st->quantisers = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    st->types = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    tMacroblockBits->difcnt = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    tMacroblockBits->alccnt = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    tMacroblockBits->rescnt = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    st->rateControl = static_cast<RateControlState*>(TrackedAlloc(1, sizeof(RateControlState)));
    if (st->quantisers == nullptr || st->types == nullptr || tMacroblockBits->difcnt == nullptr ||
        tMacroblockBits->alccnt == nullptr || tMacroblockBits->rescnt == nullptr ||
        st->rateControl == nullptr) {
        return -1;
    }
    return 0;
}

[[nodiscard]] int AllocateStore(CoefficientStore* store, int32_t columns, int32_t rows) {
    const uint64_t macroblocks = static_cast<uint64_t>(columns) * static_cast<uint64_t>(rows);
    store->data = static_cast<int16_t*>(TrackedAlloc(macroblocks * kMacroblockValues, 2));
    store->columns = columns;
    store->rows = rows;
    return store->data == nullptr ? -1 : 0;
}

bool CodedAreaIsAnalysed(const CoefficientStore& analysed) {
    const EncoderSettings& s = *tSettings;
    return analysed.data != nullptr && s.CodedXOffset == 0 && s.CodedYOffset == 0 &&
           s.XMBlock == analysed.columns && s.YMBlock == analysed.rows;
}

void FreeEncoderStorage(EncoderStorage* st) {
    TrackedFree(st->quantisers);
    TrackedFree(st->types);
    TrackedFree(tMacroblockBits->difcnt);
    TrackedFree(tMacroblockBits->alccnt);
    TrackedFree(tMacroblockBits->rescnt);
    *tMacroblockBits = MacroblockBits{};
    TrackedFree(st->rateControl);
    if (st->coded.data != st->analysed.data) TrackedFree(st->coded.data);
    TrackedFree(st->analysed.data);
    *st = EncoderStorage{};
    TrackedFree(tPlanes->y);
    TrackedFree(tPlanes->cb);
    TrackedFree(tPlanes->cr);
    tPlanes->y = tPlanes->cb = tPlanes->cr = nullptr;
}

void CloseStream(FILE* stream) {
    FlushBitWriter();
    TrackedClose(stream);
    tBitWriter->out = nullptr;
}

// The final attempts: each rewrites the stream file from its first byte until the picture takes
// no more than kMaxPictureBits, lowering the target between them. A target at 0 or below (where
// it started, or where the reductions leave it from attempt 100 on) has nothing left to lower:
// a picture still above the limit then fails the job, and its stream file, which no caller could
// use, is removed.
EncodeOutcome RunFinalAttempts(EncoderStorage* st) {
    for (int attempt = 0;; ++attempt) {
        AllocateBits(attempt);
        ResetBitWriter();
        FILE* stream = OpenJobStream(tSwitches->streamPath);
        if (stream == nullptr) return EncodeOutcome::kOpenFailed;
        tBitWriter->out = stream;
        WriteSequenceHeader(*tSettings, tIntraMatrix->weights);
        WriteSequenceDisplayExtension(*tSettings);
        WriteGopHeader();
        WritePictureHeader(*tSettings);
        if (ProgressAndPoll(90)) {
            CloseStream(stream);
            return EncodeOutcome::kCancelled;
        }
        if (FinalCodingPass(st->quantisers, st->types, &st->coded) != 0) {
            CloseStream(stream);
            return EncodeOutcome::kPassFailed;
        }
        WriteSequenceEnd();
        const int32_t bits = BitsWritten();
        CloseStream(stream);
        if (bits <= kMaxPictureBits) return EncodeOutcome::kDone;
        if (tSettings->Target <= 0) {
            Report<kMsgPictureDoesNotFit>(kMaxPictureBits, tMessageNames->pictureName);
            DiscardJobStream(tSwitches->streamPath);
            return EncodeOutcome::kDoesNotFit;
        }
    }
}

// The coded-area settings, the 4:2:0 chroma and the working intra matrix, with the
// coefficients of the analysed macroblocks. The picture planes stay the job's until the coding
// passes start.
EncodeOutcome PrepareForCoding(EncoderStorage* st) {
    if (DeriveSettings() != 0) return EncodeOutcome::kFailed;
    if (ProgressAndPoll(10)) return EncodeOutcome::kCancelled;
    if (DecimateChroma() != 0) return EncodeOutcome::kFailed;
    if (tSettings->load_intra_qmatrix_SH == 1) {
        if (ProgressAndPoll(10)) return EncodeOutcome::kCancelled;
        if (AllocateStore(&st->analysed, tSettings->FrameWidth / 16, tSettings->FrameHeight / 16) !=
                0 ||
            AnalysePicture(tSettings->Target, &st->analysed) != 0)
            return EncodeOutcome::kFailed;
    }
    return EncodeOutcome::kDone;
}

EncodeOutcome CodePicture(EncoderStorage* st) {
    if (AllocateMacroblockArrays(st) != 0) return EncodeOutcome::kFailed;
    InitRateControl(st->rateControl);
    // The analysis has transformed every block the passes code, unless the coded area lies
    // elsewhere in the picture.
    const bool analysed = CodedAreaIsAnalysed(st->analysed);
    if (analysed) {
        st->coded = st->analysed;
    } else if (AllocateStore(&st->coded, tSettings->XMBlock, tSettings->YMBlock) != 0) {
        return EncodeOutcome::kFailed;
    }
    if (ProgressAndPoll(70)) return EncodeOutcome::kCancelled;
    if (!analysed) {
        const EncoderSettings& s = *tSettings;
        const SamplePlanes picture{tPlanes->y,   tPlanes->cb,    tPlanes->cr,
                                   s.FrameWidth, s.CodedXOffset, s.CodedYOffset};
        TransformMacroblockRows(picture, 0, s.YMBlock, &st->coded);
    }
    if (CodingPass1(st->quantisers, st->types, st->rateControl, &st->coded) != 0)
        return EncodeOutcome::kPassFailed;
    if (ProgressAndPoll(80)) return EncodeOutcome::kCancelled;
    if (CodingPass2(st->quantisers, st->types, &st->coded) != 0) return EncodeOutcome::kPassFailed;
    return RunFinalAttempts(st);
}

// One output row of the half-band filter: taps on the rows around 2j + 1/2, clamped to the
// coded area's rows top..bottom.
void DecimateRow(const uint8_t* in, uint8_t* __restrict out, int32_t rowLength, int32_t centre,
                 int32_t top, int32_t bottom, int32_t x0, int32_t x1) {
    const uint8_t* rows[8];
    for (int t = 0; t < 8; ++t) {
        int32_t r = centre - 3 + t;
        if (r < top) r = top;
        if (r > bottom) r = bottom;
        rows[t] = in + static_cast<int64_t>(r) * rowLength;
    }
    DecimateChromaRow(rows, out, x0, x1);
}

}  // namespace

int DecimateChroma() {
    const EncoderSettings& s = *tSettings;
    const int32_t w2 = s.FrameWidth / 2;
    // Output row j lands on row y0 + j of its own plane, once row j + 1 is made: the outputs
    // after that read rows from top + 2j + 1 on, below it (y0 <= top), so every output reads the
    // picture's rows.
    constexpr int32_t kHeld = 2;
    const uint64_t rowBytes = static_cast<uint64_t>(w2);
    uint8_t* held = static_cast<uint8_t*>(TrackedAlloc(2 * kHeld * rowBytes, 1));
    if (held == nullptr) return -1;
    const int32_t top = s.CodedYOffset;
    const int32_t bottom = s.CodedYOffset + 16 * s.YMBlock - 1;
    const int32_t x0 = s.CodedXOffset / 2;
    const int32_t x1 = x0 + 8 * s.XMBlock;
    const int32_t y0 = s.CodedYOffset / 2;
    const int32_t outRows = 8 * s.YMBlock;
    uint8_t* inputs[2] = {tPlanes->cb, tPlanes->cr};
    auto heldRow = [&](int c, int32_t j) { return held + (c * kHeld + j % kHeld) * rowBytes; };
    auto place = [&](int32_t j) {
        const int64_t offset = static_cast<int64_t>(y0 + j) * w2;
        for (int c = 0; c < 2; ++c) {
            std::memcpy(inputs[c] + offset + x0, heldRow(c, j) + x0, static_cast<size_t>(x1 - x0));
        }
    };
    for (int32_t j = 0; j < outRows; ++j) {
        for (int c = 0; c < 2; ++c)
            DecimateRow(inputs[c], heldRow(c, j), w2, top + 2 * j, top, bottom, x0, x1);
        if (j >= kHeld - 1) place(j - (kHeld - 1));
    }
    for (int32_t j = outRows - (kHeld - 1); j < outRows; ++j) {
        if (j >= 0) place(j);
    }
    TrackedFree(held);
    return 0;
}

int EncodePicture() {
    EncoderStorage st{};
    EncodeOutcome outcome = PrepareForCoding(&st);
    if (outcome == EncodeOutcome::kDone) {
        outcome = CodePicture(&st);
        FreeEncoderStorage(&st);
    } else {
        // The picture planes stay the job's; only the coefficients go.
        TrackedFree(st.analysed.data);
    }
    return ResultOf(outcome);
}
