// Placeholders for the picture coding core; replaced file by file as it lands.
#include "coding/bit_writer.h"
#include "coding/headers.h"
#include "coding/intra_matrix.h"
#include "coding/macroblock_coder.h"
#include "coding/quantise.h"
#include "coding/scan.h"
#include "coding/transform.h"
#include "coding/vlc_tables.h"

BitWriter gBitWriter;
CodeList gCodeList;
RunningDc gRunningDc;

void PutBits(uint32_t, int) {}
void AlignToByte() {}
int32_t BitsWritten() { return 0; }
void ResetBitWriter() {}
void StartCodeList() {}
void QueueBits(uint32_t, int) {}
int32_t QueuedBits() { return 0; }
void FlushQueue() {}
void WriteSequenceHeader() {}
void WriteSequenceDisplayExtension() {}
void WriteGopHeader() {}
void WritePictureHeader() {}
void WriteSequenceEnd() {}
void WriteQuantMatrix(const int32_t*) {}
void ForwardDct(int32_t*, int32_t*) {}
void FetchMacroblock(int, int, int32_t*) {}
int TransformAndQuantise(int q, int32_t*, int32_t*, int32_t*) { return q; }
int QuantiseMacroblock(int q, const int32_t*, int32_t*) { return q; }
void StoreCoefficients(const int32_t*, int, int, CoefficientPlanes*) {}
void LoadCoefficients(int, int, const CoefficientPlanes*, int32_t*) {}
void QuantiseIntraBlock(int, const int32_t*, int32_t*) {}
int EncodeMacroblock(int, int, const int32_t*, const int32_t*, const int32_t*, int, int) { return 0; }
void EncodeIntraBlock(int, const int32_t*) {}
