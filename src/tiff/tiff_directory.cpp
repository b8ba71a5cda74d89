#include "tiff/tiff_directory.h"

#include <sys/types.h>

#include "api/registry.h"
#include "tiff/tiff_fields.h"

namespace {

constexpr uint32_t kMarkLittle = 0x4949;  // "II"
constexpr uint32_t kMarkBig = 0x4D4D;     // "MM"
constexpr uint32_t kMaxValueCount = 65535;

uint32_t Compose(const uint8_t* bytes, int size) {
    uint32_t v = 0;
    for (int k = 0; k < size; ++k) {
        int place = gTiffFields.byteOrder == kBigEndian ? size - 1 - k : k;
        v |= static_cast<uint32_t>(bytes[k]) << (8 * place);
    }
    return v;
}

// Reads `length` bytes at `offset`; false (and the record marked) when they do
// not all lie inside the file.
bool ReadBytes(FILE* file, uint64_t offset, uint8_t* out, uint64_t length) {
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        fread(out, 1, static_cast<size_t>(length), file) != length) {
        gTiffFields.ranPastEnd = 1;
        return false;
    }
    return true;
}

int ValueSize(uint32_t type) { return type == kTiffShort ? 2 : 4; }

// Room for the values of any entry: 65535 of at most 4 bytes each.
struct EntryBuffers {
    uint8_t* raw;
    uint32_t* values;
};

// Reads the values of one 12-byte entry and hands the entry to the recorder.
void HandEntryOn(FILE* file, const uint8_t* head, const EntryBuffers& buffers,
                 TiffFieldRecorder recorder) {
    uint32_t tag = Compose(head, 2);
    uint32_t type = Compose(head + 2, 2);
    uint32_t count = Compose(head + 4, 4) & 0xFFFF;
    if (tag == 0) return;
    if (type != kTiffShort && type != kTiffLong) {
        recorder(tag, type, count, nullptr);
        return;
    }
    int size = ValueSize(type);
    uint64_t length = uint64_t{count} * size;
    const uint8_t* source = head + 8;
    if (length > 4) {
        uint64_t offset = Compose(head + 8, 4);
        if (offset + length > gTiffFields.fileSize ||
            !ReadBytes(file, offset, buffers.raw, length)) {
            // Values past the end are never used as data.
            gTiffFields.ranPastEnd = 1;
            return;
        }
        source = buffers.raw;
    }
    for (uint32_t k = 0; k < count; ++k) buffers.values[k] = Compose(source + k * size, size);
    recorder(tag, type, count, buffers.values);
}

}  // namespace

uint32_t ReadTiffValue(FILE* file, uint64_t offset, int size) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (!ReadBytes(file, offset, bytes, static_cast<uint64_t>(size))) return 0;
    return Compose(bytes, size);
}

int ReadTiffDirectory(FILE* file, TiffFieldRecorder recorder) {
    uint32_t mark = ReadTiffValue(file, 0, 2);
    if (mark == kMarkLittle) {
        gTiffFields.byteOrder = kLittleEndian;
    } else if (mark == kMarkBig) {
        gTiffFields.byteOrder = kBigEndian;
    } else {
        return -1;
    }
    if (fseeko(file, 0, SEEK_END) == 0) {
        off_t end = ftello(file);
        gTiffFields.fileSize = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    const uint64_t fileSize = gTiffFields.fileSize;

    uint64_t directory = ReadTiffValue(file, 4, 4);
    uint32_t entries = ReadTiffValue(file, directory, 2);
    if (gTiffFields.ranPastEnd) return 0;

    // One raw and one decoded buffer serve every entry: the registry's records
    // are not given back within a job.
    uint8_t* raw = static_cast<uint8_t*>(TrackedAlloc(kMaxValueCount, 4));
    uint32_t* values = static_cast<uint32_t*>(TrackedAlloc(kMaxValueCount, 4));
    if (raw == nullptr || values == nullptr) return -1;

    for (uint32_t i = 0; i < entries; ++i) {
        uint64_t entry = directory + 2 + 12 * uint64_t{i};
        uint8_t head[12];
        if (entry + 12 > fileSize || !ReadBytes(file, entry, head, 12)) {
            gTiffFields.ranPastEnd = 1;
            break;
        }
        HandEntryOn(file, head, EntryBuffers{raw, values}, recorder);
    }

    TrackedFree(raw);
    TrackedFree(values);
    return 0;
}
