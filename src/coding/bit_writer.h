// Bit writer of the output stream and the macroblock code list.
#ifndef PICTOR_CODING_BIT_WRITER_H
#define PICTOR_CODING_BIT_WRITER_H

#include <cstdint>
#include <cstdio>

// Bits go out most significant first. They gather in a 64-bit accumulator and go on as whole
// 32-bit words into a buffer, which goes to the stream in one write when it is full and when the
// driver closes the stream: the stream receives the bytes it would receive one at a time.
constexpr int32_t kBitWriterBufferBytes = 256 * 1024;
struct BitWriter {
    uint64_t accumulator;  // new bits shift in at the least significant end
    int32_t pendingBits;   // bits of the accumulator not yet emitted, 0..31 between puts
    int32_t bytesWritten;  // bytes emitted since the last reset
    FILE* out;             // the open stream of a final attempt; null: nothing is emitted
    int32_t buffered;      // bytes of `buffer` not yet written to `out`
    uint8_t buffer[kBitWriterBufferBytes];
};
extern thread_local BitWriter* tBitWriter;

// The low n bits of value (n < 1: none; above 32 the value's bits follow zeros).
void PutLongBits(uint32_t value, int n);
void EmitWord(uint32_t word);
inline void PutBits(uint32_t value, int n) {
    if (n < 1 || n > 32) return PutLongBits(value, n);
    tBitWriter->accumulator = tBitWriter->accumulator << n | (value & (0xFFFFFFFFu >> (32 - n)));
    tBitWriter->pendingBits += n;
    if (tBitWriter->pendingBits >= 32) {
        tBitWriter->pendingBits -= 32;
        EmitWord(static_cast<uint32_t>(tBitWriter->accumulator >> tBitWriter->pendingBits));
    }
}
void AlignToByte();
[[nodiscard]] int32_t BitsWritten();
// Starts counting from 0 again; the stream is detached and the buffer emptied without a write.
void ResetBitWriter();
// Writes every whole byte put so far to the stream (the driver calls it before closing the
// stream).
void FlushBitWriter();
// A point of the stream that a macroblock attempt may go back to: the writer as it stands, with
// room in the buffer for any macroblock's code, so nothing put after it has reached the stream.
struct BitWriterMark {
    int32_t bits;  // BitsWritten() there
    uint64_t accumulator;
    int32_t pendingBits;
    int32_t bytesWritten;
    int32_t buffered;
};
[[nodiscard]] BitWriterMark MarkBitWriter();
void RewindBitWriter(const BitWriterMark& mark);

// Room in the buffer for any macroblock's code: at most 6 blocks of 63 escaped pairs and their
// DC, ends and the headers, well under this.
constexpr int32_t kMacroblockRoom = 4096;
// Writes the buffer out when it has less than kMacroblockRoom left.
void EnsureMacroblockRoom();

// The writer held in registers for one macroblock's code, nothing else put while it lives: bits
// gather in a 64-bit register, and after each put the bits pending go into the buffer as they
// stand, big-endian from the next byte, past the whole bytes among them; at most 7 stay pending,
// and their partial byte is stored again, completed, by the next put. Without a branch on the
// register's fill, the stores follow the codes however their lengths fall. Emitted bytes go into
// the buffer even without a stream, and are dropped with it.
class WordWriter {
public:
    WordWriter() {
        EnsureMacroblockRoom();
        BitWriter& w = *tBitWriter;
        accumulator_ = w.accumulator;
        start_ = w.buffer + w.buffered;
        at_ = start_;
        // 0..31 bits pending: their whole bytes go out at once.
        const uint32_t pending = static_cast<uint32_t>(w.pendingBits);
        const uint32_t top = static_cast<uint32_t>(accumulator_ << (32 - pending));
        for (int i = 0; i < 4; ++i) at_[i] = static_cast<uint8_t>(top >> (24 - 8 * i));
        at_ += pending >> 3;
        pending_ = pending & 7;
    }
    ~WordWriter() {
        BitWriter& w = *tBitWriter;
        const int32_t bytes = static_cast<int32_t>(at_ - start_);
        w.accumulator = accumulator_;
        w.pendingBits = static_cast<int32_t>(pending_);
        w.bytesWritten += bytes;
        w.buffered += bytes;
    }
    WordWriter(const WordWriter&) = delete;
    WordWriter& operator=(const WordWriter&) = delete;

    // A word of the code tables: (code << 8) | length, length 1..24, no bits above the code.
    void PutWord(uint32_t word) { Append(word >> 8, word & 0xFF); }
    // Two words, the first first; 57 bits at most.
    void PutWords(uint32_t first, uint32_t second) {
        const uint32_t n = second & 0xFF;
        Append(uint64_t{first >> 8} << n | second >> 8, (first & 0xFF) + n);
    }
    // The low n bits of value, n 1..32.
    void Put(uint32_t value, uint32_t n) { Append(value & (0xFFFFFFFFu >> (32 - n)), n); }

private:
    // n 1..57 bits of code, none above them.
    void Append(uint64_t code, uint32_t n) {
        accumulator_ = accumulator_ << n | code;
        pending_ += n;
        const uint64_t top = accumulator_ << (64 - pending_);
        for (int i = 0; i < 8; ++i) at_[i] = static_cast<uint8_t>(top >> (56 - 8 * i));
        at_ += pending_ >> 3;
        pending_ &= 7;
    }

    uint64_t accumulator_;  // the pending bits at the least significant end
    uint32_t pending_;      // 0..7 between puts
    uint8_t* start_;
    uint8_t* at_;
};

// One macroblock's code, held until the coding pass accepts it.
constexpr int kCodeListCapacity = 1350;
struct CodeList {
    uint32_t values[kCodeListCapacity];
    int32_t lengths[kCodeListCapacity];
    int32_t count;
};
extern thread_local CodeList* tCodeList;

// Starts a fresh list for a macroblock attempt; also the list's reset.
void StartCodeList();
void QueueBits(uint32_t value, int length);
[[nodiscard]] int32_t QueuedBits();
// PutBits of every queued pair, in order; the list stays as it is.
void FlushQueue();

// A fixed-length syntax element of the stream, by its width; its value goes out as the low
// `bits` bits (two's complement for a negative one).
struct SyntaxElement {
    int bits;
};
inline void Put(SyntaxElement element, uint32_t value) { PutBits(value, element.bits); }
inline void Queue(SyntaxElement element, uint32_t value) { QueueBits(value, element.bits); }

#endif
