#include "control/encoder.h"

#include <cstdio>

#include "api/job.h"
#include "api/job_driver.h"
#include "api/registry.h"
#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "control/analysis.h"
#include "control/passes.h"
#include "control/rate_control.h"
#include "control/threshold_search.h"
#include "convert/planes.h"
#include "params/settings.h"

namespace {

// Half-band vertical filter of the chroma decimation; the taps sum to 256.
constexpr int32_t kDecimationTaps[8] = {-17, -2, 49, 98, 98, 49, -2, -17};

// Working storage of one call of the encoder driver.
struct EncoderStorage {
    int32_t* quantisers;
    int32_t* types;
    RateControlState* rateControl;
    CoefficientPlanes planes;
};

int AllocateMacroblockArrays(EncoderStorage* st) {
    const uint64_t count = static_cast<uint64_t>(gSettings.MBCount);
    st->quantisers = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    st->types = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    gMacroblockBits.difcnt = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    gMacroblockBits.alccnt = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    gMacroblockBits.rescnt = static_cast<int32_t*>(TrackedAlloc(count, sizeof(int32_t)));
    st->rateControl = static_cast<RateControlState*>(TrackedAlloc(1, sizeof(RateControlState)));
    if (st->quantisers == nullptr || st->types == nullptr || gMacroblockBits.difcnt == nullptr ||
        gMacroblockBits.alccnt == nullptr || gMacroblockBits.rescnt == nullptr ||
        st->rateControl == nullptr) {
        return -1;
    }
    return 0;
}

int AllocateCoefficientPlanes(CoefficientPlanes* planes) {
    const int32_t width = gSettings.FrameWidth;
    const int32_t height = gSettings.FrameHeight;
    CoefficientPlane* all[3] = {&planes->y, &planes->cb, &planes->cr};
    for (int c = 0; c < 3; ++c) {
        CoefficientPlane* p = all[c];
        p->width = c == 0 ? width : width / 2;
        p->height = c == 0 ? height : height / 2;
        p->data = static_cast<int16_t*>(TrackedAlloc(
            static_cast<uint64_t>(p->width) * static_cast<uint64_t>(p->height), sizeof(int16_t)));
        if (p->data == nullptr) return -1;
    }
    return 0;
}

void FreeEncoderStorage(EncoderStorage* st) {
    TrackedFree(st->quantisers);
    TrackedFree(st->types);
    TrackedFree(gMacroblockBits.difcnt);
    TrackedFree(gMacroblockBits.alccnt);
    TrackedFree(gMacroblockBits.rescnt);
    gMacroblockBits = MacroblockBits{};
    TrackedFree(st->rateControl);
    TrackedFree(st->planes.y.data);
    TrackedFree(st->planes.cb.data);
    TrackedFree(st->planes.cr.data);
    *st = EncoderStorage{};
    TrackedFree(gPlanes.y);
    TrackedFree(gPlanes.cb);
    TrackedFree(gPlanes.cr);
    gPlanes.y = gPlanes.cb = gPlanes.cr = nullptr;
}

void CloseStream(FILE* stream) {
    TrackedClose(stream);
    gBitWriter.out = nullptr;
}

// The final attempts: each rewrites the stream file from its first byte until
// the picture takes no more than kMaxPictureBits. 0 done, 1 cancelled or failed.
int RunFinalAttempts(EncoderStorage* st) {
    for (int attempt = 0;; ++attempt) {
        AllocateBits(attempt);
        ResetBitWriter();
        FILE* stream = TrackedOpen(gSwitches.streamPath, "wb");
        if (stream == nullptr) return 1;
        gBitWriter.out = stream;
        WriteSequenceHeader(gIntraMatrix.weights);
        WriteSequenceDisplayExtension();
        WriteGopHeader();
        WritePictureHeader();
        SetProgress(90);
        if (CancelRequested()) {
            CloseStream(stream);
            return 1;
        }
        if (FinalCodingPass(st->quantisers, st->types, &st->planes) == -1) {
            CloseStream(stream);
            return 1;
        }
        WriteSequenceEnd();
        const int32_t bits = BitsWritten();
        CloseStream(stream);
        if (bits <= kMaxPictureBits) return 0;
    }
}

}  // namespace

