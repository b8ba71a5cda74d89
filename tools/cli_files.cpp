// Private work folders for the pictor command, and the links inside them.
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli_files.h"
#include "door/library_door.h"

namespace {

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
    if (mkdtemp(name.data()) == nullptr) return std::string();
    return std::string(name.data());
}

void RemoveWorkDir(const std::string& dir) {
    if (!dir.empty()) nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
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
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) bytes->append(buffer, n);
    const bool ok = std::ferror(in) == 0;
    std::fclose(in);
    return ok;
}

bool DiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

std::string WorkFolderFailure(const std::string& destination, const std::string& work, int error) {
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
