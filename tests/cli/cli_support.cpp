#include "cli/cli_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/decoders.h"
#include "support/job_runner.h"

namespace fs = std::filesystem;

const char kJobSettings[] = "TARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";
const char kEncodeSettings[] = " --target 200000 --standard ntsc --aspect 4:3";

CliFolder::CliFolder() {
    AddPicture(".", "pic.tif", 96, 64);
    Add("good.tp", std::string("SOURCE_FILE pic.tif\n") + kJobSettings);
    Add("gone.tp", std::string("SOURCE_FILE gone.tif\n") + kJobSettings);
}

void CliFolder::Add(const std::string& name, const std::string& text) {
    WriteFileText(dir / name, text);
    start_ = Names();
}

void CliFolder::AddPicture(const std::string& folder, const std::string& name, int width,
                           int height) {
    fs::create_directories(dir / folder + "/still");
    WriteStillPicture(dir / folder, name, width, height);
    start_ = Names();
}

bool CliFolder::Make(const std::string& command) {
    std::string said;
    const int status = RunCommand("cd '" + dir.path + "' && { " + command + "; } 2>&1", &said);
    EXPECT_EQ(status, 0) << command << "\n" << said;
    start_ = Names();
    return status == 0;
}

CliResult CliFolder::Run(const std::string& args, const std::string& before,
                         const std::string& after) const {
    CliResult result;
    const std::string errFile = io_ / "stderr";
    result.status =
        RunCommand("cd '" + dir.path + "' || exit 99; " + before + " TMPDIR='" + tmp.path +
                       "' '" PICTOR_CLI_PATH "' " + args + " 2>'" + errFile + "' " + after,
                   &result.out);
    auto bytes = ReadFileBytes(errFile);
    result.err.assign(bytes.begin(), bytes.end());
    fs::remove(errFile);
    return result;
}

std::string CliFolder::Text(const std::string& name) const {
    auto bytes = ReadFileBytes(dir / name);
    return std::string(bytes.begin(), bytes.end());
}

std::string CliFolder::StreamProblems(const std::string& name) const {
    return DecoderProblems(DecodeStream(dir / name, 96, 64), 96, 64);
}

std::vector<std::string> CliFolder::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path))
        names.push_back(entry.path().string().substr(dir.path.size() + 1));
    std::sort(names.begin(), names.end());
    return names;
}

std::string CliFolder::NewNames() const {
    std::string joined;
    for (const std::string& name : Names()) {
        if (std::find(start_.begin(), start_.end(), name) == start_.end())
            joined += (joined.empty() ? "" : " ") + name;
    }
    return joined;
}

bool CliFolder::TmpIsEmpty() const { return fs::is_empty(tmp.path); }

namespace {

// What python3 prints for `script` on a JSON Lines file, without the last newline.
std::string Python(const std::string& script, const std::string& path, const std::string& arg) {
    std::string out;
    RunCommand("python3 -c 'import json, sys\n" + script + "' '" + path + "' '" + arg + "' 2>&1",
               &out);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

std::string JsonResults(const std::string& path) {
    return Python("print(\" \".join(json.loads(l)[\"result\"] for l in open(sys.argv[1])))", path,
                  "");
}

std::string JsonField(const std::string& path, const std::string& keys) {
    return Python(
        "v = json.loads(open(sys.argv[1]).readline())\n"
        "for k in sys.argv[2].split(\".\"):\n"
        "    v = v.get(k) if isinstance(v, dict) else None\n"
        "print(\"missing\" if v is None else json.dumps(v))",
        path, keys);
}

Spawned::Spawned(const CliFolder& folder, const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    std::vector<std::string> argv = {PICTOR_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(&arg[0]);
    pointers.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(folder.dir.path.c_str()) != 0) _exit(99);
        setenv("TMPDIR", folder.tmp.path.c_str(), 1);
        dup2(fds[1], STDERR_FILENO);
        const int outFd = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(outFd, STDOUT_FILENO);
        execv(pointers[0], pointers.data());
        _exit(98);
    }
    close(fds[1]);
    errFd_ = fds[0];
}

Spawned::~Spawned() {
    if (errFd_ >= 0) close(errFd_);
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool Spawned::WaitFor(const std::string& text, int seconds) {
    while (err_.find(text) == std::string::npos) {
        struct pollfd wait = {errFd_, POLLIN, 0};
        if (poll(&wait, 1, seconds * 1000) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(errFd_, buffer, sizeof buffer);
        ended_ = n <= 0;
        if (ended_) return false;
        err_.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

void Spawned::Interrupt() { kill(pid_, SIGINT); }

int Spawned::Wait(std::string* err) {
    // Standard error ends when the command does; a command silent for a
    // minute is killed, and the test fails on its status.
    if (!WaitFor(std::string(1, '\0'), 60) && !ended_) kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    *err = err_;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
