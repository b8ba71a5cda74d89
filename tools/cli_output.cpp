// Destinations of finished streams: checked before coding, written through a
// temporary file beside them (or straight through to pipes and devices).
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "cli_files.h"
#include "cli_output.h"

namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kReaderPollMs = 100;  // how often a named pipe is tried for a reader
constexpr unsigned char kSequenceEndCode[4] = {0x00, 0x00, 0x01, 0xB7};
constexpr unsigned char kProgramEndCode = 0xB9;  // ends a program stream instead

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Errno(const std::string& what) {
    if (DiskFull(errno)) return what + ": disk full (" + std::strerror(errno) + ")";
    return what + ": " + std::strerror(errno);
}

// The file a chain of symbolic links ends at (the path itself when it is no
// link, also when it does not exist). False after too many links.
bool FollowLinks(const std::string& path, std::string* final) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *final = current;
            return true;
        }
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t n = readlink(current.c_str(), target.data(), PATH_MAX);
        if (n <= 0) return false;
        std::string next(target.data(), static_cast<size_t>(n));
        current = next[0] == '/' ? next : FolderOf(current) + "/" + next;
    }
    return false;
}

bool SameFile(const struct stat& a, const std::string& path) {
    struct stat b;
    return stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The process's file mode mask, read once before any thread starts: reading it sets it.
mode_t ReadUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}
const mode_t kUmask = ReadUmask();

// A new empty file beside `path`, named after it; its descriptor, or -1.
int MakeTemporaryBeside(const std::string& path, std::string* temporary) {
    std::string name = NameOf(path).substr(0, 200);
    std::string pattern = FolderOf(path) + "/." + name + ".pictor-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = -1;
    MakeRemovable(
        [&](std::string* made) {
            fd = mkostemp(buffer.data(), O_CLOEXEC);
            if (fd >= 0) *made = buffer.data();
            return fd >= 0;
        },
        temporary);
    return fd;
}

// Folders a new file was made in during this run: a batch into one folder tries it once. A folder
// that stops taking files later fails the delivery, which says so.
std::mutex gTakingLock;
std::set<std::string> gTakingFolders;

void NoteFolderTakes(const std::string& folder) {
    std::lock_guard<std::mutex> hold(gTakingLock);
    gTakingFolders.insert(folder);
}

// Why no new file can be made beside `path`, or "" when one can.
std::string FolderRefusal(const std::string& given, const std::string& path) {
    const std::string folder = FolderOf(path);
    {
        std::lock_guard<std::mutex> hold(gTakingLock);
        if (gTakingFolders.count(folder) != 0) return "";
    }
    std::string temporary;
    const int fd = MakeTemporaryBeside(path, &temporary);
    if (fd >= 0) {
        close(fd);
        unlink(temporary.c_str());
        ForgetRemovable(temporary);
        NoteFolderTakes(folder);
        return "";
    }
    if (errno == ENOENT) return "cannot write " + given + ": the folder " + folder + " is missing";
    if (errno == ENOTDIR) return "cannot write " + given + ": " + folder + " is not a folder";
    return Errno("cannot write " + given + ": the folder " + folder + " takes no new file");
}

// What is delivered: `size` bytes in memory, or a file's bytes read from its start.
struct Source {
    const unsigned char* bytes;  // nullptr: read from `fd`
    int fd;
    off_t size;
};

// The first `length` bytes at `at` of the source: in place in memory, else read into `buffer`.
ssize_t ReadSource(const Source& in, off_t at, std::vector<unsigned char>* buffer,
                   const unsigned char** chunk) {
    if (in.bytes != nullptr) {
        *chunk = in.bytes + at;
        return static_cast<ssize_t>(std::min<off_t>(in.size - at, off_t{1} << 16));
    }
    buffer->resize(1 << 16);
    *chunk = buffer->data();
    return pread(in.fd, buffer->data(), buffer->size(), at);
}

bool EndsWithEndCode(const Source& in) {
    unsigned char last[4];
    if (in.size < 4) return false;
    if (in.bytes != nullptr)
        std::memcpy(last, in.bytes + in.size - 4, 4);
    else if (pread(in.fd, last, 4, in.size - 4) != 4)
        return false;
    if (last[3] == kProgramEndCode) last[3] = kSequenceEndCode[3];
    return std::memcmp(last, kSequenceEndCode, 4) == 0;
}

