// pictor encode PICTURE.tif -o OUT: one job without a job parameter file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cli.h"

namespace {

struct EncodeRequest {
    std::string picture;
    std::string output;
    long long target = 0;
    std::string standard;  // PAL or NTSC
    std::string aspect;    // 4:3 or 16:9
    bool panScan = false;
    long long panScanVector = 0;
    JobFlags flags;
};

bool ParseInteger(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    *value = v;
    return true;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return s;
}

int ParseEncode(int argc, char** argv, EncodeRequest* request) {
    ArgCursor args{argc, argv, 0};
    std::string target, standard, aspect, vector;
    while (args.next < argc) {
        const std::string arg = argv[args.next];
        int taken = TakeValue(&args, "-o", &request->output);
        if (taken == 0) taken = TakeValue(&args, "--output", &request->output);
        if (taken == 0) taken = TakeValue(&args, "--target", &target);
        if (taken == 0) taken = TakeValue(&args, "--standard", &standard);
        if (taken == 0) taken = TakeValue(&args, "--aspect", &aspect);
        if (taken == 0) taken = TakeValue(&args, "--pan-scan", &vector);
        if (taken == 0) taken = TakeJobFlag(&args, &request->flags);
        if (taken < 0) return kExitUsage;
        if (taken > 0) continue;
        if (arg.size() > 1 && arg[0] == '-')
            return UsageError("encode: unknown option '" + arg + "'");
        if (!request->picture.empty()) return UsageError("encode takes one picture");
        request->picture = arg;
        args.next += 1;
    }
    if (request->picture.empty()) return UsageError("encode needs a TIFF picture");
    if (request->output.empty()) return UsageError("encode needs -o OUT for the stream");
    if (target.empty()) return UsageError("encode needs --target BITS (160000 to 1800000)");
    if (!ParseInteger(target, &request->target))
        return UsageError("--target takes a number of bits, not '" + target + "'");
    request->standard = Upper(standard);
    if (request->standard != "PAL" && request->standard != "NTSC") {
        return UsageError(standard.empty()
                              ? "encode needs --standard pal or ntsc"
                              : "--standard takes pal or ntsc, not '" + standard + "'");
    }
    if (aspect != "4:3" && aspect != "16:9") {
        return UsageError(aspect.empty() ? "encode needs --aspect 4:3 or 16:9"
                                         : "--aspect takes 4:3 or 16:9, not '" + aspect + "'");
    }
    request->aspect = aspect;
    if (!vector.empty()) {
        if (!ParseInteger(vector, &request->panScanVector)) {
            return UsageError("--pan-scan takes an offset in 1/16 samples, not '" + vector + "'");
        }
        if (aspect != "16:9") return UsageError("--pan-scan needs --aspect 16:9");
        request->panScan = true;
    }
    return 0;
}

// A name the job parameter file can carry: one word, no comment sign.
bool UsableName(const std::string& name) {
    if (name.empty() || name.size() > 200 || name.find(".tp") != std::string::npos) return false;
    for (char c : name) {
        if (c == '#' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            return false;
    }
    return true;
}

std::string JobText(const EncodeRequest& request, const std::string& sourceName) {
    std::string text = "# written by pictor encode\n";
    text += "SOURCE_FILE " + sourceName + "\n";
    text += "TARGET_SIZE " + std::to_string(request.target) + "\n";
    text += "FRMRT " + request.standard + "\n";
    text += "ASPECT_RATIO " + request.aspect + "\n";
    text += std::string("PAN_SCAN ") + (request.panScan ? "ON" : "OFF") + "\n";
    if (request.panScan) text += "PAN_SCAN_VECTOR " + std::to_string(request.panScanVector) + "\n";
    return text;
}

bool WriteText(const std::string& path, const std::string& text) {
    FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && ok;
}

// Refuses an output whose folder cannot take it, before any coding is done.
bool OutputFolderWritable(const std::string& output) {
    size_t slash = output.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK) == 0;
}

int Encode(const EncodeRequest& request, const std::string& work) {
    size_t slash = request.picture.rfind('/');
    std::string base =
        slash == std::string::npos ? request.picture : request.picture.substr(slash + 1);
    size_t dot = base.rfind('.');
    std::string stem = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
    if (!UsableName(base) || !UsableName(stem)) {
        base = "picture.tif";
        stem = "picture";
    }
    const std::string still = work + "/still";
    const std::string jobName = stem + ".tp";
    if (mkdir(still.c_str(), 0700) != 0 ||
        LinkOrCopy(AbsolutePath(request.picture), still + "/" + base) != 0 ||
        !WriteText(work + "/" + jobName, JobText(request, base))) {
        std::perror("pictor: cannot prepare the work folder");
        return kExitFailed;
    }

    auto context = std::make_unique<JobContext>();
    std::memset(context.get(), 0, sizeof(JobContext));
    std::snprintf(context->workDir, sizeof context->workDir, "%s", work.c_str());
    std::snprintf(context->jobFileName, sizeof context->jobFileName, "%s", jobName.c_str());
    char errorText[1024] = {};
    bool cancelRequested = false;
    int result = RunJobWatched(context.get(), errorText, request.flags, &cancelRequested);
    if (result != PICTOR_FINISHED) {
        // Messages cite the user's picture, not its link in the private folder.
        std::string text = ReplaceAll(errorText, still + "/" + base, request.picture);
        text = ReplaceAll(text, work + "/" + stem + ".tif", request.picture);
        text = ReplaceAll(text, "<" + jobName + ">", "<" + request.picture + ">");
        text = ReplaceAll(text, work + "/", "");
        return ReportOutcome(result, cancelRequested, text, request.output);
    }
    if (MoveFile(work + "/" + stem + ".ts", request.output) != 0) {
        std::fprintf(stderr, "pictor: cannot write %s: %s\n", request.output.c_str(),
                     std::strerror(errno));
        return kExitFailed;
    }
    if (!request.flags.quiet) {
        StreamFacts facts;
        ReadStreamFacts(request.output, &facts);
        PrintSummary(request.output, facts, EffectiveTarget(request.target, request.flags));
    }
    return kExitFinished;
}

}  // namespace

int CommandEncode(int argc, char** argv) {
    EncodeRequest request;
    if (ParseEncode(argc, argv, &request) != 0) return kExitUsage;
    if (!OutputFolderWritable(request.output)) {
        std::fprintf(stderr, "pictor: cannot write %s: its folder is missing or read-only\n",
                     request.output.c_str());
        return kExitFailed;
    }
    const std::string work = MakeWorkDir();
    if (work.empty()) {
        std::perror("pictor: cannot make a work folder");
        return kExitFailed;
    }
    int status = Encode(request, work);
    RemoveWorkDir(work);
    return status;
}
