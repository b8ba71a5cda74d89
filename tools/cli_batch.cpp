// Job parameter files as jobs in worker processes of their own, -j of them at once: the
// library's job-file entry runs one job at a time in a process and carries the extended
// analysis's value from one of its jobs to the next. What every batch shares.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "cli_batch.h"
#include "cli_command_line.h"
#include "cli_display.h"
#include "cli_files.h"
#include "cli_job.h"
#include "cli_options.h"
#include "cli_output.h"
#include "cli_prepare.h"
#include "cli_summary.h"
#include "cli_worker.h"

namespace {

struct Worker {
    size_t index;
    pid_t pid;
    int fd;
    std::string buffer;  // bytes read, not yet whole messages
    ToldJob told;
    bool toldAll = false;  // the last message came: the whole job was told
};

// A destination's place, the same for every way of writing its path.
std::string PlaceOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char* real = realpath(folder.c_str(), nullptr);
    if (real == nullptr) return AbsolutePath(path);
    std::string place = std::string(real) + "/" + path.substr(slash + 1);
    std::free(real);
    return place;
}

// Whether two inputs name one file, however their paths are written.
bool SameInput(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return PlaceOf(a) == PlaceOf(b);
}

// The first two inputs whose streams would take one place, both named with the way out;
// "" when each stream has a place of its own.
std::string Collision(const CommandLine& line, const std::vector<std::string>& destinations) {
    std::map<std::string, size_t> taken;
    for (size_t i = 0; i < destinations.size(); ++i) {
        if (destinations[i] == "-") continue;
        const auto place = taken.emplace(PlaceOf(destinations[i]), i);
        if (place.second) continue;
        const std::string& first = line.inputs[place.first->second];
        const std::string& second = line.inputs[i];
        const std::string text = first + " and " + second + " would both write " + destinations[i];
        if (SameInput(first, second)) return text + ": they are one file; give it once";
        if (line.command == Command::kEncode)
            return text + "; rename one picture, or code them in runs with different --out-dir";
        return text + "; rename one job file, or run them one at a time with --stream";
    }
    return "";
}

// Makes the --out-dir folder, and any folder above it that is missing; "" or what stands in
// the way. `made` tells whether the folder was made.
std::string MakeOutDir(const std::string& dir, bool* made) {
    *made = false;
    for (size_t end = dir.find('/', 1);; end = dir.find('/', end + 1)) {
        const std::string part = dir.substr(0, end);
        struct stat st;
        if (stat(part.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return part + " is a file, not a folder";
        } else if (errno != ENOENT || mkdir(part.c_str(), 0777) != 0) {
            if (errno != EEXIST)
                return "cannot make the folder " + part + ": " + std::strerror(errno);
        } else {
            *made = true;
        }
        if (end == std::string::npos) break;
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0) return dir + ": " + std::strerror(errno);
    return "";
}

// The --out-dir folder made when missing, said once; false (said) when it cannot be written.
bool OutDirReady(const CommandLine& line) {
    if (line.outDir.empty()) return true;
    bool made = false;
    const std::string problem = MakeOutDir(line.outDir, &made);
    if (!problem.empty()) {
        std::fprintf(stderr, "pictor: --out-dir %s: %s\n", line.outDir.c_str(), problem.c_str());
        return false;
    }
    if (made && !line.quiet) std::fprintf(stderr, "pictor: made folder %s\n", line.outDir.c_str());
    return true;
}

class ProcessBatch {
public:
    ProcessBatch(const CommandLine& line, const std::vector<std::string>& destinations,
                 BatchTeller* teller)
        : line_(line), destinations_(destinations), teller_(teller), display_(teller->display()) {}

    int Run();

private:
    void Start(size_t index);
    void Read(Worker* worker, bool* ended);
    void Finish(Worker* worker);
    void Tell(size_t index, int status, const ToldJob& told) { teller_->Tell(index, status, told); }

    const CommandLine& line_;
    const std::vector<std::string>& destinations_;
    BatchTeller* teller_;
    BatchDisplay& display_;
    std::vector<Worker> running_;
};

void ProcessBatch::Start(size_t index) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        ToldJob told;
        told.errors = "pictor: cannot start a job: " + std::string(std::strerror(errno)) + "\n";
        return Tell(index, kExitFailed, told);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // Interrupts wait until the worker has its own handlers.
    sigset_t interrupts, unblocked;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigprocmask(SIG_BLOCK, &interrupts, &unblocked);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        for (const Worker& other : running_) close(other.fd);
        RunWorker(line_, line_.inputs[index], destinations_[index], fds[1], unblocked);
    }
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        ToldJob told;
        told.errors = "pictor: cannot start a job: " + std::string(std::strerror(errno)) + "\n";
        return Tell(index, kExitFailed, told);
    }
    running_.push_back({index, pid, fds[0], std::string(), ToldJob(), false});
    display_.Started(index, line_.inputs[index]);
}

