// A batch of jobs: worker processes, what they tell the command, and the
// display that shows them all.
#ifndef PICTOR_TOOLS_BATCH_H
#define PICTOR_TOOLS_BATCH_H

#include <signal.h>

#include <cstddef>
#include <string>
#include <vector>

#include "cli.h"

// Messages from a worker process to the command that started it, each a kind
// byte, a four-byte length and the text.
enum class WorkerMessage : char {
    kProgress = 'p',  // "45", or "45 cancelling"
    kNote = 'n',      // a line to show now
    kErrors = 'e',    // what is told of the job at its end (ToldJob)
    kSummary = 's',
    kJson = 'j',
};

bool SendMessage(int fd, WorkerMessage kind, const std::string& text);
// Takes the first whole message off the front of `buffer`; false when none is whole.
bool TakeMessage(std::string* buffer, WorkerMessage* kind, std::string* text);

// In a process just forked for one job (interrupts blocked, `unblocked` the
// mask to restore): runs the job, tells the command through `fd` and exits
// with the job's status.
[[noreturn]] void RunWorker(const CommandLine& line, const std::string& input,
                            const std::string& destination, int fd, const sigset_t& unblocked);

// Progress of a single job on standard error: a bar on a terminal, lines elsewhere.
class TerminalReporter : public JobReporter {
public:
    explicit TerminalReporter(bool quiet);
    void Progress(int percent, bool cancelling) override;
    void Note(const std::string& text) override;
    void End(bool finished) override;
    // Takes the bar off the terminal before other text, and puts it back.
    void Clear();
    void Redraw();

private:
    bool bar_;
    bool lines_;
    int shown_ = -1;
    bool cancelling_ = false;
};

// What standard error shows of a batch: for one job, that job's progress; for
// several, one line redrawn on a terminal (how far the batch is, the running
// jobs), or a line per job that ends elsewhere.
class BatchDisplay {
public:
    BatchDisplay(const CommandLine& line, size_t total);
    void Started(size_t index, const std::string& input);
    void Progress(size_t index, int percent, bool cancelling);
    void Note(size_t index, const std::string& text);
    // Job `index` has ended; its text follows on standard error and the summary stream.
    void Ended(size_t index, int status);
    // After a job's text: the display is drawn again.
    void Resume();
    void Cancelling();
    // The batch's closing line.
    void Finish(size_t finished, size_t failed, size_t cancelled);

private:
    struct Running {
        size_t index;
        std::string input;
        int percent;
    };
    void Draw();
    void ClearLine();

    bool single_;
    bool quiet_;
    bool line_;  // a status line on a terminal
    size_t total_;
    size_t ended_ = 0;
    size_t failed_ = 0;
    bool cancelling_ = false;
    bool drawn_ = false;
    std::vector<Running> running_;
    TerminalReporter singleJob_;
};

#endif
