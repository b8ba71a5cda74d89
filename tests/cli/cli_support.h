// The pictor command run as people and scripts run it, each test in its own folders.
#ifndef PICTOR_TESTS_CLI_CLI_SUPPORT_H
#define PICTOR_TESTS_CLI_CLI_SUPPORT_H

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/files.h"

// A job file's settings for a 96x64 NTSC picture, without SOURCE_FILE.
extern const char kJobSettings[];
// The settings `encode` needs for the same picture.
inline const std::string kEncode = " --target 200000 --standard ntsc --aspect 4:3";

// What one call of the command did.
struct CliResult {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// A folder to run the command in (`dir`), holding still/pic.tif (96x64),
// good.tp (naming it) and gone.tp (naming a missing picture), and a separate
// folder for the command's own temporary files (`tmp`). Files a test makes
// with Add or Make count as ones the folder started with.
class CliFolder {
public:
    CliFolder();
    void Add(const std::string& name, const std::string& text);
    // Runs shell text in `dir`; fails the test when it exits non-zero.
    bool Make(const std::string& command);
    // Runs `pictor ARGS` in `dir` through the shell, with TMPDIR set to `tmp`;
    // `before` and `after` are shell text around the call (a pipe's reader, a
    // limit, an interrupt), `after` finding the file standard error goes to in $e.
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

// Shell text after a call: the call in the background ($p), until the command waits for a
// reader of a named pipe (for a minute at most), its standard output going aside.
inline const std::string kUntilItWaitsForAReader =
    " >\"$e.out\" & p=$!; for i in $(seq 600); do grep -q 'waiting for a reader' \"$e\" && "
    "break; sleep 0.1; done; ";

// Between two parts of what a stream says that come in this order.
inline const std::string kThen = "\n...\n";
// The first of `parts` (joined by kThen) that `said` lacks, in their order;
// "" when it has them all, or when both are empty.
std::string Unsaid(const std::string& parts, const std::string& said);

// One call of the command, run in a CliFolder that also holds old.m2v, after the shell text `make`;
// `before` and `after` go around the call. err, out: what standard error and
// standard output say, parts joined by kThen ("": nothing at all); made: the
// names the call leaves; stream: a file then holding a 96x64 stream (old.m2v
// only when the call replaces it); check: shell text that must then succeed;
// results: the "result" of every job in report.json. The job file and the picture stay as
// they were.
struct CommandCase {
    const char* name;
    std::string args;
    int status;
    std::string err = {}, out = {}, made = {}, stream = {}, make = {}, before = {}, after = {},
                check = {}, results = {};
};

inline void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }
class CommandTest : public ::testing::TestWithParam<CommandCase> {};

#endif
