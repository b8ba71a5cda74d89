// Direct lookup of the intra AC codes by run and level, built once from the table.
#include "coding/vlc_tables.h"

namespace {

AcIndex BuildAcIndex() {
    AcIndex index;
    for (auto& row : index.entry) {
        for (int16_t& e : row) e = -1;
    }
    for (int i = 0; kAcTable[i].level != kAcTableEnd; ++i) {
        index.entry[kAcTable[i].run][kAcTable[i].level + kAcIndexMagnitude] =
            static_cast<int16_t>(i);
    }
    return index;
}

}  // namespace

const AcIndex& AcCodeIndex() {
    static const AcIndex index = BuildAcIndex();
    return index;
}
