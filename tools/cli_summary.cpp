// What a finished job made, read back from the stream it wrote, and told.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "cli_summary.h"

namespace {

constexpr int kSequenceHeader = 0xB3;
constexpr int kExtension = 0xB5;
constexpr int kSequenceExtensionId = 1;
constexpr int kSequenceDisplayExtensionId = 2;
constexpr int kPictureDisplayExtensionId = 7;

// Reads `count` bits from `bytes` at bit `at` (most significant first).
unsigned Bits(const unsigned char* bytes, int at, int count) {
    unsigned value = 0;
    for (int i = at; i < at + count; ++i)
        value = (value << 1) | ((bytes[i / 8] >> (7 - i % 8)) & 1);
    return value;
}

void ReadExtension(const unsigned char* p, StreamFacts* facts) {
    const unsigned id = p[0] >> 4;
    if (id == kSequenceExtensionId) {
        facts->progressive = static_cast<int>(Bits(p, 12, 1));
    } else if (id == kSequenceDisplayExtensionId) {
        // video_format (3), colour_description (1) and its three bytes, then the width.
        const int at = Bits(p, 7, 1) != 0 ? 8 + 24 : 8;
        facts->displayWidth = static_cast<int>(Bits(p, at, 14));
    } else if (id == kPictureDisplayExtensionId) {
        facts->panScan = true;
        facts->panScanOffset = static_cast<int16_t>(Bits(p, 4, 16));
    }
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return std::string(buffer,
                       n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

double Percent(const JobSummary& s) {
    return 100.0 * static_cast<double>(s.facts.bits) / static_cast<double>(s.target);
}

// Length of the UTF-8 sequence at `p` (of `left` bytes), or 0 when it is not one.
size_t Utf8Length(const unsigned char* p, size_t left) {
    const unsigned char c = p[0];
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || n > left) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] >> 6) != 2) return 0;
    }
    return n;
}

// A JSON string; bytes that are not UTF-8 (paths may hold any) become U+FFFD.
std::string JsonString(const std::string& text) {
    std::string json = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = p[i];
        const size_t n = Utf8Length(p + i, text.size() - i);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < 0x20) {
            json += Format("\\u%04x", c);
        } else if (n == 0) {
            json += "\\ufffd";
        } else {
            json.append(text, i, n);
        }
        i += n == 0 ? 1 : n;
    }
    return json + "\"";
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string json = "[";
    for (const std::string& item : items) json += (json.size() > 1 ? "," : "") + JsonString(item);
    return json + "]";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

const char* StandardName(int frameRateCode) {
    return frameRateCode == 3 ? "PAL" : frameRateCode == 4 ? "NTSC" : "?";
}

const char* AspectName(int aspectCode) {
    return aspectCode == 2 ? "4:3" : aspectCode == 3 ? "16:9" : "?";
}

// The sequence header and its extensions stand within a stream's first bytes.
constexpr size_t kHeadBytes = 4096;

// `head` holds kHeadBytes, of which the stream's first `n`.
int HeadFacts(const unsigned char* head, size_t n, StreamFacts* facts) {
    int found = -1;
    for (size_t i = 0; i + 12 < n; ++i) {
        if (head[i] != 0 || head[i + 1] != 0 || head[i + 2] != 1) continue;
        const unsigned char* p = &head[i + 4];
        if (head[i + 3] == kSequenceHeader) {
            facts->width = static_cast<int>(Bits(p, 0, 12));
            facts->height = static_cast<int>(Bits(p, 12, 12));
            facts->aspectCode = static_cast<int>(Bits(p, 24, 4));
            facts->frameRateCode = static_cast<int>(Bits(p, 28, 4));
            found = 0;
        } else if (head[i + 3] == kExtension && found == 0) {
            ReadExtension(p, facts);
        }
    }
    return found;
}

}  // namespace

int ReadStreamFacts(const std::string& path, StreamFacts* facts) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return -1;
    std::vector<unsigned char> head(kHeadBytes);
    const size_t n = std::fread(head.data(), 1, head.size(), in);
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    std::fclose(in);
    const int found = HeadFacts(head.data(), n, facts);
    facts->bits = static_cast<long long>(size) * 8;
    return found;
}

int StreamFactsOf(const unsigned char* bytes, size_t size, StreamFacts* facts) {
    // Copied into a whole head, as a file's is read: a header cut short reads zeroes after it.
    std::vector<unsigned char> head(kHeadBytes);
    const size_t n = std::min(size, kHeadBytes);
    std::copy(bytes, bytes + n, head.begin());
    const int found = HeadFacts(head.data(), n, facts);
    facts->bits = static_cast<long long>(size) * 8;
    return found;
}

