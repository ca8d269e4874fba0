// The public C surface: each export converts its arguments, calls the
// registry and turns every exception into a status code and a message.
// Nothing else lives here, and no exception ever leaves.
#include <cstring>

#include "api/registry.h"
#include "base/errors.h"
#include "zekalg/zekalg.h"

namespace {

constexpr const char* kUnknownError = "Unknown error occurred.";

// Copies what fits (with a NUL) and stores the full length.
void deliver(const alg_string& text, char* buffer, int32_t size, int32_t* length) noexcept {
  if (buffer != nullptr && size > 0) {
    const uint32_t room = static_cast<uint32_t>(size) - 1;
    const uint32_t n = text.length() < room ? text.length() : room;
    std::memcpy(buffer, text.c_str(), n);
    buffer[n] = '\0';
  }
  if (length != nullptr) {
    *length = static_cast<int32_t>(text.length() > 0x7fffffffu ? 0x7fffffffu : text.length());
  }
}

void deliver(const char* text, char* buffer, int32_t size, int32_t* length) noexcept {
  try {
    deliver(alg_string(text), buffer, size, length);
  } catch (...) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    if (length != nullptr) *length = 0;
  }
}

// One export call: it does nothing once the library is being unloaded.
struct call_gate {
  call_gate() noexcept : open(enter_call()) {}
  ~call_gate() { leave_call(); }
  call_gate(const call_gate&) = delete;
  call_gate& operator=(const call_gate&) = delete;
  const bool open;
};

// Runs `body`; on an algorithm error delivers its message and returns -1,
// on anything else (and while the library is being unloaded) delivers the
// generic message and returns `other`.
template <typename F>
int32_t guarded(char* buffer, int32_t size, int32_t* length, int32_t other, F&& body) noexcept {
  const call_gate gate;
  if (!gate.open) {
    deliver(kUnknownError, buffer, size, length);
    return other;
  }
  try {
    return body();
  } catch (const z_x_algorithm& e) {
    deliver(e.message, buffer, size, length);
    return ZEKALG_ERROR_ALGORITHM;
  } catch (...) {
    deliver(kUnknownError, buffer, size, length);
    return other;
  }
}

int32_t solve_export(int32_t id, const char* expression, char* result, int32_t* length,
                     int32_t mode) noexcept {
  const int32_t size = length != nullptr ? *length : 0;
  return guarded(result, size, length, ZEKALG_ERROR_UNKNOWN, [&] {
    const alg_string text = solve_in_environment(id, alg_string(expression), mode);
    deliver(text, result, size, length);
    return ZEKALG_OK;
  });
}

}  // namespace

extern "C" {

ZEKALG_API int32_t ZEKALG_CALL zekalg_create_environment(int32_t base_id, const char* algorithm,
                                                         char* message, int32_t* length) {
  const int32_t size = length != nullptr ? *length : 0;
  return guarded(message, size, length, ZEKALG_ERROR_ALGORITHM,
                 [&] { return create_environment(base_id, alg_string(algorithm)); });
}

ZEKALG_API int32_t ZEKALG_CALL zekalg_kill_environment(int32_t id) {
  const call_gate gate;
  if (!gate.open) return 0;
  try {
    return kill_environment(id);
  } catch (...) {
    return 0;
  }
}

ZEKALG_API int32_t ZEKALG_CALL zekalg_solve_var(int32_t id, const char* expression, char* result,
                                                int32_t* length) {
  return solve_export(id, expression, result, length, 0);
}

ZEKALG_API int32_t ZEKALG_CALL zekalg_solve_var16(int32_t id, const char* expression, char* result,
                                                  int32_t* length) {
  return solve_export(id, expression, result, length, 1);
}

ZEKALG_API void ZEKALG_CALL zekalg_seed_environment(int32_t seed) {
  seed_environment(static_cast<uint32_t>(seed));
}

ZEKALG_API void ZEKALG_CALL zekalg_list_capabilities(const char* text) {
  try {
    const alg_string discarded(text);
    (void)discarded;
  } catch (...) {
  }
}

}  // extern "C"

#if defined(ZEKALG_SHARED_LIBRARY) && !defined(_WIN32)
// When the shared library is unloaded (dlclose) or the process ends. (The
// programs that link the engine statically reach its state without the
// exports too, so only the shared library frees it.)
[[gnu::destructor]] static void on_unload() { release_engine_at_unload(); }
#endif
