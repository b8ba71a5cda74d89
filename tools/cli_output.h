// Where a finished stream goes: checked before coding, written after it, so
// that no file is destroyed and nothing partial is left at the destination.
#ifndef PICTOR_TOOLS_CLI_OUTPUT_H
#define PICTOR_TOOLS_CLI_OUTPUT_H

#include <string>
#include <vector>

// A file the stream must not replace, with what it is to the job ("the job file").
struct GuardedFile {
    std::string path;
    std::string role;
};

struct Destination {
    enum class Kind {
        kFile,            // absent or a regular file: temporary file beside it, then renamed
        kStreamThrough,   // a named pipe or a character device: written straight through
        kStandardOutput,  // "-"
    };
    std::string given;  // as the user named it
    std::string path;   // what receives the stream: a link's final target
    Kind kind = Kind::kFile;
    bool exists = false;
    bool noClobber = false;
};

// Checks, before any coding, that the stream may go to `given`: not a folder
// or another kind of file, not one of `guarded`, not existing with
// `noClobber`, and for a file, a folder that takes a new file. "" when it may,
// otherwise what stands in the way.
std::string PrepareDestination(const std::string& given, bool noClobber,
                               const std::vector<GuardedFile>& guarded, Destination* destination);

// Reports while the stream waits for a reader of a named pipe; false
// (`cancelled`) when the wait was interrupted.
struct DeliveryWatch {
    void (*waiting)(void* data, const std::string& path);
    bool (*cancelled)(void* data);
    int wakeFd;  // readable when `cancelled` may have become true; -1 for none
    void* data;
};

// Checks the finished stream at `stream` (present, ending with the sequence end
// code), writes it to the destination (standard output through `stdoutFd`) and
// checks what arrived (as long as written, the end code last). "" when
// delivered, otherwise what went wrong; `cancelled` tells a wait given up.
std::string DeliverStream(const std::string& stream, const Destination& destination, int stdoutFd,
                          const DeliveryWatch& watch, bool* cancelled);
// DeliverStream of the `size` bytes at `bytes`, a stream coded into memory.
std::string DeliverStreamBytes(const unsigned char* bytes, size_t size,
                               const Destination& destination, int stdoutFd,
                               const DeliveryWatch& watch, bool* cancelled);

// Writes `text` to the destination as a stream is written (a report, not a
// stream: no end code is looked for). "" or what went wrong.
std::string DeliverText(const std::string& text, const Destination& destination);

// How the destination is named in messages ("standard output" for "-").
std::string DestinationName(const Destination& destination);

#endif
