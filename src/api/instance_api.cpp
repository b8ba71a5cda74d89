// The instance functions of the public interface: each job claims its instance, binds the
// instance's records to the calling thread, runs the memory job and hands the stream over.
#include <cstring>

#include "api/instance.h"
#include "api/job_driver.h"
#include "api/job_records.h"
#include "messages/codes.h"
#include "messages/report.h"
#include "pictor/pictor.h"

namespace {

constexpr char kUnnamedJob[] = "picture.tp";

// One job at a time on an instance: false when another holds it.
bool Claim(PictorEncoder* encoder) {
    bool idle = false;
    return encoder->busy.compare_exchange_strong(idle, true, std::memory_order_acquire);
}

void Release(PictorEncoder* encoder) { encoder->busy.store(false, std::memory_order_release); }

// The caller's words at the end of a call.
int Finish(PictorJobState* state, int result) {
    if (state != nullptr) {
        __atomic_store_n(&state->status, result, __ATOMIC_RELEASE);
        __atomic_store_n(&state->progress, 100, __ATOMIC_RELAXED);
    }
    return result;
}

// A call refused before any job starts: its one line goes to the caller's text through a
// reporter of the call's own, as no instance's records may be touched.
template <MessageCode code>
int Refuse(PictorJobState* state, const PictorSettings* settings, int result) {
    if (state != nullptr) {
        ReporterState* const bound = tReporter;
        ReporterState reporter{};
        tReporter = &reporter;
        BindErrorText(state->errorText, kModulePictor);
        const char* name =
            settings != nullptr && settings->jobName != nullptr ? settings->jobName : kUnnamedJob;
        Report<code>(name);
        tReporter = bound;
    }
    return Finish(state, result);
}

// The coded stream to the caller: into the buffer when it is large enough, else through the
// write function. 0, or -1 after code 1.
int Deliver(PictorEncoder* encoder, PictorStream* stream) {
    const std::vector<unsigned char>& bytes = encoder->streamBuffer;
    stream->size = bytes.size();
    bool written;
    if (stream->buffer != nullptr) {
        written = bytes.size() <= stream->capacity;
        if (written && !bytes.empty()) std::memcpy(stream->buffer, bytes.data(), bytes.size());
    } else {
        written = stream->write != nullptr &&
                  stream->write(stream->opaque, bytes.data(), bytes.size()) == 0;
        // The write function may have coded on another instance from this thread.
        BindInstance(encoder);
        if (!written) stream->size = 0;
    }
    if (written) return 0;
    Report<kMsgCannotWrite>(tSwitches->streamPath);
    return -1;
}

int RunOnInstance(PictorEncoder* encoder, const MemoryJob& memory, PictorStream* stream,
                  PictorJobState* state) {
    if (state != nullptr) {
        state->errorText[0] = '\0';
        __atomic_store_n(&state->status, PICTOR_RUNNING, __ATOMIC_RELEASE);
        __atomic_store_n(&state->progress, 0, __ATOMIC_RELAXED);
    }
    if (encoder == nullptr || memory.settings == nullptr || stream == nullptr)
        return Refuse<kMsgCallIncomplete>(state, memory.settings, PICTOR_FAILED);
    stream->size = 0;
    if (!Claim(encoder)) return Refuse<kMsgEncoderBusy>(state, memory.settings, PICTOR_BUSY);
    // Without the caller's words the job still needs its own to write and read.
    PictorJobState own{};
    PictorJobState* words = state != nullptr ? state : &own;
    BindInstance(encoder);
    ResetJobRecords(state != nullptr ? state->errorText : nullptr);
    tJob->progress = &words->progress;
    tJob->cancel = &words->cancel;
    tJob->streamBuffer = &encoder->streamBuffer;
    int result = RunMemoryJob(memory);
    FreeAllTracked();
    CloseAllTracked();
    if (result == 0) result = Deliver(encoder, stream);
    Release(encoder);
    return Finish(state, result);
}

}  // namespace

extern "C" PICTOR_API PictorEncoder* PictorCreate(void) { return CreateInstance(); }

extern "C" PICTOR_API int PictorDestroy(PictorEncoder* encoder) {
    if (encoder == nullptr) return 0;
    if (!Claim(encoder)) return PICTOR_BUSY;
    DestroyInstance(encoder);
    return 0;
}

extern "C" PICTOR_API int PictorResetCarried(PictorEncoder* encoder) {
    if (encoder == nullptr) return PICTOR_FAILED;
    if (!Claim(encoder)) return PICTOR_BUSY;
    encoder->carriedSearch = CarriedSearchState{};
    Release(encoder);
    return 0;
}

extern "C" PICTOR_API void PictorDefaultSettings(PictorSettings* settings) {
    if (settings == nullptr) return;
    *settings = PictorSettings{};
    settings->targetBits = 1200000;
    settings->standard = PICTOR_PAL;
    settings->aspect = PICTOR_ASPECT_4_3;
}

extern "C" PICTOR_API int PictorEncodeRgb(PictorEncoder* encoder, const PictorSettings* settings,
                                          const unsigned char* rgb, int32_t width, int32_t height,
                                          ptrdiff_t stride, PictorStream* stream,
                                          PictorJobState* state) {
    MemoryJob memory{};
    memory.settings = settings;
    memory.kind = MemoryJob::kRgb;
    memory.rgb = RgbSamples{rgb, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                            static_cast<int64_t>(stride)};
    return RunOnInstance(encoder, memory, stream, state);
}

extern "C" PICTOR_API int PictorEncodeTiff(PictorEncoder* encoder, const PictorSettings* settings,
                                           const void* tiff, size_t size, PictorStream* stream,
                                           PictorJobState* state) {
    MemoryJob memory{};
    memory.settings = settings;
    memory.kind = MemoryJob::kTiff;
    // No bytes at all read as an empty file, whatever the pointer.
    static const unsigned char kNoBytes[1] = {0};
    const void* bytes = tiff == nullptr && size == 0 ? kNoBytes : tiff;
    memory.tiff = SourceBytes{static_cast<const unsigned char*>(bytes), uint64_t{size}, nullptr};
    return RunOnInstance(encoder, memory, stream, state);
}

extern "C" PICTOR_API const char* PictorVersion(void) { return PICTOR_VERSION_STRING; }
