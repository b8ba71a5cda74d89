// The matrix search's coefficient lists and the level changes made through them.
//
// What is kept: for each scan index, the blocks with a non-zero coefficient there, sorted by
// magnitude. A tabled level is a step function of the magnitude whose steps lie at magnitudes
// found without a division, so between two weights (or quantisers) the magnitudes whose level
// differs form a few ranges of each list, and only their blocks are visited.
// Why two ways to apply them: a change few blocks share is followed code by code; when most
// blocks take several, each block is recounted once.
#include "control/level_lists.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "coding/quantise.h"
#include "coding/tables.h"
#include "parallel/job_threads.h"
#include "runtime/registry.h"

namespace {

constexpr int64_t kNoStep = INT64_MAX;

// The least magnitude whose level with weight w at q is `level` or more (level >= 1): the level
// (((16a + w/2) / w) + offset) / 2q reaches it once (16a + w/2) / w >= 2q level - offset, that
// is 16a >= (2q level - offset) w - w/2, whose right side is positive.
int64_t LevelStep(int32_t level, int32_t w, int q) {
    const int64_t t = int64_t{2} * q * level - (3 * q + 2) / 4;
    return (t * w - w / 2 + 15) / 16;
}

// Walks the tabled levels of rising magnitudes under one weight and quantiser.
struct LevelWalk {
    int32_t w;
    int q;
    int32_t level;
    int64_t next;  // the least magnitude of the next level; kNoStep past the tabled ones

    LevelWalk(int32_t weight, int quantiser) : w(weight), q(quantiser), level(0) {
        next = LevelStep(1, w, q);
    }
    void MoveTo(int64_t a) {
        while (next <= a) {
            ++level;
            next = level < kLargestTabledMagnitude ? LevelStep(level + 1, w, q) : kNoStep;
        }
    }
};

// Calls take(kept, fresh, from, to) for each range of list k's magnitudes, with blocks, whose
// tabled level goes from `kept` under (wBefore, qBefore) to a different `fresh` under (w, q).
template <typename Take>
void ForChangedRanges(const LevelLists& lists, int k, int32_t wBefore, int qBefore, int32_t w,
                      int q, Take take) {
    const int64_t largest = lists.largest[k];
    const uint32_t* offsets = lists.offsets + lists.start[k];
    LevelWalk before(wBefore, qBefore), after(w, q);
    for (int64_t a = 1; a <= largest;) {
        before.MoveTo(a);
        after.MoveTo(a);
        int64_t end = before.next < after.next ? before.next : after.next;
        if (end > largest + 1) end = largest + 1;
        if (before.level != after.level && offsets[a] != offsets[end])
            take(before.level, after.level, a, end);
        a = end;
    }
}

// A level that stays non-zero changes only its own code: its run is the distance from the
// non-zero level before it (or from the DC).
int64_t ChangeKeptLevels(const ListedBlock* __restrict entries, uint32_t first, uint32_t end, int k,
                         int32_t kept, int32_t fresh, const BlockLevels& blocks) {
    const uint8_t* lengths = &kAcLengths.at[0][0];
    constexpr int kRunStride = kLargestTabledMagnitude + 1;
    const uint64_t below = (uint64_t{1} << k) - 1;
    uint8_t* __restrict magnitudes = blocks.magnitudes;
    const uint64_t* __restrict nonZero = blocks.nonZero;
    int32_t* __restrict bits = blocks.bits;
    int64_t change = 0;
    for (uint32_t i = first; i < end; ++i) {
        const uint32_t b = entries[i];
        const int previous = 63 - __builtin_clzll((nonZero[b] & below) | 1);
        const int run = k - previous - 1;
        const int32_t c = lengths[run * kRunStride + fresh] - lengths[run * kRunStride + kept];
        bits[b] += c;
        change += c;
        magnitudes[64 * uint64_t{b} + k] = static_cast<uint8_t>(fresh);
    }
    return change;
}

// A level that turns zero (kept != 0, fresh 0) or non-zero (kept 0) changes its own code and
// the run of the next non-zero level, which joins or splits at k.
int64_t FlipLevels(const ListedBlock* __restrict entries, uint32_t first, uint32_t end, int k,
                   int32_t kept, int32_t fresh, const BlockLevels& blocks) {
    const uint8_t* lengths = &kAcLengths.at[0][0];
    constexpr int kRunStride = kLargestTabledMagnitude + 1;
    const uint64_t bit = uint64_t{1} << k;
    const uint64_t below = bit - 1;
    const uint64_t above = ~below & ~bit;
    // Turning non-zero adds the code at k and splits the next run; turning zero undoes both.
    const int32_t sign = fresh != 0 ? 1 : -1;
    const int32_t level = fresh != 0 ? fresh : kept;
    uint8_t* __restrict magnitudes = blocks.magnitudes;
    uint64_t* __restrict nonZero = blocks.nonZero;
    int32_t* __restrict bits = blocks.bits;
    int64_t change = 0;
    for (uint32_t i = first; i < end; ++i) {
        const uint32_t b = entries[i];
        const uint64_t set = nonZero[b];
        uint8_t* m = magnitudes + 64 * uint64_t{b};
        const int previous = 63 - __builtin_clzll((set & below) | 1);
        int32_t c = lengths[(k - previous - 1) * kRunStride + level];
        if ((set & above) != 0) {
            const int next = __builtin_ctzll(set & above);
            const uint8_t* code = lengths + m[next];
            c += code[(next - k - 1) * kRunStride] - code[(next - previous - 1) * kRunStride];
        }
        c *= sign;
        m[k] = static_cast<uint8_t>(fresh);
        nonZero[b] = set ^ bit;
        bits[b] += c;
        change += c;
    }
    return change;
}

// One half of the blocks' changes of one range: magnitude by magnitude, the part of its blocks
// in that half.
int64_t ApplyRange(const LevelLists& lists, const LevelRange& r, int half,
                   const BlockLevels& blocks) {
    const uint32_t* offsets = lists.offsets + lists.start[r.k];
    const uint32_t* middles = lists.middles + lists.start[r.k];
    const bool kept = r.kept != 0 && r.fresh != 0;
    int64_t change = 0;
    for (int32_t a = r.from; a < r.to; ++a) {
        const uint32_t first = half == 0 ? offsets[a] : middles[a + 1];
        const uint32_t end = half == 0 ? middles[a + 1] : offsets[a + 1];
        if (first == end) continue;
        change += kept ? ChangeKeptLevels(lists.entries, first, end, r.k, r.kept, r.fresh, blocks)
                       : FlipLevels(lists.entries, first, end, r.k, r.kept, r.fresh, blocks);
    }
    return change;
}

// Rough costs in time of a level's change (kept non-zero or flipped alike: a cache miss on the
// block's levels either way) and of a block quantised and counted anew, both ways split between
// the job's threads: about 3.6 ns a level against 54 ns a block on one thread.
constexpr uint64_t kLevelCost = 4, kBlockCost = 55;

int32_t Magnitude(int16_t x) { return x < 0 ? -x : x; }

// The largest magnitude at each scan index.
void SurveyStore(const int16_t* data, uint64_t blocks, int32_t* largest) {
    alignas(16) int16_t most[64] = {};
#if defined(__SSE2__)
    __m128i m[8];
    for (__m128i& v : m) v = _mm_setzero_si128();
    for (uint64_t b = 0; b < blocks; ++b) {
        const __m128i* block = reinterpret_cast<const __m128i*>(data + 64 * b);
        for (int j = 0; j < 8; ++j) {
            const __m128i x = _mm_loadu_si128(block + j);
            m[j] = _mm_max_epi16(m[j], _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)));
        }
    }
    for (int j = 0; j < 8; ++j) _mm_store_si128(reinterpret_cast<__m128i*>(most) + j, m[j]);
