#include "cli/cli_support.h"

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
    start_.push_back(name);
}

void CliFolder::AddPicture(const std::string& folder, const std::string& name, int width,
                           int height) {
    const std::string prefix = folder == "." ? "" : folder + "/";
    fs::create_directories(dir / prefix + "still");
    WriteStillPicture(dir / folder, name, width, height);
    for (std::string path = prefix + "still"; !path.empty();) {
        start_.push_back(path);
        const size_t slash = path.rfind('/');
        path = slash == std::string::npos ? "" : path.substr(0, slash);
    }
    start_.push_back(prefix + "still/" + name);
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

std::string CliFolder::NewNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path)) {
        std::string name = entry.path().string().substr(dir.path.size() + 1);
        if (std::find(start_.begin(), start_.end(), name) == start_.end()) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

bool CliFolder::TmpIsEmpty() const { return fs::is_empty(tmp.path); }
