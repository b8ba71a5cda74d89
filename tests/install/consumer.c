/* A program of another project, built against an installed Pictor: it codes the
 * example job into a stream, runs a job whose parameter file is missing, and
 * prints the release it was built against.
 * Usage: consumer EXAMPLES_DIR STREAM_PATH */
#include <pictor/pictor.h>
#include <stdio.h>
#include <string.h>

static int Fail(const char* what) {
    fprintf(stderr, "consumer: %s\n", what);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3) return Fail("usage: consumer EXAMPLES_DIR STREAM_PATH");
    char jobFile[4096];
    snprintf(jobFile, sizeof jobFile, "%s/astronaut.tp", argv[1]);
    if (PictorForDA(argv[1], jobFile, argv[2], 0) != PICTOR_FINISHED)
        return Fail("the example job did not finish");

    static JobContext context;
    char errorText[1024];
    context.errorText = errorText;
    snprintf(context.workDir, sizeof context.workDir, "%s", argv[1]);
    snprintf(context.jobFileName, sizeof context.jobFileName, "missing.tp");
    if (Pictor(&context) != PICTOR_FAILED || context.status != PICTOR_FAILED ||
        context.progress != 100 || strstr(errorText, "missing.tp") == NULL)
        return Fail("a missing job file did not fail with its status, progress and error text");

    printf("pictor %s\n", PICTOR_VERSION_STRING);
    return 0;
}