#else
    for (uint64_t b = 0; b < blocks; ++b) {
        for (int k = 0; k < 64; ++k) {
            const int16_t a = static_cast<int16_t>(Magnitude(data[64 * b + k]));
            most[k] = a > most[k] ? a : most[k];
        }
    }
#endif
    largest[0] = 0;
    for (int k = 1; k < 64; ++k) largest[k] = most[k];
}

// Each non-zero AC coefficient counted two places above its magnitude: from the counts by
// magnitude and raster position when they are given, else block by block.
uint64_t CountMagnitudes(const int16_t* data, uint64_t blocks, const LevelLists& lists,
                         const MagnitudeCounts* given) {
    uint32_t* offsets = lists.offsets;
    uint64_t count = 0;
    if (given != nullptr) {
        int32_t most = 0;
        for (int32_t m : lists.largest) most = m > most ? m : most;
        for (int32_t a = 1; a <= most; ++a) {
            for (int k = 1; k < 64; ++k) {
                if (a > lists.largest[k]) continue;
                const int p = kZigZagScan[k].column + 8 * kZigZagScan[k].row;
                const uint32_t n = (*given)[a][p];
                offsets[lists.start[k] + a + 2] = n;
                count += n;
            }
        }
    }
    for (uint64_t b = 0; given == nullptr && b < blocks; ++b) {
        const int16_t* block = data + 64 * b;
        for (uint64_t rest = NonZeroLevelBits(block); rest != 0; rest &= rest - 1) {
            const int k = __builtin_ctzll(rest);
            ++offsets[lists.start[k] + Magnitude(block[k]) + 2];
            ++count;
        }
    }
    const int64_t places = lists.start[63] + lists.largest[63] + 3;
    for (int64_t i = 1; i < places; ++i) offsets[i] += offsets[i - 1];
    return count;
}

// Blocks first .. end - 1, each placed after the blocks before it of its magnitude in lists
// from .. to - 1; the place one above a magnitude then holds where the next magnitude's blocks
// start.
void PlaceBlocks(const int16_t* data, uint64_t first, uint64_t end, const LevelLists& lists,
                 int from, int to) {
    const uint64_t below = to == 64 ? ~uint64_t{0} : (uint64_t{1} << to) - 1;
    const uint64_t listed = below & ~((uint64_t{1} << from) - 1);
    for (uint64_t b = first; b < end; ++b) {
        const int16_t* block = data + 64 * b;
        for (uint64_t rest = NonZeroLevelBits(block) & listed; rest != 0; rest &= rest - 1) {
            const int k = __builtin_ctzll(rest);
            lists.entries[lists.offsets[lists.start[k] + Magnitude(block[k]) + 1]++] =
                static_cast<ListedBlock>(b);
        }
    }
}