void ProcessBatch::Read(Worker* worker, bool* ended) {
    char bytes[1 << 16];
    const ssize_t n = read(worker->fd, bytes, sizeof bytes);
    if (n < 0) {
        *ended = errno != EINTR && errno != EAGAIN;
        return;
    }
    *ended = n == 0;
    worker->buffer.append(bytes, static_cast<size_t>(n));
    WorkerMessage kind;
    std::string text;
    while (TakeMessage(&worker->buffer, &kind, &text)) {
        if (kind == WorkerMessage::kProgress) {
            display_.Progress(worker->index, std::atoi(text.c_str()),
                              text.find("cancelling") != std::string::npos);
        } else if (kind == WorkerMessage::kNote) {
            display_.Note(worker->index, text);
        } else if (kind == WorkerMessage::kErrors) {
            worker->told.errors = text;
        } else if (kind == WorkerMessage::kSummary) {
            worker->told.summary = text;
        } else if (kind == WorkerMessage::kJson) {
            worker->told.json = text;
            worker->toldAll = true;
        }
    }
}

void ProcessBatch::Finish(Worker* worker) {
    close(worker->fd);
    int wait = 0;
    while (waitpid(worker->pid, &wait, 0) < 0 && errno == EINTR) {
    }
    int status = WIFEXITED(wait) ? WEXITSTATUS(wait) : kExitFailed;
    if (status != kExitFinished && status != kExitCancelled) status = kExitFailed;
    if (!worker->toldAll) {
        // The worker ended before telling its job: a crash, said as such.
        JobSummary summary;
        summary.input = line_.inputs[worker->index];
        summary.output = destinations_[worker->index];
        summary.status = kExitFailed;
        summary.notes.push_back(WIFSIGNALED(wait) ? "the job's process ended by signal " +
                                                        std::to_string(WTERMSIG(wait))
                                                  : "the job's process ended without a word");
        worker->told = TellJob(summary, line_, line_.inputs.size() > 1);
        status = kExitFailed;
    }
    Tell(worker->index, status, worker->told);
}

int ProcessBatch::Run() {
    const size_t total = line_.inputs.size();
    const size_t most = BatchWidth(line_);
    size_t next = 0;
    bool cancelSent = false;
    while (true) {
        while (!Interrupted() && running_.size() < most && next < total) Start(next++);
        if (Interrupted() && !cancelSent) {
            for (const Worker& worker : running_) kill(worker.pid, SIGTERM);
            cancelSent = true;
            display_.Cancelling();
        }
        if (running_.empty()) break;
        std::vector<struct pollfd> waits;
        for (const Worker& worker : running_) waits.push_back({worker.fd, POLLIN, 0});
        if (!cancelSent && InterruptFd() >= 0) waits.push_back({InterruptFd(), POLLIN, 0});
        if (poll(waits.data(), waits.size(), -1) < 0 && errno != EINTR) break;
        for (size_t i = running_.size(); i-- > 0;) {
            if (waits[i].revents == 0) continue;
            bool ended = false;
            Read(&running_[i], &ended);
            if (!ended) continue;
            Worker worker = std::move(running_[i]);
            running_.erase(running_.begin() + static_cast<long>(i));
            Finish(&worker);
        }
    }
    return teller_->Finish(next);
}

}  // namespace

void Tally::Add(int status) {
    if (status == kExitFinished) finished += 1;
    if (status == kExitFailed) failed += 1;
    if (status == kExitCancelled) cancelled += 1;
}

int Tally::Status() const {
    return cancelled > 0 ? kExitCancelled : failed > 0 ? kExitFailed : kExitFinished;
}

BatchTeller::BatchTeller(const CommandLine& line, const std::vector<std::string>& destinations,
                         Sinks* sinks)
    : line_(line), destinations_(destinations), sinks_(sinks), display_(line, line.inputs.size()) {}

