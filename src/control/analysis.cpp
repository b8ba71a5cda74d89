#include "control/analysis.h"

AnalysisState gAnalysis;

// Placeholders until the pre-analysis lands.
int AnalysePicture(int32_t) { return -1; }
void CollectComponentStatistics(const char*, ErrorSums*, int32_t*, int32_t*) {}
int32_t EstimateAcBits(const int32_t*, int) { return 0; }
void QuantiseForEstimate(const int32_t*, int32_t*, const int32_t*, int) {}
int32_t CountAcBits(const int32_t*) { return 0; }
int32_t AcCodeLength(int, int) { return 24; }
int32_t DcSizeCodeLength(int size, int) { return size; }
int ChooseDcPrecision(const int32_t*) { return 0; }
int ScaleDefaultMatrix(int32_t*, const int32_t*, const int32_t*, int32_t) { return 0; }
