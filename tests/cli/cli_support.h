// The pictor command run as people and scripts run it, each test in its own folders.
#ifndef PICTOR_TESTS_CLI_CLI_SUPPORT_H
#define PICTOR_TESTS_CLI_CLI_SUPPORT_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/files.h"

// A job file's settings for a 96x64 NTSC picture, without SOURCE_FILE.
extern const char kJobSettings[];
// The settings `encode` needs for the same picture.
extern const char kEncodeSettings[];

// What one call of the command did.
struct CliResult {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// A folder to run the command in (`dir`), holding still/pic.tif (96x64),
// good.tp (naming it) and gone.tp (naming a missing picture), and a separate
// folder for the command's own temporary files (`tmp`). Files a test makes
// with Add, AddPicture or Make count as ones the folder started with.
class CliFolder {
public:
    CliFolder();
    void Add(const std::string& name, const std::string& text);
    // The test pattern as folder/still/name (an uncompressed RGB TIFF).
    void AddPicture(const std::string& folder, const std::string& name, int width, int height);
    // Runs shell text in `dir`; fails the test when it exits non-zero.
    bool Make(const std::string& command);
    // Runs `pictor ARGS` in `dir` through the shell, with TMPDIR set to `tmp`;
    // `before` and `after` are shell text around the call (a pipe's reader, a limit).
    CliResult Run(const std::string& args, const std::string& before = "",
                  const std::string& after = "") const;
    // A file of `dir` as text ("" when missing).
    std::string Text(const std::string& name) const;
    // Empty when the stream decodes silently in both decoders as a 96x64 picture.
    std::string StreamProblems(const std::string& name) const;
    // Names in `dir` (recursively, sorted) that are not the files it started with.
    std::string NewNames() const;
    bool TmpIsEmpty() const;

    TempDir dir;
    TempDir tmp;

private:
    std::vector<std::string> Names() const;

    TempDir io_;                      // the command's standard error, caught
    std::vector<std::string> start_;  // the names `dir` started with
};

// The "result" of every line of a JSON Lines file, space-separated, or what
// makes it invalid JSON.
std::string JsonResults(const std::string& path);
// A value of the first object of a JSON Lines file, named by its keys joined
// by dots ("psnr.y"), as JSON text; "missing" when absent, or what makes the
// file invalid JSON.
std::string JsonField(const std::string& path, const std::string& keys);

// The command started in a CliFolder, its standard error read as it comes:
// a test can wait for something to be said and then interrupt the command.
class Spawned {
public:
    Spawned(const CliFolder& folder, const std::vector<std::string>& args);
    ~Spawned();
    // Reads standard error until `text` has come (true) or the command has
    // ended or nothing has come for `seconds` (false).
    bool WaitFor(const std::string& text, int seconds);
    void Interrupt();
    // Waits for the end: the exit status (-1 for a signal); `err` gets all of standard error.
    int Wait(std::string* err);

private:
    pid_t pid_ = -1;
    int errFd_ = -1;
    bool ended_ = false;  // standard error has ended
    std::string err_;
};

#endif
