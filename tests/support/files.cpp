#include "support/files.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "pictor-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(path, error);
    if (error) std::fprintf(stderr, "could not remove %s\n", path.c_str());
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

int RunCommand(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        if (out != nullptr) out->append(buffer, n);
    }
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TestDataPath(const std::string& relative) {
    return std::string(PICTOR_TEST_DATA) + "/" + relative;
}

std::vector<std::string> TestDataFiles(const std::string& folder, const std::string& extension) {
    std::vector<std::string> paths;
    for (const auto& entry : fs::directory_iterator(TestDataPath(folder)))
        if (entry.path().extension() == extension) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

long OpenDescriptors() { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); }

std::string JsonValues(const std::string& path, const std::string& keys) {
    std::string out;
    RunCommand(
        "/usr/bin/python3 -c 'import json, sys\n"
        "def at(v, keys):\n"
        "    for k in keys.split(\".\"):\n"
        "        v = v.get(k, at) if isinstance(v, dict) else at\n"
        "    return \"missing\" if v is at else v if isinstance(v, str) else json.dumps(v)\n"
        "rows = [json.loads(l) for l in open(sys.argv[1])]\n"
        "print(\" \".join(\", \".join(at(o, k) for k in sys.argv[2].split()) for o in rows))' '" +
            path + "' '" + keys + "' 2>&1",
        &out);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}
