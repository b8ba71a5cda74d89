// pictor run JOBFILE: one job from a job parameter file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli.h"
#include "library_rules.h"

namespace {

struct RunRequest {
    std::string jobFile;
    std::string workDir;  // the folder of the job file, as given
    std::string name;     // the job file's name inside it
    std::string stream;   // --stream, or empty
    JobFlags flags;
};

int MakeRequest(const CommandLine& line, RunRequest* request) {
    request->jobFile = line.inputs.front();
    request->stream = line.stream;
    request->flags = line.flags;
    size_t slash = request->jobFile.rfind('/');
    request->workDir = slash == std::string::npos ? "." : request->jobFile.substr(0, slash);
    request->name =
        slash == std::string::npos ? request->jobFile : request->jobFile.substr(slash + 1);
    if (slash == 0) request->workDir = "";  // "/x.tp": the library joins "" + "/" + name
    if (request->name.empty())
        return UsageError("'" + request->jobFile + "' names a folder, not a job file");
    if (request->workDir.size() > rules::kMaxWorkDir ||
        request->name.size() > rules::kMaxJobFileName) {
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
    std::vector<JobFileLine> lines;
    long long target = 0;
    if (!ReadJobFileLines(request.jobFile, &lines) || !JobTarget(lines, request.flags, &target))
        target = 0;
    PrintSummary(streamPath, facts, target);
    return kExitFinished;
}

// The job where it lies: the stream goes beside the job file, as the library puts it.
int RunInPlace(const RunRequest& request) {
    char errorText[1024] = {};
    auto context = NewJobContext(request.workDir, request.name, request.flags, errorText);
    if (context == nullptr) return UsageError("job parameter file path too long");
    const std::string streamPath = rules::Stem(request.workDir + "/" + request.name) + ".ts";

    FileStamp before = StampOf(streamPath);
    bool cancelRequested = false;
    int result = RunJobWatched(context.get(), request.flags, &cancelRequested);
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
    char errorText[1024] = {};
    auto context = NewJobContext(work, request.name, request.flags, errorText);
    if (context == nullptr) {
        RemoveWorkDir(work);
        return UsageError("job parameter file path too long");
    }
    bool cancelRequested = false;
    int result = RunJobWatched(context.get(), request.flags, &cancelRequested);
    const std::string written = rules::Stem(work + "/" + request.name) + ".ts";
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

int CommandRun(const CommandLine& line) {
    RunRequest request;
    if (MakeRequest(line, &request) != 0) return kExitUsage;
    return request.stream.empty() ? RunInPlace(request) : RunToStream(request);
}
