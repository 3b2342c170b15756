// Which row kernels this processor runs: the widest vectors it has (and its system saves).
#include "edgesnap/row_kernels.h"

namespace VELDRA_EDGESNAP {

bool ProcessorHasAvx2() {
  __builtin_cpu_init();  // idempotent; makes the answer independent of constructor order
  return __builtin_cpu_supports("avx2");
}

bool ProcessorHasAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
}

const RowKernels& BestRowKernels() {
  static const RowKernels& best = ProcessorHasAvx512() ? Avx512RowKernels()
                                  : ProcessorHasAvx2() ? Avx2RowKernels()
                                                       : SseRowKernels();
  return best;
}

}  // namespace VELDRA_EDGESNAP
