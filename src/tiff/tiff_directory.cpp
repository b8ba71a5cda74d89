#include "tiff/tiff_directory.h"

#include <sys/types.h>

#include "runtime/registry.h"

thread_local TiffReaderState* tTiffReader = nullptr;

void ResetTiffReader() { *tTiffReader = TiffReaderState{kByteOrderNotSet, 0, 0}; }

namespace {

constexpr uint32_t kMarkLittle = 0x4949;  // "II"
constexpr uint32_t kMarkBig = 0x4D4D;     // "MM"
constexpr uint64_t kEntryBytes = 12;
constexpr uint32_t kTagStripOffsets = 273;
constexpr uint32_t kTagStripByteCounts = 279;
// Entries are read from the file this many at a time.
constexpr uint32_t kEntriesPerRead = 256;

uint32_t Compose(const uint8_t* bytes, int size) {
    uint32_t v = 0;
    for (int k = 0; k < size; ++k) {
        int place = tTiffReader->byteOrder == kBigEndian ? size - 1 - k : k;
        v |= static_cast<uint32_t>(bytes[k]) << (8 * place);
    }
    return v;
}

// Reads `length` bytes at `offset`; false (and the record marked) when they do
// not all lie inside the file.
bool ReadBytes(FILE* file, uint64_t offset, uint8_t* out, uint64_t length) {
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        fread(out, 1, static_cast<size_t>(length), file) != length) {
        tTiffReader->ranPastEnd = 1;
        return false;
    }
    return true;
}

int ValueSize(uint32_t type) { return type == kTiffShort ? 2 : 4; }

bool HasValues(uint32_t type) { return type == kTiffShort || type == kTiffLong; }

// Only the low 16 bits of a value count are used.
uint32_t CountOf(const uint8_t* head) { return Compose(head + 4, 4) & 0xFFFF; }

// False when the values of a SHORT or LONG entry would end past the file's end.
bool ValuesInFile(const uint8_t* head) {
    const uint32_t type = Compose(head + 2, 2);
    const uint64_t length = uint64_t{CountOf(head)} * ValueSize(type);
    if (!HasValues(type) || length <= 4) return true;
    return Compose(head + 8, 4) + length <= tTiffReader->fileSize;
}

// Calls `visit` with each of the first `held` entries of the directory at `directory`, read a
// batch at a time. Returns how many could be read.
template <typename Visit>
uint32_t ForEachEntry(FILE* file, uint64_t directory, uint32_t held, Visit visit) {
    uint8_t heads[kEntriesPerRead * kEntryBytes];
    for (uint32_t first = 0; first < held; first += kEntriesPerRead) {
        const uint32_t n = held - first < kEntriesPerRead ? held - first : kEntriesPerRead;
        const uint64_t at = directory + 2 + kEntryBytes * first;
        if (fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0) return first;
        const uint32_t got = static_cast<uint32_t>(fread(heads, kEntryBytes, n, file));
        for (uint32_t i = 0; i < got; ++i) visit(heads + kEntryBytes * i);
        if (got != n) return first + got;
    }
    return held;
}

// The strip tables are used only when the strip count that the walk leaves (that of the last
// StripOffsets entry handed on, whatever its type) fits them; otherwise the layout is refused.
// Without a StripOffsets entry there is no count the tables can hold.
bool StripTablesUsed(FILE* file, uint64_t directory, uint32_t held) {
    uint32_t stripCount = 0xFFFFFFFFu;
    ForEachEntry(file, directory, held, [&stripCount](const uint8_t* head) {
        if (Compose(head, 2) == kTagStripOffsets && ValuesInFile(head)) stripCount = CountOf(head);
    });
    return stripCount <= static_cast<uint32_t>(kStripPlaces);
}

// The first kTiffValuesKept values of an entry and its last.
struct EntryBuffers {
    uint8_t* raw;
    uint32_t* values;
};

// Reads the values of one 12-byte entry and hands the entry to the recorder.
void HandEntryOn(FILE* file, const uint8_t* head, const EntryBuffers& buffers, bool stripTablesUsed,
                 TiffFieldRecorder recorder) {
    const uint32_t tag = Compose(head, 2);
    const uint32_t type = Compose(head + 2, 2);
    const uint32_t count = CountOf(head);
    if (tag == 0) return;
    if (!HasValues(type)) {
        recorder(tag, type, count, nullptr);
        return;
    }
    if (!ValuesInFile(head)) {
        // Values past the end are never used as data.
        tTiffReader->ranPastEnd = 1;
        return;
    }
    if (!stripTablesUsed && (tag == kTagStripOffsets || tag == kTagStripByteCounts)) {
        recorder(tag, type, count, nullptr);
        return;
    }
    const int size = ValueSize(type);
    const uint32_t kept = count < kTiffValuesKept ? count : kTiffValuesKept;
    const uint8_t* source = head + 8;
    TiffEntryValues values{buffers.values, 0};
    if (uint64_t{count} * size > 4) {
        const uint64_t offset = Compose(head + 8, 4);
        if (!ReadBytes(file, offset, buffers.raw, uint64_t{kept} * size)) return;
        if (count > kept) {
            uint8_t last[4];
            if (!ReadBytes(file, offset + uint64_t{count - 1} * size, last, size)) return;
            values.last = Compose(last, size);
        }
        source = buffers.raw;
    }
    for (uint32_t k = 0; k < kept; ++k) buffers.values[k] = Compose(source + k * size, size);
    if (count == kept && count > 0) values.last = buffers.values[count - 1];
    recorder(tag, type, count, &values);
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
        tTiffReader->byteOrder = kLittleEndian;
    } else if (mark == kMarkBig) {
        tTiffReader->byteOrder = kBigEndian;
    } else {
        return -1;
    }
    if (fseeko(file, 0, SEEK_END) == 0) {
        off_t end = ftello(file);
        tTiffReader->fileSize = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    const uint64_t fileSize = tTiffReader->fileSize;

    uint64_t directory = ReadTiffValue(file, 4, 4);
    uint32_t entries = ReadTiffValue(file, directory, 2);
    if (tTiffReader->ranPastEnd) return 0;
    // The entry count is the file's word: only the entries the file holds are read.
    const uint64_t room = (fileSize - directory - 2) / kEntryBytes;
    const uint32_t held = entries <= room ? entries : static_cast<uint32_t>(room);

    // One raw and one decoded buffer serve every entry: the registry's records
    // are not given back within a job.
    uint8_t* raw = static_cast<uint8_t*>(TrackedAlloc(kTiffValuesKept, 4));
    uint32_t* values = static_cast<uint32_t*>(TrackedAlloc(kTiffValuesKept, 4));
    if (raw == nullptr || values == nullptr) return -1;

    const bool stripTablesUsed = StripTablesUsed(file, directory, held);
    const EntryBuffers buffers{raw, values};
    const uint32_t walked = ForEachEntry(file, directory, held, [&](const uint8_t* head) {
        HandEntryOn(file, head, buffers, stripTablesUsed, recorder);
    });
    if (walked < entries) tTiffReader->ranPastEnd = 1;

    TrackedFree(raw);
    TrackedFree(values);
    return 0;
}