// Copies all of `in` to `out`; "" or what went wrong.
std::string CopyAll(const Source& in, int out, const std::string& name, const DeliveryWatch& watch,
                    bool* cancelled) {
    std::vector<unsigned char> buffer;
    for (off_t at = 0;;) {
        const unsigned char* chunk = nullptr;
        const ssize_t n = ReadSource(in, at, &buffer, &chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Errno("cannot read the finished stream");
        if (n == 0) return "";
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = FullDiskForTest("stream")
                                  ? (errno = ENOSPC, -1)
                                  : write(out, chunk + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                if (watch.cancelled(watch.data)) {
                    *cancelled = true;
                    return "cancelled while writing " + name;
                }
                continue;
            }
            if (w <= 0) return Errno("cannot write " + name);
            done += w;
        }
        at += n;
    }
}

// Opens a named pipe or a device for writing, waiting for a pipe's reader
// until one comes or the wait is cancelled; -1 with `problem` set otherwise.
int OpenStreamThrough(const Destination& d, const DeliveryWatch& watch, bool* cancelled,
                      std::string* problem) {
    for (bool told = false;;) {
        const int fd = open(d.path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO && errno != EINTR) {
            *problem = Errno("cannot write " + d.given);
            return -1;
        }
        if (watch.cancelled(watch.data)) {
            *cancelled = true;
            *problem = "cancelled while waiting for a reader of " + d.given;
            return -1;
        }
        if (!told) watch.waiting(watch.data, d.given);
        told = true;
        struct pollfd wake = {watch.wakeFd, POLLIN, 0};
        poll(&wake, watch.wakeFd >= 0 ? 1 : 0, kReaderPollMs);
    }
}

// Renames `from` to `to` unless `to` has come meanwhile (EEXIST then); where
// the file system cannot rename so, a hard link does the same.
bool MoveIfAbsent(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (link(from.c_str(), to.c_str()) != 0) return false;
    unlink(from.c_str());
    return true;
}

// Checks the file now at the destination: present, regular, `size` bytes, end code last.
std::string CheckArrived(const Destination& d, off_t size) {
    const int fd = open(d.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Errno("the stream is not at " + d.given);
    struct stat st;
    const bool whole = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == size &&
                       EndsWithEndCode({nullptr, fd, size});
    close(fd);
    return whole ? "" : "the stream at " + d.given + " is not the one written";
}

std::string DeliverToFile(const Source& in, const Destination& d, const DeliveryWatch& watch,
                          bool* cancelled) {
    std::string temporary;
    const int out = MakeTemporaryBeside(d.path, &temporary);
    if (out < 0) return Errno("cannot write " + d.given);
    // A replaced file keeps its permissions; a new one gets the usual ones.
    struct stat old;
    const bool replacing = stat(d.path.c_str(), &old) == 0;
    const mode_t mode = replacing ? old.st_mode & 07777 : 0666 & ~kUmask;
    std::string problem = CopyAll(in, out, d.given, watch, cancelled);
    struct stat st;
    // The stream reaches the disk before it replaces a file, so a crash leaves the old file or
    // the new one whole; a new name risks nothing, and its sync would cost more than the job.
    if (problem.empty() && (fchmod(out, mode) != 0 || (replacing && fsync(out) != 0)))
        problem = Errno("cannot write " + d.given);
    if (problem.empty() && (fstat(out, &st) != 0 || st.st_size != in.size))
        problem = "cannot write " + d.given + ": the copy came out short";
    if (close(out) != 0 && problem.empty()) problem = Errno("cannot write " + d.given);
    const bool moved =
        problem.empty() && (d.noClobber ? MoveIfAbsent(temporary, d.path)
                                        : rename(temporary.c_str(), d.path.c_str()) == 0);
    if (problem.empty() && !moved) problem = Errno("cannot write " + d.given);
    if (!problem.empty()) unlink(temporary.c_str());
    ForgetRemovable(temporary);
    return problem;
}

std::string Deliver(const Source& in, const Destination& d, int stdoutFd,
                    const DeliveryWatch& watch, bool* cancelled) {
    if (d.kind == Destination::Kind::kFile) return DeliverToFile(in, d, watch, cancelled);
    if (d.kind == Destination::Kind::kStandardOutput)
        return CopyAll(in, stdoutFd, "standard output", watch, cancelled);
    std::string problem;
    const int out = OpenStreamThrough(d, watch, cancelled, &problem);
    if (out >= 0) {
        problem = CopyAll(in, out, d.given, watch, cancelled);
        if (close(out) != 0 && problem.empty()) problem = Errno("cannot write " + d.given);
    }
    return problem;
}

}  // namespace

