// Private work folders for the pictor command, and the links inside them.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli_files.h"
#include "door/library_door.h"

namespace {

// The work folders that exist, for a second interrupt to remove from its signal handler: a slot
// is claimed (1) and filled before it is published (2), freed (0) once its folder is gone.
constexpr size_t kLeftoverSlots = 512;
constexpr size_t kLeftoverPath = 512;
struct LeftoverSlot {
    std::atomic<int> state{0};
    char path[kLeftoverPath] = {};  // constant-initialised: no start-up pass over the table
};
LeftoverSlot gLeftovers[kLeftoverSlots];
// Set by the second interrupt, after which nothing is made; `gMaking` counts what is being made
// and not yet in a slot, for the handler to wait for. Of a maker's count and the handler's flag,
// at least one sees the other.
std::atomic<bool> gClosed{false};
std::atomic<int> gMaking{0};

// One past the last slot ever claimed: a search for a path stops there, so it touches only the
// pages of the table that are in use.
std::atomic<size_t> gLeftoversUsed{0};

void Publish(const std::string& path) {
    if (path.size() >= kLeftoverPath) return;
    for (size_t i = 0; i < kLeftoverSlots; ++i) {
        LeftoverSlot& slot = gLeftovers[i];
        int free = 0;
        if (!slot.state.compare_exchange_strong(free, 1)) continue;
        size_t used = gLeftoversUsed.load();
        while (used < i + 1 && !gLeftoversUsed.compare_exchange_weak(used, i + 1)) {
        }
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.state.store(2);
        return;
    }
}

void Withdraw(const std::string& path) {
    const size_t used = gLeftoversUsed.load();
    for (size_t i = 0; i < used; ++i) {
        LeftoverSlot& slot = gLeftovers[i];
        if (slot.state.load(std::memory_order_acquire) == 2 && path == slot.path) {
            slot.state.store(0, std::memory_order_release);
            return;
        }
    }
}

// Removes `name` in the folder `at` and, for a folder, all in it, with system calls alone (no
// allocation: it runs in a signal handler); links are removed, never followed.
// False while `name` is still there.
bool RemoveTreeAt(int at, const char* name, int depth) {
    if (unlinkat(at, name, 0) == 0 || errno == ENOENT) return true;
    if ((errno != EISDIR && errno != EPERM) || depth == 0) return false;
    const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    alignas(8) char entries[4096];
    // A second pass finds what the first, reading while it removed, may have passed over.
    for (int pass = 0; pass < 2 && lseek(fd, 0, SEEK_SET) == 0; ++pass) {
        for (long n; (n = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0;) {
            for (long offset = 0; offset < n;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(entries + offset);
                offset += entry->d_reclen;
                const char* child = entry->d_name;
                if (std::strcmp(child, ".") != 0 && std::strcmp(child, "..") != 0)
                    RemoveTreeAt(fd, child, depth - 1);
            }
        }
    }
    close(fd);
    return unlinkat(at, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return std::remove(path);
}

// Copies `from` into a new file `to`; 0 or -1 (nothing left behind on failure).
int CopyFile(const std::string& from, const std::string& to) {
    int in = open(from.c_str(), O_RDONLY);
    if (in < 0) return -1;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (out < 0) {
        close(in);
        return -1;
    }
    std::vector<char> buffer(1 << 16);
    int result = 0;
    for (;;) {
        ssize_t n = read(in, buffer.data(), buffer.size());
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            result = -1;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                result = -1;
                break;
            }
            done += w;
        }
        if (result != 0) break;
    }
    close(in);
    if (close(out) != 0) result = -1;
    if (result != 0) unlink(to.c_str());
    return result;
}

}  // namespace

std::string MakeWorkDir(size_t room) {
    // The library cuts the stream's name at the first ".tp" of the whole path,
    // and refuses job file paths beyond its limit.
    const std::string fallback = "/tmp";
    const char* base = std::getenv("TMPDIR");
    std::string folder = base != nullptr && base[0] != '\0' ? base : fallback;
    const size_t made = std::strlen("/pictor-XXXXXX/");
    if (folder.find(".tp") != std::string::npos ||
        folder.size() + made + room > rules::kMaxJobFilePath)
        folder = fallback;
    std::string pattern = folder + "/pictor-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    std::string dir;
    MakeRemovable(
        [&name](std::string* path) {
            if (mkdtemp(name.data()) == nullptr) return false;
            *path = name.data();
            return true;
        },
        &dir);
    return dir;
}

namespace {

std::mutex gJobsFolderLock;
std::string gJobsFolder;  // made once; removed at exit
std::atomic<unsigned> gJobsNamed{0};
constexpr size_t kJobNameRoom = 16;  // "/job" and a count

void RemoveJobsFolder() { RemoveWorkDir(gJobsFolder); }

}  // namespace

