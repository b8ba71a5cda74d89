// Pictures coded on encoder instances in the command's own process: -j worker threads, each
// with an instance of its own for its whole life, take the batch's jobs in order. Only the
// main thread prints; it shows the running jobs' progress and turns interrupts into their
// cancel words.
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "cli_batch.h"
#include "cli_files.h"
#include "cli_job.h"
#include "cli_one_job.h"
#include "cli_summary.h"
#include "media/picture_input.h"
#include "media/tiff_library.h"
#include "pictor/pictor.h"

namespace {

constexpr auto kProgressPoll = std::chrono::milliseconds(100);

// Interrupts a worker's wait in a system call (a pipe that takes no more) without ending it.
constexpr int kWakeSignal = SIGUSR1;

void OnWake(int) {}

// The input a worker thread codes, for the words of a crash.
thread_local const char* tCoding = nullptr;

// Whether `path` is a regular file holding a TIFF; a pipe is left unread for its job.
bool IsTiffFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           DetectPictureFormat(path) == PictureFormat::kTiff;
}

void Say(const char* text) {
    for (size_t left = std::strlen(text); left > 0;) {
        const ssize_t n = write(STDERR_FILENO, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

// What handled each crash signal before: a sanitizer's report, or the default end.
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction gBefore[sizeof kCrashSignals / sizeof kCrashSignals[0]];

// A crash in one job takes the whole process, its other jobs too: it is said, with the job's
// input, and no work folder or temporary file stays. Only system calls here.
void OnCrash(int signal, siginfo_t* info, void* context) {
    char number[3] = {static_cast<char>('0' + signal / 10 % 10),
                      static_cast<char>('0' + signal % 10), '\0'};
    Say("\npictor: ");
    if (tCoding != nullptr) {
        Say("the job of ");
        Say(tCoding);
        Say(" ");
    }
    Say("crashed (signal ");
    Say(signal < 10 ? number + 1 : number);
    Say("); the command ends with every job\n");
    RemoveWorkDirsNow();
    for (size_t i = 0; i < sizeof kCrashSignals / sizeof kCrashSignals[0]; ++i) {
        if (kCrashSignals[i] != signal) continue;
        const struct sigaction& before = gBefore[i];
        sigaction(signal, &before, nullptr);
        if ((before.sa_flags & SA_SIGINFO) != 0) return before.sa_sigaction(signal, info, context);
        if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN)
            return before.sa_handler(signal);
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void CatchCrashes() {
    struct sigaction crash;
    std::memset(&crash, 0, sizeof crash);
    crash.sa_sigaction = OnCrash;
    crash.sa_flags = SA_SIGINFO;
    sigemptyset(&crash.sa_mask);
    for (size_t i = 0; i < sizeof kCrashSignals / sizeof kCrashSignals[0]; ++i)
        sigaction(kCrashSignals[i], &crash, &gBefore[i]);
}

// What a worker thread tells the main thread.
struct Event {
    enum class Kind { kStarted, kProgress, kNote, kEnded };
    Event(Kind k, size_t i, std::string text = std::string(), int p = 0)
        : kind(k), index(i), note(std::move(text)), percent(p) {}
    Kind kind;
    size_t index;
    std::string note;  // the input, or the note
    int percent;
    int status = kExitFailed;
    ToldJob told;
};

// One worker thread and its instance; `index` and the words of `state` are shared with the
// main thread under the batch's lock.
struct Slot {
    PictorEncoder* encoder = nullptr;
    PictorJobState state{};
    long index = -1;  // the job it runs, -1 between jobs
    std::thread thread;
};

class ThreadBatch {
public:
    ThreadBatch(const CommandLine& line, const std::vector<std::string>& destinations,
                BatchTeller* teller)
        : line_(line), destinations_(destinations), teller_(teller) {}

    int Run();
    void Post(Event event);

private:
    void Work(Slot* slot);
    bool Take(Slot* slot, size_t* index);
    void RunJob(Slot* slot, size_t index);
    void Stop();
    void ShowProgress();
    // Waits a while for the workers' words and tells them.
    void Drain();

    const CommandLine& line_;
    const std::vector<std::string>& destinations_;
    BatchTeller* teller_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Event> events_;
    // Queued events the main thread is woken for: a job's end and its notes. A start or a
    // percentage waits for the display's next poll, so a worker never wakes it for those.
    size_t urgent_ = 0;
    size_t next_ = 0;        // the first job no worker has taken
    size_t ended_ = 0;       // jobs told as ended
    bool stopping_ = false;  // interrupted: no job is taken any more
};

// A job's words to the main thread, which also reads its progress from its state.
class PostingReporter : public JobReporter {
public:
    PostingReporter(ThreadBatch* batch, size_t index) : batch_(batch), index_(index) {}
    void Progress(int percent, bool) override {
        if (percent == percent_) return;
        percent_ = percent;
        batch_->Post(Event(Event::Kind::kProgress, index_, std::string(), percent));
    }
    void Note(const std::string& text) override {
        batch_->Post(Event(Event::Kind::kNote, index_, text));
    }
    void End(bool) override {}

private:
    ThreadBatch* batch_;
    size_t index_;
    int percent_ = -1;
};

void ThreadBatch::Post(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool urgent = event.kind == Event::Kind::kNote;
    events_.push_back(std::move(event));
    if (urgent && urgent_++ == 0) posted_.notify_one();
}

bool ThreadBatch::Take(Slot* slot, size_t* index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || next_ >= line_.inputs.size()) return false;
    *index = next_++;
    slot->index = static_cast<long>(*index);
    // Under the lock: a cancel the main thread sets from now on reaches this job.
    __atomic_store_n(&slot->state.cancel, 0, __ATOMIC_RELAXED);
    __atomic_store_n(&slot->state.progress, 0, __ATOMIC_RELAXED);
    __atomic_store_n(&slot->state.status, PICTOR_FAILED, __ATOMIC_RELAXED);
    slot->state.errorText[0] = '\0';
    events_.emplace_back(Event::Kind::kStarted, *index, line_.inputs[*index]);
    return true;
}

void ThreadBatch::RunJob(Slot* slot, size_t index) {
    Event ended(Event::Kind::kEnded, index);
    if (slot->encoder == nullptr) {
        ended.told.errors = "pictor: cannot start a job: no memory for an encoder\n";
    } else {
        PostingReporter reporter(this, index);
        const InstanceJob instance{slot->encoder, &slot->state};
        tCoding = line_.inputs[index].c_str();
        try {
            const JobSummary summary =
                RunOneJob(line_, line_.inputs[index], destinations_[index], &reporter, &instance);
            ended.status = summary.status;
            ended.told = TellJob(summary, line_, line_.inputs.size() > 1);
        } catch (const std::exception& e) {
            // Out of memory: this job fails, the batch goes on.
            ended.status = kExitFailed;
            ended.told.errors = "pictor: " + line_.inputs[index] + ": " + e.what() + "\n";
        }
        tCoding = nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    slot->index = -1;
    events_.push_back(std::move(ended));
    if (urgent_++ == 0) posted_.notify_one();
}

void ThreadBatch::Work(Slot* slot) {
    // Made on the worker's thread: the workers clear their instances' first pages side by side,
    // while the main thread loads libtiff.
    slot->encoder = PictorCreate();
    for (size_t index = 0; Take(slot, &index);) RunJob(slot, index);
}

void ThreadBatch::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (const auto& slot : slots_) {
        if (slot->index < 0) continue;
        __atomic_store_n(&slot->state.cancel, 1, __ATOMIC_RELAXED);
        pthread_kill(slot->thread.native_handle(), kWakeSignal);
    }
}

void ThreadBatch::ShowProgress() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& slot : slots_) {
        // Progress is shown while the library runs the job, as it is for a job file's run.
        if (slot->index < 0 ||
            __atomic_load_n(&slot->state.status, __ATOMIC_ACQUIRE) != PICTOR_RUNNING)
            continue;
        const int percent = __atomic_load_n(&slot->state.progress, __ATOMIC_RELAXED);
        teller_->display().Progress(static_cast<size_t>(slot->index), percent, stopping_);
    }
}

void ThreadBatch::Drain() {
    std::deque<Event> events;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        posted_.wait_for(lock, kProgressPoll, [this] { return urgent_ > 0; });
        urgent_ = 0;
        events.swap(events_);
    }
    for (const Event& event : events) {
        if (event.kind == Event::Kind::kStarted) {
            teller_->display().Started(event.index, event.note);
        } else if (event.kind == Event::Kind::kProgress) {
            teller_->display().Progress(event.index, event.percent, stopping_);
        } else if (event.kind == Event::Kind::kNote) {
            teller_->display().Note(event.index, event.note);
        } else {
            ended_ += 1;
            teller_->Tell(event.index, event.status, event.told);
        }
    }
}

