// One job in a worker process, told to the command through a pipe.
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cli_job.h"
#include "cli_one_job.h"
#include "cli_summary.h"
#include "cli_worker.h"

namespace {

constexpr size_t kHeaderBytes = 5;  // kind, then the length in four bytes

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Progress sent when it changes; notes sent at once.
class PipeReporter : public JobReporter {
public:
    explicit PipeReporter(int fd) : fd_(fd) {}
    void Progress(int percent, bool cancelling) override {
        if (percent == percent_ && cancelling == cancelling_) return;
        percent_ = percent;
        cancelling_ = cancelling;
        SendMessage(fd_, WorkerMessage::kProgress,
                    std::to_string(percent) + (cancelling ? " cancelling" : ""));
    }
    void Note(const std::string& text) override { SendMessage(fd_, WorkerMessage::kNote, text); }
    void End(bool) override {}

private:
    int fd_;
    int percent_ = -1;
    bool cancelling_ = false;
};

}  // namespace

bool SendMessage(int fd, WorkerMessage kind, const std::string& text) {
    const uint32_t size = static_cast<uint32_t>(text.size());
    char header[kHeaderBytes] = {static_cast<char>(kind)};
    std::memcpy(header + 1, &size, sizeof size);
    return WriteAll(fd, header, sizeof header) && WriteAll(fd, text.data(), text.size());
}

bool TakeMessage(std::string* buffer, WorkerMessage* kind, std::string* text) {
    if (buffer->size() < kHeaderBytes) return false;
    uint32_t size = 0;
    std::memcpy(&size, buffer->data() + 1, sizeof size);
    if (buffer->size() - kHeaderBytes < size) return false;
    *kind = static_cast<WorkerMessage>((*buffer)[0]);
    text->assign(*buffer, kHeaderBytes, size);
    buffer->erase(0, kHeaderBytes + size);
    return true;
}

void RunWorker(const CommandLine& line, const std::string& input, const std::string& destination,
               int fd, const sigset_t& unblocked) {
    // A command that goes away cancels its jobs.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    CatchInterrupts(false);
    if (getppid() != parent) raise(SIGTERM);
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);

    PipeReporter reporter(fd);
    const JobSummary summary = RunOneJob(line, input, destination, &reporter);
    const ToldJob told = TellJob(summary, line, line.inputs.size() > 1);
    SendMessage(fd, WorkerMessage::kErrors, told.errors);
    SendMessage(fd, WorkerMessage::kSummary, told.summary);
    SendMessage(fd, WorkerMessage::kJson, told.json);
    _exit(summary.status);
}