void BatchTeller::Tell(size_t index, int status, const ToldJob& told) {
    tally_.Add(status);
    if (status == kExitFailed) failures_.emplace_back(index, FailureCause(told.errors));
    display_.Ended(index, status);
    std::fputs(told.errors.c_str(), stderr);
    std::fflush(stderr);
    std::fputs(told.summary.c_str(), sinks_->summaries);
    std::fflush(sinks_->summaries);
    if (sinks_->json != nullptr) {
        std::fputs(told.json.c_str(), sinks_->json);
        std::fflush(sinks_->json);
    } else {
        sinks_->jsonText += told.json;
    }
    display_.Resume();
}

void BatchTeller::NeverStarted(size_t index) {
    JobSummary summary;
    summary.started = false;
    summary.input = line_.inputs[index];
    summary.output = destinations_[index];
    summary.status = kExitCancelled;
    tally_.Add(kExitCancelled);
    if (!line_.json.empty()) {
        const std::string json = SummaryJson(summary);
        if (sinks_->json != nullptr) {
            std::fputs(json.c_str(), sinks_->json);
        } else {
            sinks_->jsonText += json;
        }
    }
}

int BatchTeller::Finish(size_t first) {
    for (size_t index = first; index < line_.inputs.size(); ++index) NeverStarted(index);
    std::sort(failures_.begin(), failures_.end());
    std::vector<std::string> failed;
    for (const auto& failure : failures_)
        failed.push_back(line_.inputs[failure.first] + ": " + failure.second);
    display_.Finish(tally_.finished, tally_.failed, tally_.cancelled, failed);
    return Interrupted() ? kExitCancelled : tally_.Status();
}

size_t Processors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<size_t>(std::max(1, CPU_COUNT(&set)));
    return 1;
}

size_t BatchWidth(const CommandLine& line) {
    return line.jobs > 0 ? static_cast<size_t>(line.jobs) : Processors();
}

int RunProcessBatch(const CommandLine& line, const std::vector<std::string>& destinations,
                    BatchTeller* teller) {
    return ProcessBatch(line, destinations, teller).Run();
}

int RunBatch(const CommandLine& line) {
    std::vector<std::string> destinations;
    for (const std::string& input : line.inputs) destinations.push_back(DestinationOf(line, input));
    const std::string collision = Collision(line, destinations);
    if (!collision.empty()) return UsageError(collision);
    std::set<std::string> taken;
    for (const std::string& path : destinations) {
        if (path != "-") taken.insert(PlaceOf(path));
    }
    if (!line.preview.empty() && taken.count(PlaceOf(line.preview)) != 0)
        return UsageError("--preview " + line.preview + " is where the stream goes");
    if (!line.preview.empty() && !line.json.empty() && PlaceOf(line.preview) == PlaceOf(line.json))
        return UsageError("--preview and --json name the same file");
    Sinks sinks;
    const bool streamOut = destinations.size() == 1 && destinations.front() == "-";
    if (streamOut || line.json == "-") sinks.summaries = stderr;
    if (line.json == "-") sinks.json = stdout;
    if (!line.json.empty() && line.json != "-") {
        std::vector<GuardedFile> guarded;
        for (const std::string& input : line.inputs) guarded.push_back({input, "an input"});
        for (const std::string& path : destinations) guarded.push_back({path, "a stream"});
        const std::string problem = PrepareDestination(line.json, false, guarded, &sinks.jsonFile);
        if (!problem.empty() || taken.count(PlaceOf(line.json)) != 0) {
            std::fprintf(stderr, "pictor: --json: %s\n",
                         problem.empty() ? "that is where a stream goes" : problem.c_str());
            return kExitFailed;
        }
    }
    if (!OutDirReady(line)) return kExitFailed;
    CatchInterrupts(true);
    RouteOutputByThread();
    BatchTeller teller(line, destinations, &sinks);
    int status = line.command == Command::kEncode ? RunThreadBatch(line, destinations, &teller)
                                                  : RunProcessBatch(line, destinations, &teller);
    if (!line.json.empty() && line.json != "-") {
        const std::string problem = DeliverText(sinks.jsonText, sinks.jsonFile);
        if (!problem.empty()) {
            std::fprintf(stderr, "pictor: --json: %s\n", problem.c_str());
            status = std::max(status, kExitFailed);
        }
    }
    return status;
}
