// Progress on standard error: of one job, or of a whole batch.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli_command_line.h"
#include "cli_display.h"

namespace {

constexpr int kBarWidth = 30;

const char* StageName(int progress) {
    if (progress < 10) return "reading the picture";
    if (progress < 70) return "analysing";
    if (progress < 80) return "coding pass 1";
    if (progress < 90) return "coding pass 2";
    if (progress < 100) return "final pass";
    return "done";
}

std::string Bar(int percent) {
    const int filled = std::clamp(percent, 0, 100) * kBarWidth / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(kBarWidth - filled), '-') + "]";
}

void DrawBar(int progress, bool cancelling) {
    std::fprintf(stderr, "\r%s %3d%% %-22s", Bar(progress).c_str(), progress,
                 cancelling ? "cancelling..." : StageName(progress));
    std::fflush(stderr);
}

size_t TerminalWidth() {
    struct winsize size;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
    return 80;
}

const char* EndName(int status) {
    return status == kExitFinished ? "finished" : status == kExitCancelled ? "cancelled" : "failed";
}

}  // namespace

TerminalReporter::TerminalReporter(bool quiet, bool progress)
    : bar_(!quiet && progress && isatty(STDERR_FILENO)),
      lines_(!quiet && progress && !bar_),
      notes_(!quiet) {}

void TerminalReporter::Progress(int percent, bool cancelling) {
    if (cancelling && !cancelling_ && lines_) std::fprintf(stderr, "pictor: cancelling...\n");
    const bool redraw = percent != shown_ || cancelling != cancelling_;
    cancelling_ = cancelling;
    if (!redraw || percent == 100) return;
    if (bar_) DrawBar(percent, cancelling);
    if (lines_ && percent != shown_)
        std::fprintf(stderr, "pictor: %d%% %s\n", percent, StageName(percent));
    shown_ = percent;
}

void TerminalReporter::Note(const std::string& text) {
    Clear();
    if (notes_) std::fprintf(stderr, "pictor: %s\n", text.c_str());
    Redraw();
}

void TerminalReporter::End(bool finished) {
    if (bar_ && shown_ >= 0) {
        if (finished) DrawBar(100, false);
        std::fputc('\n', stderr);
    } else if (lines_ && finished) {
        std::fprintf(stderr, "pictor: 100%% done\n");
    }
    shown_ = -1;
}

void TerminalReporter::Clear() {
    if (bar_ && shown_ >= 0) std::fputs("\r\033[K", stderr);
}

void TerminalReporter::Redraw() {
    if (bar_ && shown_ >= 0) DrawBar(shown_, cancelling_);
}

BatchDisplay::BatchDisplay(const CommandLine& line, size_t total)
    : single_(total == 1),
      quiet_(line.quiet),
      short_(line.shortSummary),
      line_(!line.quiet && !line.shortSummary && isatty(STDERR_FILENO)),
      total_(total),
      singleJob_(line.quiet, !line.shortSummary) {}

void BatchDisplay::Started(size_t index, const std::string& input) {
    running_.push_back({index, input, 0});
    if (!single_) Draw();
}

void BatchDisplay::Progress(size_t index, int percent, bool cancelling) {
    if (single_) return singleJob_.Progress(percent, cancelling);
    for (Running& job : running_) {
        if (job.index == index && job.percent != percent) {
            job.percent = percent;
            Draw();
        }
    }
}

void BatchDisplay::Note(size_t index, const std::string& text) {
    if (single_) return singleJob_.Note(text);
    if (quiet_) return;
    ClearLine();
    for (const Running& job : running_) {
        if (job.index == index)
            std::fprintf(stderr, "pictor: %s: %s\n", job.input.c_str(), text.c_str());
    }
    Draw();
}

void BatchDisplay::Ended(size_t index, int status) {
    if (single_) return singleJob_.End(status == kExitFinished);
    ClearLine();
    ended_ += 1;
    if (status == kExitFailed) failed_ += 1;
    for (auto job = running_.begin(); job != running_.end(); ++job) {
        if (job->index != index) continue;
        // A finished job's one line under --short is its summary.
        if ((!quiet_ && !short_) || status != kExitFinished) {
            std::fprintf(stderr, "pictor: %zu/%zu %s: %s\n", ended_, total_, job->input.c_str(),
                         EndName(status));
        }
        running_.erase(job);
        break;
    }
    std::fflush(stderr);
}

void BatchDisplay::Resume() {
    if (!single_) Draw();
}

void BatchDisplay::Cancelling() {
    cancelling_ = true;
    if (single_) return;
    ClearLine();
    if (!quiet_) std::fprintf(stderr, "pictor: cancelling the running jobs; no other starts\n");
    Draw();
}

void BatchDisplay::Finish(size_t finished, size_t failed, size_t cancelled,
                          const std::vector<std::string>& failures) {
    if (single_) return;
    ClearLine();
    if (quiet_) return;
    std::fprintf(stderr, "pictor: %zu jobs: %zu finished, %zu failed, %zu cancelled\n", total_,
                 finished, failed, cancelled);
    for (const std::string& failure : failures)
        std::fprintf(stderr, "pictor: failed: %s\n", failure.c_str());
}

void BatchDisplay::Draw() {
    if (!line_) return;
    int sum = static_cast<int>(ended_) * 100;
    for (const Running& job : running_) sum += job.percent;
    const int percent = static_cast<int>(sum / static_cast<int>(total_));
    std::string text = Bar(percent) + " " + std::to_string(ended_) + "/" + std::to_string(total_);
    if (failed_ > 0) text += " (" + std::to_string(failed_) + " failed)";
    if (cancelling_) text += " cancelling...";
    for (const Running& job : running_) {
        text += "  " + job.input + " " + std::to_string(job.percent) + "%";
    }
    text.resize(std::min(text.size(), TerminalWidth() - 1));
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void BatchDisplay::ClearLine() {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
}