std::string NameWorkDir(size_t room) {
    std::string jobs;
    {
        std::lock_guard<std::mutex> hold(gJobsFolderLock);
        if (gJobsFolder.empty()) {
            gJobsFolder = MakeWorkDir(room + kJobNameRoom);
            if (!gJobsFolder.empty()) std::atexit(RemoveJobsFolder);
        }
        jobs = gJobsFolder;
    }
    if (jobs.empty() || jobs.size() + kJobNameRoom + 1 + room > rules::kMaxJobFilePath)
        return MakeWorkDir(room);
    return jobs + "/job" + std::to_string(++gJobsNamed);
}

bool MakeNamedWorkDir(const std::string& dir) {
    struct stat st;
    if (lstat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) || (errno = EEXIST, false);
    std::string made;
    return MakeRemovable(
        [&dir](std::string* path) {
            if (mkdir(dir.c_str(), 0700) != 0) return false;
            *path = dir;
            return true;
        },
        &made);
}

void RemoveWorkDir(const std::string& dir) {
    if (dir.empty()) return;
    nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    ForgetRemovable(dir);
}

bool MakeRemovable(const std::function<bool(std::string*)>& make, std::string* path) {
    gMaking.fetch_add(1);
    const bool closed = gClosed.load();
    const bool made = !closed && make(path);
    if (made) Publish(*path);
    gMaking.fetch_sub(1);
    if (closed) errno = EINTR;
    return made;
}

void ForgetRemovable(const std::string& path) { Withdraw(path); }

void RemoveWorkDirsNow() {
    constexpr int kDepth = 8;
    constexpr int kTries = 4;  // the jobs' threads may still be writing into their folders
    const int saved = errno;
    gClosed.store(true);
    for (int wait = 0; wait < 1000 && gMaking.load() != 0; ++wait) {
        const struct timespec moment = {0, 1000000};
        nanosleep(&moment, nullptr);
    }
    for (LeftoverSlot& slot : gLeftovers) {
        if (slot.state.load() != 2) continue;
        for (int i = 0; i < kTries && !RemoveTreeAt(AT_FDCWD, slot.path, kDepth); ++i) {
        }
    }
    errno = saved;
}

int LinkOrCopy(const std::string& target, const std::string& link) {
    if (symlink(target.c_str(), link.c_str()) == 0) return 0;
    return CopyFile(target, link);
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return path;
    return std::string(cwd) + "/" + path;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    // Taken at its size once: growing by doubling would copy and touch each page again.
    struct stat st;
    if (fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes->reserve(bytes->size() + static_cast<size_t>(st.st_size));
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) bytes->append(buffer, n);
    const bool ok = std::ferror(in) == 0;
    std::fclose(in);
    return ok;
}

namespace {

// The memory of this thread's last picture, kept for its next one: a batch's worker takes no new
// pages from the kernel for each picture.
struct KeptPages {
    unsigned char* memory = nullptr;
    size_t bytes = 0;
    ~KeptPages() { FreeLargePages(memory, bytes); }
};
thread_local KeptPages tKeptPages;

}  // namespace

FileBytes::~FileBytes() {
    if (memory_ == nullptr) return;
    std::swap(memory_, tKeptPages.memory);
    std::swap(mapped_, tKeptPages.bytes);
    FreeLargePages(memory_, mapped_);
}

bool FileBytes::Read(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0;
    // One byte more than the file holds shows a file that grew while it was read.
    const uint64_t room = ok ? static_cast<uint64_t>(st.st_size) + 1 : 0;
    if (ok && tKeptPages.bytes >= room) {
        std::swap(memory_, tKeptPages.memory);
        std::swap(mapped_, tKeptPages.bytes);
    } else if (ok && (memory_ = static_cast<unsigned char*>(TakeLargePages(room))) != nullptr) {
        mapped_ = static_cast<size_t>(LargePageRoom(room));
    }
    while (ok && memory_ != nullptr && size_ < room) {
        const ssize_t n = read(fd, memory_ + size_, static_cast<size_t>(room) - size_);
        if (n < 0 && errno == EINTR) continue;
        ok = n >= 0;
        if (n <= 0) break;
        size_ += static_cast<size_t>(n);
    }
    close(fd);
    return ok && memory_ != nullptr && size_ < room;
}

bool DiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

std::string WorkFolderFailure(const std::string& destination, const std::string& given, int error) {
    std::string work = given;
    {
        // A job's folder named in the process's folder lies in the temporary folder as that does.
        std::lock_guard<std::mutex> hold(gJobsFolderLock);
        if (!gJobsFolder.empty() && work.rfind(gJobsFolder + "/", 0) == 0) work = gJobsFolder;
    }
    const size_t slash = work.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : work.substr(0, slash == 0 ? 1 : slash);
    const std::string name = destination == "-" ? "standard output" : destination;
    if (DiskFull(error))
        return "cannot write " + name + ": disk full in the temporary folder " + folder;
    const std::string text =
        "cannot write " + name + ": cannot write into the temporary folder " + folder;
    return error == 0 ? text : text + ": " + std::strerror(error);
}

bool FullDiskForTest(const char* write) {
    const char* named = std::getenv("PICTOR_TEST_FULL_DISK");
    return named != nullptr && std::strcmp(named, write) == 0;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size) {
    if (FullDiskForTest("work")) {
        errno = ENOSPC;
        return false;
    }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && ok;
}
