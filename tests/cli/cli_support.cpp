#include "cli/cli_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/decoders.h"
#include "support/job_runner.h"

namespace fs = std::filesystem;

const char kJobSettings[] = "TARGET_SIZE 200000\nFRMRT NTSC\nASPECT_RATIO 4:3\nPAN_SCAN OFF\n";

CliFolder::CliFolder() {
    fs::create_directories(dir / "still");
    WriteStillPicture(dir.path, "pic.tif", 96, 64);
    Add("good.tp", std::string("SOURCE_FILE pic.tif\n") + kJobSettings);
    Add("gone.tp", std::string("SOURCE_FILE gone.tif\n") + kJobSettings);
}

void CliFolder::Add(const std::string& name, const std::string& text) {
    WriteFileText(dir / name, text);
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
    result.status = RunCommand("cd '" + dir.path + "' || exit 99; e='" + errFile + "'; " + before +
                                   " TMPDIR='" + tmp.path + "' '" PICTOR_CLI_PATH "' " + args +
                                   " 2>\"$e\" " + after,
                               &result.out);
    result.err = ReadFileText(errFile);
    fs::remove(errFile);
    return result;
}

std::string CliFolder::Text(const std::string& name) const { return ReadFileText(dir / name); }

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

std::string Unsaid(const std::string& parts, const std::string& said) {
    if (parts.empty()) return said.empty() ? "" : "(nothing)";
    size_t at = 0;
    for (size_t from = 0; from < parts.size(); from += kThen.size()) {
        const size_t end = std::min(parts.find(kThen, from), parts.size());
        at = said.find(parts.substr(from, end - from), at);
        if (at == std::string::npos) return parts.substr(from, end - from);
        from = end;
    }
    return "";
}
