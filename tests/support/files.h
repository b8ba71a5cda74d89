// Temporary folders and whole-file reads and writes for tests, fuzz targets and benchmarks.
#ifndef PICTOR_TESTS_SUPPORT_FILES_H
#define PICTOR_TESTS_SUPPORT_FILES_H

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when destroyed.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// An empty vector when the file cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
// "" when the file cannot be read.
std::string ReadFileText(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Runs a shell command; its exit status, with standard output in `out` when given.
int RunCommand(const std::string& command, std::string* out = nullptr);
// Path of a file under tests/.
std::string TestDataPath(const std::string& relative);
// The paths of the files of the data folder `folder` whose names end in `extension`, in name
// order.
std::vector<std::string> TestDataFiles(const std::string& folder, const std::string& extension);
// File descriptors this process holds open.
long OpenDescriptors();

// Values of every object of a JSON Lines file, space-separated: of each, the
// values `keys` names (space-separated, each its keys joined by dots, "psnr.y"),
// joined by ", ": a string as it is, anything else as JSON text, "missing"
// when absent. Or what makes the file invalid JSON.
std::string JsonValues(const std::string& path, const std::string& keys);

#endif
