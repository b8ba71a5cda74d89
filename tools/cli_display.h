// What standard error shows while jobs run: one job's progress, or a whole batch's.
#ifndef PICTOR_TOOLS_CLI_DISPLAY_H
#define PICTOR_TOOLS_CLI_DISPLAY_H

#include <cstddef>
#include <string>
#include <vector>

#include "cli_command_line.h"
#include "cli_job.h"

// Progress of a single job on standard error: a bar on a terminal, lines elsewhere.
class TerminalReporter : public JobReporter {
public:
    // `progress`: the bar or lines of progress; notes are shown unless `quiet`.
    TerminalReporter(bool quiet, bool progress);
    void Progress(int percent, bool cancelling) override;
    void Note(const std::string& text) override;
    void End(bool finished) override;
    // Takes the bar off the terminal before other text, and puts it back.
    void Clear();
    void Redraw();

private:
    bool bar_;
    bool lines_;
    bool notes_;
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
    // The batch's closing line, then a line for each failed job (its input and cause).
    void Finish(size_t finished, size_t failed, size_t cancelled,
                const std::vector<std::string>& failures);

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
    bool short_;  // --short: one line for each job, no progress
    bool line_;   // a status line on a terminal
    size_t total_;
    size_t ended_ = 0;
    size_t failed_ = 0;
    bool cancelling_ = false;
    bool drawn_ = false;
    std::vector<Running> running_;
    TerminalReporter singleJob_;
};

#endif
