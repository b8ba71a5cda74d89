// Private work folders for the command's jobs, the links inside them, and paths.
#ifndef PICTOR_TOOLS_CLI_FILES_H
#define PICTOR_TOOLS_CLI_FILES_H

#include <cstddef>
#include <functional>
#include <string>

// A fresh private folder whose path leaves `room` characters for a job file
// name within the library's path limit; empty string on failure.
std::string MakeWorkDir(size_t room);
// The name of a private folder for one job inside a private folder of the process, which is made
// at first use and removed at the process's end. The job's folder is made only when something is
// first put there (MakeNamedWorkDir). Empty on failure.
std::string NameWorkDir(size_t room);
// The folder `dir` of NameWorkDir or MakeWorkDir, made unless it is there; false (errno set) when
// it cannot be made.
bool MakeNamedWorkDir(const std::string& dir);
// Removes the folder and everything in it, without following links.
void RemoveWorkDir(const std::string& dir);
// Makes a file or folder through `make` (false when it cannot; `path` then names it) that a second
// interrupt removes until ForgetRemovable; false without calling `make` once that came.
bool MakeRemovable(const std::function<bool(std::string*)>& make, std::string* path);
void ForgetRemovable(const std::string& path);
// Removes every work folder and temporary file not yet removed, from a signal handler: the process
// ends next. Nothing is made after it.
void RemoveWorkDirsNow();
// Links `target` at `link` (absolute target); copies it when linking fails. 0 or -1.
int LinkOrCopy(const std::string& target, const std::string& link);
// The whole file at `path` into `bytes`; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);
// A file read whole into memory of its own, taken from the kernel in large pages: a picture of
// megabytes costs a few page faults rather than one per 4 KiB.
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    // False when `path` is no regular file or cannot be read whole.
    [[nodiscard]] bool Read(const std::string& path);
    const unsigned char* data() const { return memory_; }
    size_t size() const { return size_; }

private:
    unsigned char* memory_ = nullptr;
    size_t mapped_ = 0;
    size_t size_ = 0;
};
// `size` bytes into a new file at `path`; false when it cannot be written whole.
bool WriteWholeFile(const std::string& path, const void* data, size_t size);
std::string AbsolutePath(const std::string& path);
// Whether `error` (an errno) means the disk or the user's quota is full.
bool DiskFull(int error);
// Why a write into the work folder `work` failed, for the stream `destination` it keeps from
// being written: the folder is named, never a private file inside it. `error` is the errno.
std::string WorkFolderFailure(const std::string& destination, const std::string& work, int error);
// For tests: whether the environment's PICTOR_TEST_FULL_DISK names this write of the command's
// ("stream": the stream delivered to its destination; "work": the stream kept in the job's
// work folder), which then fails as on a full disk.
bool FullDiskForTest(const char* write);
// Every occurrence of `from` in `text` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

#endif
