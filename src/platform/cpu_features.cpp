#include "platform/cpu_features.h"

extern "C" {
int PictorCpuRecordAvx2(void);
int PictorCpuRecordAvx512f(void);
}

bool CpuHasAvx2() {
    static const bool has = PictorCpuRecordAvx2() != 0;
    return has;
}

bool CpuHasAvx512f() {
    static const bool has = PictorCpuRecordAvx512f() != 0;
    return has;
}
