#include "platform/cpu_features.h"

extern "C" int PictorCpuRecord(int wide);

bool CpuHasAvx2() {
    static const bool has = PictorCpuRecord(0) != 0;
    return has;
}

bool CpuHasAvx512f() {
    static const bool has = PictorCpuRecord(1) != 0;
    return has;
}

bool CpuHasAvx512Vbmi2() {
    static const bool has = PictorCpuRecord(2) != 0;
    return has;
}