void ResetEncoderRecords() {
    ResetBitWriter();
    StartCodeList();
    ResetRunningDc();
    ResetIntraMatrix();
    ResetMacroblockBits();
    ResetAnalysis();
    ResetSearchEstimate();
    ResetEstimateMemo();
    ResetThresholdState();
    ResetErrorTerms();
}

int DecimateChroma() {
    const EncoderSettings& s = gSettings;
    const int32_t w2 = s.FrameWidth / 2;
    const uint64_t planeBytes = static_cast<uint64_t>(w2) * static_cast<uint64_t>(s.FrameHeight);
    uint8_t* tempCb = static_cast<uint8_t*>(TrackedAlloc(planeBytes, 1));
    uint8_t* tempCr = static_cast<uint8_t*>(TrackedAlloc(planeBytes, 1));
    if (tempCb == nullptr || tempCr == nullptr) {
        TrackedFree(tempCb);
        TrackedFree(tempCr);
        return -1;
    }

    const int32_t top = s.CodedYOffset;
    const int32_t bottom = s.CodedYOffset + 16 * s.YMBlock - 1;
    const int32_t x0 = s.CodedXOffset / 2;
    const int32_t x1 = x0 + 8 * s.XMBlock;
    const int32_t y0 = s.CodedYOffset / 2;
    const int32_t outRows = 8 * s.YMBlock;
    uint8_t* inputs[2] = {gPlanes.cb, gPlanes.cr};
    uint8_t* temps[2] = {tempCb, tempCr};

    for (int32_t j = 0; j < outRows; ++j) {
        const int32_t centre = top + 2 * j;
        int64_t rowOffsets[8];
        for (int t = 0; t < 8; ++t) {
            int32_t r = centre - 3 + t;
            if (r < top) r = top;
            if (r > bottom) r = bottom;
            rowOffsets[t] = static_cast<int64_t>(r) * w2;
        }
        const int64_t outOffset = static_cast<int64_t>(y0 + j) * w2;
        for (int c = 0; c < 2; ++c) {
            const uint8_t* in = inputs[c];
            uint8_t* out = temps[c] + outOffset;
            for (int32_t x = x0; x < x1; ++x) {
                int32_t sum = 128;
                for (int t = 0; t < 8; ++t) sum += kDecimationTaps[t] * in[rowOffsets[t] + x];
                int32_t v = sum / 256;
                if (v < 0) v = 0;
                if (v > 255) v = 255;
                out[x] = static_cast<uint8_t>(v);
            }
        }
    }
    for (int c = 0; c < 2; ++c) {
        for (int32_t j = 0; j < outRows; ++j) {
            const int64_t offset = static_cast<int64_t>(y0 + j) * w2;
            for (int32_t x = x0; x < x1; ++x) inputs[c][offset + x] = temps[c][offset + x];
        }
    }
    TrackedFree(tempCb);
    TrackedFree(tempCr);
    return 0;
}

int EncodePicture() {
    ResetEncoderRecords();
    if (DeriveSettings() == -1) return -1;
    SetProgress(10);
    if (CancelRequested()) return 1;
    if (DecimateChroma() != 0) return -1;
    if (gSettings.load_intra_qmatrix_SH == 1) {
        SetProgress(10);
        if (CancelRequested()) return 1;
        if (AnalysePicture(gSettings.Target) == -1) return -1;
    }

    EncoderStorage st{};
    int result = 0;
    if (AllocateMacroblockArrays(&st) != 0) {
        result = -1;
    } else {
        InitRateControl(st.rateControl);
        if (AllocateCoefficientPlanes(&st.planes) != 0) {
            result = -1;
        } else {
            SetProgress(70);
            if (CancelRequested() ||
                CodingPass1(st.quantisers, st.types, st.rateControl, &st.planes) == -1) {
                result = 1;
            } else {
                SetProgress(80);
                if (CancelRequested() || CodingPass2(st.quantisers, st.types, &st.planes) == -1) {
                    result = 1;
                } else {
                    result = RunFinalAttempts(&st);
                }
            }
        }
    }
    FreeEncoderStorage(&st);
    return result;
}