// Lists from .. to - 1 whole; where the first half of the blocks ends in each magnitude is
// noted on the way.
void PlaceLists(const int16_t* data, const LevelLists& lists, int from, int to) {
    PlaceBlocks(data, 0, lists.half, lists, from, to);
    const int64_t end = to == 64 ? lists.start[63] + lists.largest[63] + 3 : lists.start[to];
    std::memcpy(lists.middles + lists.start[from], lists.offsets + lists.start[from],
                sizeof(uint32_t) * static_cast<uint64_t>(end - lists.start[from]));
    PlaceBlocks(data, lists.half, lists.blocks, lists, from, to);
}

// The first list of the second part: lists 1 .. k - 1 hold about half the entries.
int SecondPartStart(const LevelLists& lists, uint64_t count) {
    int k = 1;
    while (k < 63 && lists.offsets[lists.start[k + 1] + 1] < count / 2) ++k;
    return k + 1;
}

}  // namespace

int BuildLevelLists(const CoefficientStore& store, const MagnitudeCounts* counts,
                    LevelLists* lists) {
    ReleaseLevelLists(lists);
    const uint64_t blocks = static_cast<uint64_t>(store.columns) *
                            static_cast<uint64_t>(store.rows) * kBlocksPerMacroblock;
    if (blocks > kMostListedBlocks) return -1;
    SurveyStore(store.data, blocks, lists->largest);
    // Places 0 .. largest + 2 each: the counts land two above their magnitude.
    int64_t places = 0;
    for (int k = 0; k < 64; ++k) {
        lists->start[k] = places;
        places += k == 0 ? 0 : lists->largest[k] + 3;
    }
    lists->blocks = blocks;
    lists->half = blocks / 2;
    lists->offsets = static_cast<uint32_t*>(TrackedAlloc(static_cast<uint64_t>(places), 4));
    lists->middles = static_cast<uint32_t*>(TrackedAlloc(static_cast<uint64_t>(places), 4));
    lists->ranges = static_cast<LevelRange*>(TrackedAlloc(kMostRanges, sizeof(LevelRange)));
    if (lists->offsets == nullptr || lists->middles == nullptr || lists->ranges == nullptr)
        return -1;
    const uint64_t count = CountMagnitudes(store.data, blocks, *lists, counts);
    lists->entries = static_cast<ListedBlock*>(TrackedAlloc(count, sizeof(ListedBlock)));
    if (lists->entries == nullptr) return -1;
    // Each of two parts of the lists is placed by one walk of the store, for the job's threads:
    // no entry or place is shared.
    const int bounds[3] = {1, SecondPartStart(*lists, count), 64};
    auto place = [&](int32_t part) {
        PlaceLists(store.data, *lists, bounds[part], bounds[part + 1]);
    };
    RunChunks(2, place);
    return 0;
}

void ReleaseLevelLists(LevelLists* lists) {
    TrackedFree(lists->ranges);
    TrackedFree(lists->entries);
    TrackedFree(lists->middles);
    TrackedFree(lists->offsets);
    *lists = LevelLists{};
}

bool ChangeLevels(LevelLists* lists, const BlockLevels& blocks, const int32_t* before, int qBefore,
                  const int32_t* matrix, int q, int64_t* change) {
    if (lists->entries == nullptr) return false;
    LevelRange* ranges = lists->ranges;
    int32_t count = 0;
    uint64_t levels = 0;
    for (int k = 1; k < 64; ++k) {
        const int p = kZigZagScan[k].column + 8 * kZigZagScan[k].row;
        if (before[p] == matrix[p] && qBefore == q) continue;
        const uint32_t* offsets = lists->offsets + lists->start[k];
        ForChangedRanges(*lists, k, before[p], qBefore, matrix[p], q,
                         [&](int32_t from, int32_t fresh, int64_t a, int64_t end) {
                             levels += offsets[end] - offsets[a];
                             ranges[count++] =
                                 LevelRange{static_cast<uint16_t>(a), static_cast<uint16_t>(end),
                                            static_cast<uint8_t>(k), static_cast<uint8_t>(from),
                                            static_cast<uint8_t>(fresh)};
                         });
    }
    if (kLevelCost * levels > kBlockCost * lists->blocks) return false;
    // A block's levels change in the order of its scan indexes in either half: the halves'
    // sums are those of one walk.
    int64_t changes[2] = {0, 0};
    auto apply = [&](int32_t half) {
        int64_t sum = 0;
        for (const LevelRange* r = ranges; r < ranges + count; ++r)
            sum += ApplyRange(*lists, *r, half, blocks);
        changes[half] = sum;
    };
    RunChunks(2, apply);
    *change = changes[0] + changes[1];
    return true;
}