std::string SummaryText(const JobSummary& s) {
    const StreamFacts& f = s.facts;
    std::string text = "pictor: wrote " + s.outputName + "\n";
    if (s.hasTarget && s.target > 0) {
        text += Format("  size     %lld bits (%lld bytes), %.1f%% of the target %lld bits\n",
                       f.bits, f.bits / 8, Percent(s), s.target);
    } else {
        text += Format("  size     %lld bits (%lld bytes)\n", f.bits, f.bits / 8);
    }
    text += Format("  picture  %dx%d, %s ", f.width, f.height, StandardName(f.frameRateCode));
    if (f.panScan) {
        // The pan-scan switch signals a 4:3 display of a window of the 16:9 picture.
        text += Format("16:9 picture, 4:3 pan-scan window (%d of %d samples) at offset %d/16",
                       f.displayWidth, f.width, f.panScanOffset);
    } else {
        text += AspectName(f.aspectCode);
    }
    text += f.progressive == 1 ? ", progressive\n" : f.progressive == 0 ? ", interlaced\n" : "\n";
    if (!s.conversion.empty()) text += "  source   " + s.conversion + "\n";
    if (s.placement.known) text += "  placed   " + PlacementText(s.placement) + "\n";
    if (s.form == "dvd") {
        text += Format("  form     DVD program stream, %lld bytes, the still due after %d ms%s\n",
                       s.deliveredBytes, s.runInMs, s.silentAudio ? ", silent AC-3 audio" : "");
    }
    const PictureQuality& q = s.quality;
    if (q.measured) {
        text += Format(
            "  quality  PSNR Y %.2f, Cb %.2f, Cr %.2f, average (6:1:1) %.2f dB; SSIM-Y %.4f\n",
            q.psnrY, q.psnrCb, q.psnrCr, q.psnrAverage, q.ssimY);
    }
    if (q.quantiserKnown) {
        text += Format("  quantiser %d to %d (from the slice headers)\n", q.quantiserMin,
                       q.quantiserMax);
    }
    text += Format("  time     %.2f s\n", s.seconds);
    return text;
}

std::string ShortSummary(const JobSummary& s) {
    std::string text = s.outputName + ": " + std::to_string(s.facts.bits) + " bits";
    if (s.hasTarget && s.target > 0) text += Format(", %.1f%% of %lld", Percent(s), s.target);
    if (s.quality.measured) text += Format(", PSNR %.2f dB", s.quality.psnrAverage);
    return text + Format(", %.2f s\n", s.seconds);
}

std::string SummaryJson(const JobSummary& s) {
    const char* result = !s.started      ? "not started"
                         : s.status == 0 ? "finished"
                         : s.status == 2 ? "cancelled"
                                         : "failed";
    std::string json = "{\"input\":" + JsonString(s.input);
    json += ",\"output\":" + JsonString(s.output);
    json += Format(",\"result\":\"%s\",\"exit\":%d", result, s.status);
    if (s.hasTarget) json += Format(",\"target\":%lld", s.target);
    if (s.status == 0) {
        const StreamFacts& f = s.facts;
        json +=
            Format(",\"seconds\":%.3f,\"bits\":%lld,\"bytes\":%lld", s.seconds, f.bits, f.bits / 8);
        if (s.hasTarget && s.target > 0) json += Format(",\"percentOfTarget\":%.2f", Percent(s));
        json += Format(",\"width\":%d,\"height\":%d,\"standard\":\"%s\"", f.width, f.height,
                       StandardName(f.frameRateCode));
        json += Format(",\"aspect\":\"%s\"", f.panScan ? "16:9" : AspectName(f.aspectCode));
        if (f.panScan) {
            json += Format(",\"panScan\":{\"window\":\"4:3\",\"displayWidth\":%d,\"offset\":%d}",
                           f.displayWidth, f.panScanOffset);
        }
        json += Format(",\"progressive\":%s", f.progressive == 1 ? "true" : "false");
        if (!s.form.empty())
            json += ",\"form\":" + JsonString(s.form) + Format(",\"runInMs\":%d", s.runInMs);
        if (s.form == "dvd") {
            json += Format(",\"programStream\":{\"bytes\":%lld,\"audio\":%s}", s.deliveredBytes,
                           s.silentAudio ? "\"silent ac3\"" : "null");
        }
        if (!s.conversion.empty()) json += ",\"converted\":" + JsonString(s.conversion);
        if (s.placement.known) json += "," + PlacementJson(s.placement);
        const PictureQuality& q = s.quality;
        if (q.measured) {
            json += Format(",\"psnr\":{\"y\":%.3f,\"cb\":%.3f,\"cr\":%.3f,\"average\":%.3f}",
                           q.psnrY, q.psnrCb, q.psnrCr, q.psnrAverage);
            json += Format(",\"ssimY\":%.5f", q.ssimY);
        }
        if (q.quantiserKnown) {
            json += Format(",\"quantiser\":{\"min\":%d,\"max\":%d,\"from\":\"slice headers\"}",
                           q.quantiserMin, q.quantiserMax);
        }
    }
    // A failed job's cause is among its errors, whoever named it.
    std::vector<std::string> errors = Lines(s.errorText), notes;
    for (const std::string& note : s.notes)
        (s.status == kExitFailed && !IsAside(note) ? errors : notes).push_back(note);
    json += ",\"errors\":" + JsonList(errors);
    json += ",\"notes\":" + JsonList(notes);
    return json + "}\n";
}

bool IsAside(const std::string& note) {
    for (const char* aside : {"warning:", "hint:", "note:"}) {
        if (note.rfind(aside, 0) == 0) return true;
    }
    return false;
}

std::string FailureCause(const std::string& errors) {
    for (const std::string& line : Lines(errors)) {
        std::string text = line.rfind("pictor: ", 0) == 0 ? line.substr(8) : line;
        text.erase(text.find_last_not_of(' ') + 1);
        if (!text.empty() && !IsAside(text)) return text;
    }
    return "no cause was given";
}

ToldJob TellJob(const JobSummary& s, const CommandLine& line, bool batch) {
    ToldJob told;
    told.errors = s.errorText;
    for (const std::string& note : s.notes) told.errors += "pictor: " + note + "\n";
    if (s.status == kExitCancelled && !batch) told.errors += "pictor: cancelled\n";
    if (!line.quiet) {
        told.summary = s.libraryOutput;
        if (s.status == kExitFinished)
            told.summary += line.shortSummary ? ShortSummary(s) : SummaryText(s);
    }
    if (!line.json.empty()) told.json = SummaryJson(s);
    return told;
}
