#include "control/threshold_search.h"

ThresholdState gThreshold;

// Placeholders until the distortion-threshold search lands.
void ErrorStatistics(const int32_t*, ErrorSums*, int32_t*) {}
void BuildErrorTable(ErrorSums*, double (*)[128], const int32_t*) {}
int TryThreshold(float, float, double (*)[128], const int32_t*, int32_t, const int32_t*, int32_t*, int, int) {
    return 0;
}
int SearchThreshold(double (*)[128], int32_t*, const int32_t*, const int32_t*, int32_t) { return 0; }
