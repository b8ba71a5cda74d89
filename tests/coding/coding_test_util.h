// Shared helpers of the coding core tests: byte capture of the bit writer and
// the macroblock code list as text.
#ifndef PICTOR_TESTS_CODING_UTIL_H
#define PICTOR_TESTS_CODING_UTIL_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "coding/bit_writer.h"

// Points the bit writer at a memory stream; Bytes() detaches and returns what was emitted.
struct ByteCapture {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* file = nullptr;
    ByteCapture() {
        file = open_memstream(&buffer, &size);
        gBitWriter.out = file;
    }
    ~ByteCapture() {
        if (file != nullptr) std::fclose(file);
        gBitWriter.out = nullptr;
        std::free(buffer);
    }
    std::vector<uint8_t> Bytes() {
        std::fflush(file);
        return std::vector<uint8_t>(buffer, buffer + size);
    }
};

inline std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size() + 1; i += 3) bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The queued code as 0 and 1 characters.
inline std::string QueuedText(int32_t from = 0) {
    std::string text;
    for (int32_t i = from; i < gCodeList.count; ++i)
        for (int b = gCodeList.lengths[i] - 1; b >= 0; --b) text += ((gCodeList.values[i] >> b) & 1u) ? '1' : '0';
    return text;
}

#endif
