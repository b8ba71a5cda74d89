// pictor run JOBFILE: one job from a job parameter file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli.h"

namespace {

struct RunRequest {
    std::string jobFile;
    std::string workDir;  // the folder of the job file, as given
    std::string name;     // the job file's name inside it
    std::string stream;   // --stream, or empty
    JobFlags flags;
};

int ParseRun(int argc, char** argv, RunRequest* request) {
    ArgCursor args{argc, argv, 0};
    while (args.next < argc) {
        const std::string arg = argv[args.next];
        int taken = TakeValue(&args, "--stream", &request->stream);
        if (taken > 0 && request->stream.empty()) return UsageError("--stream needs a path");
        if (taken == 0) taken = TakeJobFlag(&args, &request->flags);
        if (taken < 0) return kExitUsage;
        if (taken > 0) continue;
        if (arg.size() > 1 && arg[0] == '-') return UsageError("run: unknown option '" + arg + "'");
        if (!request->jobFile.empty()) return UsageError("run takes one job parameter file");
        request->jobFile = arg;
        args.next += 1;
    }
    if (request->jobFile.empty()) return UsageError("run needs a job parameter file");
    size_t slash = request->jobFile.rfind('/');
    request->workDir = slash == std::string::npos ? "." : request->jobFile.substr(0, slash);
    request->name =
        slash == std::string::npos ? request->jobFile : request->jobFile.substr(slash + 1);
    if (slash == 0) request->workDir = "";  // "/x.tp": the library joins "" + "/" + name
    if (request->name.empty())
        return UsageError("'" + request->jobFile + "' names a folder, not a job file");
    if (request->workDir.size() >= sizeof(JobContext::workDir) ||
        request->name.size() >= sizeof(JobContext::jobFileName)) {
        return UsageError("job parameter file path too long: " + request->jobFile);
    }
    return 0;
}

struct FileStamp {
    bool exists = false;
    struct stat st {};
};

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    stamp.exists = stat(path.c_str(), &stamp.st) == 0;
    return stamp;
}

bool Rewritten(const FileStamp& before, const FileStamp& after) {
    if (!after.exists) return false;
    if (!before.exists) return true;
    return before.st.st_ino != after.st.st_ino ||
           before.st.st_mtim.tv_sec != after.st.st_mtim.tv_sec ||
           before.st.st_mtim.tv_nsec != after.st.st_mtim.tv_nsec ||
           before.st.st_size != after.st.st_size;
}

int Finish(const std::string& streamPath, const RunRequest& request) {
    if (request.flags.quiet) return kExitFinished;
    StreamFacts facts;
    if (ReadStreamFacts(streamPath, &facts) != 0) {
        std::fprintf(stderr, "pictor: %s holds no sequence header\n", streamPath.c_str());
        return kExitFailed;
    }
    long long target = ReadJobTarget(request.jobFile);
    PrintSummary(streamPath, facts, target < 0 ? 0 : EffectiveTarget(target, request.flags));
    return kExitFinished;
}

// The job where it lies: the stream goes beside the job file, as the library puts it.
int RunInPlace(const RunRequest& request) {
    auto context = std::make_unique<JobContext>();
    std::memset(context.get(), 0, sizeof(JobContext));
    std::memcpy(context->workDir, request.workDir.c_str(), request.workDir.size() + 1);
    std::memcpy(context->jobFileName, request.name.c_str(), request.name.size() + 1);
    const std::string streamPath = StemOf(request.workDir + "/" + request.name) + ".ts";

    FileStamp before = StampOf(streamPath);
    char errorText[1024] = {};
    bool cancelRequested = false;
    int result = RunJobWatched(context.get(), errorText, request.flags, &cancelRequested);
    if (result == PICTOR_FINISHED) {
        // Named as the user named the job file: "menu.tp" gives "menu.ts", not "./menu.ts".
        bool bare = request.jobFile.find('/') == std::string::npos;
        return Finish(bare ? streamPath.substr(2) : streamPath, request);
    }

    // An attempt that stopped half-way leaves a stream without its picture.
    if (Rewritten(before, StampOf(streamPath)) && unlink(streamPath.c_str()) == 0) {
        std::fprintf(stderr, "pictor: removed the unfinished %s\n", streamPath.c_str());
    }
    return ReportOutcome(result, cancelRequested, errorText, streamPath);
}

// --stream: the job runs in a private folder that links to the job file and
// its pictures, and the stream is moved to PATH only once it is complete.
int RunToStream(const RunRequest& request) {
    const std::string work = MakeWorkDir();
    if (work.empty()) {
        std::perror("pictor: cannot make a work folder");
        return kExitFailed;
    }
    const std::string realDir = AbsolutePath(request.workDir.empty() ? "/" : request.workDir);
    if (LinkOrCopy(AbsolutePath(request.jobFile), work + "/" + request.name) != 0 ||
        symlink((realDir + "/still").c_str(), (work + "/still").c_str()) != 0) {
        std::perror("pictor: cannot prepare the work folder");
        RemoveWorkDir(work);
        return kExitFailed;
    }
    auto context = std::make_unique<JobContext>();
    std::memset(context.get(), 0, sizeof(JobContext));
    std::snprintf(context->workDir, sizeof context->workDir, "%s", work.c_str());
    std::snprintf(context->jobFileName, sizeof context->jobFileName, "%s", request.name.c_str());

    char errorText[1024] = {};
    bool cancelRequested = false;
    int result = RunJobWatched(context.get(), errorText, request.flags, &cancelRequested);
    const std::string written = StemOf(work + "/" + request.name) + ".ts";
    int status = kExitFinished;
    if (result == PICTOR_FINISHED) {
        if (MoveFile(written, request.stream) != 0) {
            std::fprintf(stderr, "pictor: cannot write %s: %s\n", request.stream.c_str(),
                         std::strerror(errno));
            status = kExitFailed;
        } else {
            status = Finish(request.stream, request);
        }
    } else {
        // Messages cite the job's own folder, not the private one.
        std::string text = ReplaceAll(errorText, work + "/", request.workDir + "/");
        status = ReportOutcome(result, cancelRequested, text, request.stream);
    }
    RemoveWorkDir(work);
    return status;
}

}  // namespace

int CommandRun(int argc, char** argv) {
    RunRequest request;
    if (ParseRun(argc, argv, &request) != 0) return kExitUsage;
    return request.stream.empty() ? RunInPlace(request) : RunToStream(request);
}