std::string DestinationName(const Destination& destination) {
    return destination.kind == Destination::Kind::kStandardOutput ? "standard output"
                                                                  : destination.given;
}

std::string PrepareDestination(const std::string& given, bool noClobber,
                               const std::vector<GuardedFile>& guarded, Destination* d) {
    d->given = given;
    d->noClobber = noClobber;
    struct stat st;
    if (given == "-") {
        d->kind = Destination::Kind::kStandardOutput;
        if (fstat(STDOUT_FILENO, &st) != 0) return "standard output is closed";
        if (isatty(STDOUT_FILENO)) return "standard output is a terminal, not a file or a pipe";
        for (const GuardedFile& file : guarded) {
            if (SameFile(st, file.path)) return "standard output is " + file.role;
        }
        return "";
    }
    if (!FollowLinks(given, &d->path))
        return "cannot write " + given + ": too many symbolic links on the way";
    if (stat(d->path.c_str(), &st) != 0) {
        if (errno != ENOENT) return Errno("cannot write " + given);
        d->kind = Destination::Kind::kFile;
        return FolderRefusal(given, d->path);
    }
    d->exists = true;
    if (S_ISDIR(st.st_mode)) return "cannot write " + given + ": it is a folder";
    if (S_ISREG(st.st_mode)) {
        d->kind = Destination::Kind::kFile;
    } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
        d->kind = Destination::Kind::kStreamThrough;
    } else {
        return "cannot write " + given + ": not a file, a named pipe or a character device";
    }
    for (const GuardedFile& file : guarded) {
        if (SameFile(st, file.path)) return "will not write over " + file.role;
    }
    if (noClobber) return given + " exists and --no-clobber keeps it";
    if (d->kind == Destination::Kind::kStreamThrough) {
        return access(d->path.c_str(), W_OK) == 0 ? "" : Errno("cannot write " + given);
    }
    return FolderRefusal(given, d->path);
}

namespace {

std::string DeliverFrom(const Source& in, const Destination& d, int stdoutFd,
                        const DeliveryWatch& watch, bool* cancelled) {
    if (!EndsWithEndCode(in)) {
        return "the stream came out incomplete (" + std::to_string(in.size) +
               " bytes without a sequence end code): is the disk full?";
    }
    std::string problem = Deliver(in, d, stdoutFd, watch, cancelled);
    if (problem.empty() && d.kind == Destination::Kind::kFile) problem = CheckArrived(d, in.size);
    return problem;
}

}  // namespace

std::string DeliverStream(const std::string& stream, const Destination& d, int stdoutFd,
                          const DeliveryWatch& watch, bool* cancelled) {
    *cancelled = false;
    const int in = open(stream.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return "the job left no stream";
    struct stat st;
    const std::string problem =
        fstat(in, &st) != 0 ? Errno("cannot read the finished stream")
                            : DeliverFrom({nullptr, in, st.st_size}, d, stdoutFd, watch, cancelled);
    close(in);
    return problem;
}

std::string DeliverStreamBytes(const unsigned char* bytes, size_t size, const Destination& d,
                               int stdoutFd, const DeliveryWatch& watch, bool* cancelled) {
    *cancelled = false;
    return DeliverFrom({bytes, -1, static_cast<off_t>(size)}, d, stdoutFd, watch, cancelled);
}

std::string DeliverText(const std::string& text, const Destination& d) {
    bool cancelled = false;
    const DeliveryWatch watch{[](void*, const std::string&) {}, [](void*) { return false; }, -1,
                              nullptr};
    const Source in{reinterpret_cast<const unsigned char*>(text.data()), -1,
                    static_cast<off_t>(text.size())};
    return Deliver(in, d, STDOUT_FILENO, watch, &cancelled);
}
