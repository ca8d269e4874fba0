#include "base/thread_stack.h"

#include <cstdint>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#elif defined(__linux__)
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>
#elif defined(__APPLE__)
#include <pthread.h>
#endif

namespace {

// The thread's stack, [low, high), and the address below which it runs low
// (0 when the stack is not known). Looked up once per thread.
struct stack_bounds {
  uintptr_t low = 0;
  uintptr_t high = 0;
  uintptr_t limit = 0;
};

stack_bounds bounds(uintptr_t low, uintptr_t high) noexcept {
  if (high <= low) return {};
  // A stack smaller than twice the reserve keeps half of itself.
  const uintptr_t reserve = high - low >= 2 * stack_reserve ? stack_reserve : (high - low) / 2;
  return {low, high, low + reserve};
}

stack_bounds find_bounds() noexcept {
#if defined(_WIN32)
  // The stack is one reservation that grows down; its last pages stay a
  // guard that raises the overflow. Its part above the caller is not
  // needed: calls from there are shallower.
  MEMORY_BASIC_INFORMATION region{};
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  if (VirtualQuery(reinterpret_cast<const void*>(here), &region, sizeof region) == 0) return {};
  const uintptr_t guard = 4 * 4096;
  return bounds(reinterpret_cast<uintptr_t>(region.AllocationBase) + guard, here);
#elif defined(__linux__)
#if !defined(__GLIBC__)
  // Other C libraries report only the part of the main thread's stack that
  // is mapped so far, not how far it may grow.
  if (static_cast<pid_t>(syscall(SYS_gettid)) == getpid()) return {};
#endif
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return {};
  void* address = nullptr;
  size_t size = 0;
  const bool known = pthread_attr_getstack(&attributes, &address, &size) == 0;
  pthread_attr_destroy(&attributes);
  if (!known || address == nullptr) return {};
  const auto low = reinterpret_cast<uintptr_t>(address);
  return bounds(low, low + size);
#elif defined(__APPLE__)
  // The address given is the stack's top (it grows down); the size is the
  // whole stack's, the main thread's included (its limit at start-up).
  pthread_t self = pthread_self();
  const auto high = reinterpret_cast<uintptr_t>(pthread_get_stackaddr_np(self));
  const size_t size = pthread_get_stacksize_np(self);
  if (high == 0 || size == 0 || size > high) return {};
  return bounds(high - size, high);
#else
  return {};
#endif
}

thread_local stack_bounds t_bounds;
thread_local bool t_looked_up = false;

}  // namespace

bool stack_running_low() noexcept {
  if (!t_looked_up) {
    t_bounds = find_bounds();
    t_looked_up = true;
  }
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  // Anywhere outside the thread's own stack, the thread runs on a stack the
  // lookup does not know.
  return here < t_bounds.limit && here >= t_bounds.low;
}
