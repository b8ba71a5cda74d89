/* A program of another project, built against an installed Pictor. Through the job-file
 * path it codes the example job into JOB_STREAM; through an instance it codes the example's
 * TIFF, read into memory, into MEMORY_STREAM, and a gradient of RGB rows with padding between
 * them through a write function. It prints the release it was built against.
 * Usage: consumer EXAMPLES_DIR JOB_STREAM MEMORY_STREAM */
#include <pictor/pictor.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kMaxStream = 225000, kWidth = 720, kHeight = 576, kStride = 3 * kWidth + 40 };

static int Fail(const char* what) {
    fprintf(stderr, "consumer: %s\n", what);
    return 1;
}

static int JobFilePath(const char* examples, const char* stream) {
    char jobFile[4096];
    snprintf(jobFile, sizeof jobFile, "%s/astronaut.tp", examples);
    if (PictorForDA(examples, jobFile, stream, 0) != PICTOR_FINISHED)
        return Fail("the example job did not finish");
    return 0;
}

/* The whole file at `path` in memory, or NULL. */
static unsigned char* ReadFile(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) return NULL;
    unsigned char* bytes = NULL;
    long length = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    if (length > 0 && fseek(file, 0, SEEK_SET) == 0) bytes = malloc((size_t)length);
    if (bytes != NULL && fread(bytes, 1, (size_t)length, file) != (size_t)length) {
        free(bytes);
        bytes = NULL;
    }
    fclose(file);
    *size = (size_t)length;
    return bytes;
}

static int IsSequence(const unsigned char* bytes, size_t size) {
    static const unsigned char kStart[4] = {0, 0, 1, 0xb3}, kEnd[4] = {0, 0, 1, 0xb7};
    return size >= 8 && size <= kMaxStream && memcmp(bytes, kStart, 4) == 0 &&
           memcmp(bytes + size - 4, kEnd, 4) == 0;
}

/* The example's TIFF from memory into a buffer: first one too small, which fails and says
 * how much the stream needs, then one of that size. */
static int TiffToMemory(PictorEncoder* encoder, const char* examples, const char* output) {
    char path[4096];
    size_t size = 0;
    snprintf(path, sizeof path, "%s/still/astronaut.tif", examples);
    unsigned char* tiff = ReadFile(path, &size);
    if (tiff == NULL) return Fail("cannot read the example's TIFF");
    PictorSettings settings;
    PictorDefaultSettings(&settings);
    static unsigned char bytes[kMaxStream];
    PictorStream stream = {bytes, 16, 0, NULL, NULL};
    static PictorJobState state;
    int small = PictorEncodeTiff(encoder, &settings, tiff, size, &stream, &state);
    int tooSmall = small == PICTOR_FAILED && state.status == PICTOR_FAILED &&
                   strstr(state.errorText, "Cannot write") != NULL && stream.size > 16;
    stream.capacity = stream.size;
    int result = PictorEncodeTiff(encoder, &settings, tiff, size, &stream, &state);
    free(tiff);
    if (!tooSmall) return Fail("a buffer too small did not fail with the size the stream needs");
    if (result != PICTOR_FINISHED || state.progress != 100 || state.errorText[0] != '\0' ||
        stream.size != stream.capacity || !IsSequence(bytes, stream.size))
        return Fail("the example's TIFF did not code into memory");
    FILE* file = fopen(output, "wb");
    if (file == NULL) return Fail("cannot open the memory stream's file");
    size_t written = fwrite(bytes, 1, stream.size, file);
    if (fclose(file) != 0 || written != stream.size) return Fail("cannot write the memory stream");
    return 0;
}

typedef struct Sink {
    unsigned char bytes[kMaxStream];
    size_t size;
    int calls;
} Sink;

static int Collect(void* opaque, const unsigned char* bytes, size_t size) {
    Sink* sink = opaque;
    if (size > sizeof sink->bytes - sink->size) return 1;
    memcpy(sink->bytes + sink->size, bytes, size);
    sink->size += size;
    sink->calls++;
    return 0;
}

/* A gradient whose rows lie kStride bytes apart, through a write function; the same samples
 * packed row against row code into the same stream. */
static int RgbThroughWrite(PictorEncoder* encoder) {
    static unsigned char padded[kHeight * kStride], packed[kHeight * kWidth * 3];
    for (int y = 0; y < kHeight; y++) {
        for (int x = 0; x < kWidth; x++) {
            unsigned char pixel[3] = {(unsigned char)(x * 255 / (kWidth - 1)),
                                      (unsigned char)(y * 255 / (kHeight - 1)),
                                      (unsigned char)((x + y) % 256)};
            memcpy(padded + y * kStride + 3 * x, pixel, 3);
            memcpy(packed + (y * kWidth + x) * 3, pixel, 3);
        }
        memset(padded + y * kStride + 3 * kWidth, 0xff, kStride - 3 * kWidth);
    }
    PictorSettings settings;
    PictorDefaultSettings(&settings);
    settings.targetBits = 900000;
    static Sink sink;
    PictorStream written = {NULL, 0, 0, Collect, &sink};
    int result =
        PictorEncodeRgb(encoder, &settings, padded, kWidth, kHeight, kStride, &written, NULL);
    if (result != PICTOR_FINISHED || sink.calls == 0 || written.size != sink.size ||
        !IsSequence(sink.bytes, sink.size))
        return Fail("the gradient did not code through the write function");
    static unsigned char bytes[kMaxStream];
    PictorStream buffer = {bytes, sizeof bytes, 0, NULL, NULL};
    if (PictorEncodeRgb(encoder, &settings, packed, kWidth, kHeight, 3 * kWidth, &buffer, NULL) !=
            PICTOR_FINISHED ||
        buffer.size != sink.size || memcmp(bytes, sink.bytes, sink.size) != 0)
        return Fail("the gradient's padded and packed rows code into different streams");
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 4) return Fail("usage: consumer EXAMPLES_DIR JOB_STREAM MEMORY_STREAM");
    if (JobFilePath(argv[1], argv[2]) != 0) return 1;

    if (strcmp(PictorVersion(), PICTOR_VERSION_STRING) != 0)
        return Fail("the library's release is not the header's");
    if (PictorDestroy(NULL) != 0 || PictorResetCarried(NULL) != -1)
        return Fail("PictorDestroy or PictorResetCarried of NULL");
    PictorEncoder* encoder = PictorCreate();
    if (encoder == NULL) return Fail("no instance");
    int failed = TiffToMemory(encoder, argv[1], argv[3]) || RgbThroughWrite(encoder);
    if (PictorDestroy(encoder) != 0) return Fail("the instance was not destroyed");
    if (failed) return 1;

    printf("pictor %s\n", PICTOR_VERSION_STRING);
    return 0;
}
