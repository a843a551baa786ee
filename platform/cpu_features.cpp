#include "platform/cpu_features.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<bool> forced_portable{false};

bool processor_runs_avx2() {
  __builtin_cpu_init();
  const char* portable = std::getenv("ZELMORA_PORTABLE");
  return __builtin_cpu_supports("avx2") && (portable == nullptr || *portable == '\0');
}

}  // namespace

kernel_set active_kernel_set() {
  static const bool avx2 = processor_runs_avx2();
  return avx2 && !forced_portable.load(std::memory_order_relaxed) ? kernel_set::avx2
                                                                  : kernel_set::portable;
}

void force_portable_kernels(bool portable) {
  forced_portable.store(portable, std::memory_order_relaxed);
}
