#include "cli_program_stream.h"

#include <cctype>

#include "media/program_stream.h"

namespace {

// Above this many bytes a still arrives late at the DVD mux rate unless a multiplexer starts
// it ahead of its default run-in (mplex -f 8 then reports under-runs).
constexpr long long kLargestPlainEs = 90000;

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::string FormOfName(const std::string& destination) {
    const std::string extension = LowerExtension(destination);
    return extension == "mpg" || extension == "vob" ? "dvd" : "es";
}

// The advice for an elementary stream written under a program stream's name.
std::string ElementaryForDvd(const std::string& destination, long long bytes) {
    std::string note = "--format es: " + destination +
                       " holds an elementary stream, which DVD authoring tools take only "
                       "through a multiplexer";
    if (bytes > kLargestPlainEs)
        note += "; this " + std::to_string(bytes) +
                "-byte still needs it to start at least 200 ms ahead (mplex -f 8 -O 200ms)";
    return note;
}

}  // namespace

std::string StreamFormOf(const CommandLine& line, const std::string& destination) {
    return line.format.empty() ? FormOfName(destination) : line.format;
}

std::string StreamToDeliver(const CommandLine& line, const std::string& destination,
                            const std::string& coded, const std::string& workFolder,
                            std::string* deliver, JobSummary* s) {
    s->form = StreamFormOf(line, destination);
    const long long bytes = s->facts.bits / 8;
    s->runInMs = RunInMs(bytes);
    if (s->form == "es") {
        *deliver = coded;
        if (line.silentAudio)
            s->notes.push_back(
                "--silent-audio: an elementary stream carries no audio (the "
                "program stream does: --format dvd or an .mpg output)");
        // Said only when asked for by name: a plain elementary stream's run stays as it was.
        if (!line.format.empty() && FormOfName(destination) == "dvd")
            s->notes.push_back(ElementaryForDvd(destination, bytes));
        return "";
    }
    if (workFolder.empty()) return "no work folder to make the program stream in";
    *deliver = workFolder + "/dvd.vob";
    ProgramStreamRequest request;
    request.width = s->facts.width;
    request.height = s->facts.height;
    request.frameRateCode = s->facts.frameRateCode;
    request.silentAudio = line.silentAudio;
    ProgramStreamFacts facts;
    const std::string problem = WriteProgramStream(coded, *deliver, request, &facts);
    s->deliveredBytes = facts.bytes;
    s->silentAudio = line.silentAudio;
    return problem;
}
