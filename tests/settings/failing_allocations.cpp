#include "failing_allocations.h"

#include <atomic>
#include <cstddef>

extern "C" void* __real_malloc(size_t size);

namespace {
std::atomic<unsigned> g_untilFailure{0};  // 0: no failure planned
}  // namespace

extern "C" void* __wrap_malloc(size_t size) {
  unsigned left = g_untilFailure.load();
  if (left != 0) {
    if (left == 1) {
      g_untilFailure = 0;
      return nullptr;
    }
    g_untilFailure = left - 1;
  }
  return __real_malloc(size);
}

void FailAllocationAt(unsigned count) {
  g_untilFailure = count;
}