int ThreadBatch::Run() {
    struct sigaction wake;
    std::memset(&wake, 0, sizeof wake);
    wake.sa_handler = OnWake;  // no SA_RESTART: the interrupted call returns
    sigemptyset(&wake.sa_mask);
    sigaction(kWakeSignal, &wake, nullptr);
    CatchCrashes();
    // Interrupts reach the main thread alone; the workers inherit the mask.
    sigset_t interrupts, unblocked;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &interrupts, &unblocked);
    const size_t width = std::min(BatchWidth(line_), line_.inputs.size());
    // With a job on every processor, a job's helper thread only takes time from the other jobs:
    // each job runs on its own thread then, unless the user chose (the streams are the same).
    if (width > 1 && width >= Processors()) setenv("PICTOR_THREADS", "1", 0);
    for (size_t i = 0; i < width; ++i) {
        slots_.push_back(std::make_unique<Slot>());
        Slot* slot = slots_.back().get();
        slot->thread = std::thread([this, slot] { Work(slot); });
    }
    pthread_sigmask(SIG_SETMASK, &unblocked, nullptr);
    // A TIFF's first job checks it with libtiff: loaded here meanwhile.
    std::string unloaded;
    if (line_.command == Command::kEncode && IsTiffFile(line_.inputs.front()))
        (void)LibTiff(&unloaded);

    for (bool stopped = false;;) {
        if (Interrupted() && !stopped) {
            stopped = true;
            Stop();
            teller_->display().Cancelling();
        }
        Drain();
        size_t taken = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            taken = next_;
        }
        const bool takesMore = !stopped && taken < line_.inputs.size();
        if (!takesMore && ended_ == taken) break;
        ShowProgress();
    }
    for (const auto& slot : slots_) {
        slot->thread.join();
        if (PictorDestroy(slot->encoder) != 0) std::fputs("pictor: an encoder was busy\n", stderr);
    }
    return teller_->Finish(next_);
}

}  // namespace

int RunThreadBatch(const CommandLine& line, const std::vector<std::string>& destinations,
                   BatchTeller* teller) {
    return ThreadBatch(line, destinations, teller).Run();
}
