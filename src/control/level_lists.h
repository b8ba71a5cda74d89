// The matrix search's lists of the stored AC coefficients by scan index and magnitude, and the
// level changes a new weight or quantiser makes through them. Internal to control/.
#ifndef PICTOR_CONTROL_LEVEL_LISTS_H
#define PICTOR_CONTROL_LEVEL_LISTS_H

#include <cstdint>

#include "coding/tables.h"
#include "coding/transform.h"

// A block's index in the lists; a picture the table of sizes allows has far fewer.
typedef uint16_t ListedBlock;
constexpr uint64_t kMostListedBlocks = 65536;

// Magnitudes from .. to - 1 of list k, whose tabled level goes from `kept` to `fresh`.
struct LevelRange {
    uint16_t from;
    uint16_t to;
    uint8_t k;
    uint8_t kept;
    uint8_t fresh;
};
// A list's magnitudes split into at most this many ranges of one level before and one after.
constexpr int32_t kMostRanges = 63 * (2 * (kLargestTabledMagnitude + 1) + 1);

// For each scan index 1..63, the blocks whose coefficient there is not 0, by ascending
// magnitude: the blocks of magnitude a at index k are entries[offsets[start[k] + a] ..
// offsets[start[k] + a + 1] - 1], for a from 0 to largest[k] (magnitude 0 lists none). Within a
// magnitude the blocks ascend, and those below `half` end at middles[start[k] + a + 1]: each
// half of the blocks is changed by one of the job's threads.
struct LevelLists {
    uint64_t blocks;
    uint64_t half;
    ListedBlock* entries;  // tracked blocks; null without lists
    uint32_t* offsets;
    uint32_t* middles;
    LevelRange* ranges;  // room for one change's ranges
    int64_t start[64];
    int32_t largest[64];
};

// How many AC coefficients of each magnitude 0..2048 each raster position has:
// [magnitude][position].
typedef uint32_t MagnitudeCounts[2049][64];

// Lists of the store's blocks (at most kMostListedBlocks of them); -1, and no lists, when there
// are more or they cannot be allocated.
// `counts`, when not null, are the counts of the store's coefficients, which spare a pass over
// the store.
[[nodiscard]] int BuildLevelLists(const CoefficientStore& store, const MagnitudeCounts* counts,
                                  LevelLists* lists);
void ReleaseLevelLists(LevelLists* lists);

// What the search's estimate keeps per block, as the lists change it.
struct BlockLevels {
    uint8_t* magnitudes;  // 64 per block
    uint64_t* nonZero;
    int32_t* bits;
};

// The levels every block has under `matrix` at quantiser q, from those it has under `before` at
// quantiser qBefore: only the coefficients whose tabled level differs are visited, and the
// change in the blocks' total bits left in `change`. False, with nothing changed, when there are
// no lists or so many levels differ that quantising every block anew costs less.
[[nodiscard]] bool ChangeLevels(LevelLists* lists, const BlockLevels& blocks, const int32_t* before,
                                int qBefore, const int32_t* matrix, int q, int64_t* change);

#endif
