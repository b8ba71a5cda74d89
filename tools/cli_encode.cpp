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
#include "library_rules.h"

namespace {

struct EncodeRequest {
    std::string picture;
    std::string output;
    EncodeSettings settings;
    JobFlags flags;
};

std::string JobText(const EncodeSettings& settings, const std::string& sourceName) {
    std::string text = "# written by pictor encode\n";
    text += "SOURCE_FILE " + sourceName + "\n";
    text += "TARGET_SIZE " + std::to_string(settings.target) + "\n";
    text += "FRMRT " + settings.standard + "\n";
    text += "ASPECT_RATIO " + settings.aspect + "\n";
    text += std::string("PAN_SCAN ") + (settings.panScan ? "ON" : "OFF") + "\n";
    if (settings.panScan)
        text += "PAN_SCAN_VECTOR " + std::to_string(settings.panScanVector) + "\n";
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
    if (!rules::NameFitsJobFile(base) || !rules::NameFitsJobFile(stem)) {
        base = "picture.tif";
        stem = "picture";
    }
    const std::string still = work + "/still";
    const std::string jobName = stem + ".tp";
    if (mkdir(still.c_str(), 0700) != 0 ||
        LinkOrCopy(AbsolutePath(request.picture), still + "/" + base) != 0 ||
        !WriteText(work + "/" + jobName, JobText(request.settings, base))) {
        std::perror("pictor: cannot prepare the work folder");
        return kExitFailed;
    }

    char errorText[1024] = {};
    auto context = NewJobContext(work, jobName, request.flags, errorText);
    if (context == nullptr) {
        std::fprintf(stderr, "pictor: the work folder's path is too long: %s\n", work.c_str());
        return kExitFailed;
    }
    bool cancelRequested = false;
    int result = RunJobWatched(context.get(), request.flags, &cancelRequested);
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
        PrintSummary(
            request.output, facts,
            rules::TargetUsed(request.settings.target, request.flags.progressiveStill == 1));
    }
    return kExitFinished;
}

}  // namespace

int CommandEncode(const CommandLine& line) {
    EncodeRequest request;
    request.picture = line.inputs.front();
    request.output = line.output;
    request.settings = line.encode;
    request.flags = line.flags;
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
