/* A program of another project, built against an installed Pictor: it codes the
 * example job into a stream and runs a job whose parameter file is missing.
 * Usage: consumer EXAMPLES_DIR STREAM_PATH */
#include <pictor/pictor.h>
#include <stdio.h>
#include <string.h>

static int Fail(const char* what) {
    fprintf(stderr, "consumer: %s\n", what);
    return 1;
}

/* 1 when the file starts with a sequence header and ends with the sequence end code. */
static int IsWholeStream(const char* path) {
    static const unsigned char kStart[4] = {0x00, 0x00, 0x01, 0xB3};
    static const unsigned char kEnd[4] = {0x00, 0x00, 0x01, 0xB7};
    unsigned char head[4], tail[4];
    FILE* in = fopen(path, "rb");
    if (in == NULL) return 0;
    int ok =
        fread(head, 1, 4, in) == 4 && fseek(in, -4, SEEK_END) == 0 && fread(tail, 1, 4, in) == 4;
    fclose(in);
    return ok && memcmp(head, kStart, 4) == 0 && memcmp(tail, kEnd, 4) == 0;
}

int main(int argc, char** argv) {
    if (argc != 3) return Fail("usage: consumer EXAMPLES_DIR STREAM_PATH");
    char jobFile[4096];
    snprintf(jobFile, sizeof jobFile, "%s/astronaut.tp", argv[1]);
    if (PictorForDA(argv[1], jobFile, argv[2], 0) != PICTOR_FINISHED)
        return Fail("the example job did not finish");
    if (!IsWholeStream(argv[2])) return Fail("the stream is not a whole sequence");

    static JobContext context;
    char errorText[1024];
    context.errorText = errorText;
    snprintf(context.workDir, sizeof context.workDir, "%s", argv[1]);
    snprintf(context.jobFileName, sizeof context.jobFileName, "missing.tp");
    if (Pictor(&context) != PICTOR_FAILED) return Fail("a missing job file did not fail");
    if (context.status != PICTOR_FAILED || context.progress != 100)
        return Fail("status and progress are not those of a failed job");
    if (strstr(errorText, "missing.tp") == NULL) return Fail("the error text names no job file");

    printf("pictor %s\n", PICTOR_VERSION_STRING);
    return 0;
}
