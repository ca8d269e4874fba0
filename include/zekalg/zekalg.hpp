/*
 * zekalg.hpp: a header-only C++ face for the C interface in zekalg.h.
 *
 * zekalg::environment owns one engine environment and kills it when it goes
 * out of scope; it can be moved, not copied. Failures are thrown as
 * zekalg::error, which carries the status code and the engine's message.
 * Texts are the engine's single bytes (Windows-1252, byte 150 as minus),
 * passed through unchanged.
 *
 * The thread rules of zekalg.h apply: any call from any thread; one
 * zekalg::environment object itself is not to be moved or destroyed while
 * another thread uses it.
 */
#ifndef ZEKALG_ZEKALG_HPP
#define ZEKALG_ZEKALG_HPP

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "zekalg/zekalg.h"

namespace zekalg {

// A failed create or solve. status() is ZEKALG_ERROR_ALGORITHM or
// ZEKALG_ERROR_UNKNOWN; what() is the engine's message.
class error : public std::runtime_error {
 public:
  error(int32_t status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  int32_t status() const noexcept { return status_; }

 private:
  int32_t status_;
};

// Seeds the next create on the calling thread: the same seed and algorithm
// bring back the same variant.
inline void seed(uint32_t value) noexcept { zekalg_seed_environment(static_cast<int32_t>(value)); }

class environment {
 public:
  // No environment; solve() answers "" (as the engine does for id 0).
  environment() noexcept = default;

  // Builds an environment from `algorithm`, on `base` when given (the base
  // must outlive this environment). Throws zekalg::error with the engine's
  // message when the algorithm cannot be built. Creation cannot be repeated
  // to fetch a longer message (it would draw again), so the message buffer
  // is generous; a longer message is cut at its size.
  explicit environment(const std::string& algorithm, const environment* base = nullptr)
      : id_(create(algorithm, base != nullptr ? base->id_ : 0)) {}

  environment(const environment&) = delete;
  environment& operator=(const environment&) = delete;
  environment(environment&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
  environment& operator=(environment&& other) noexcept {
    if (this != &other) {
      reset();
      id_ = std::exchange(other.id_, 0);
    }
    return *this;
  }
  ~environment() { reset(); }

  // The engine's id of this environment (0 when empty or moved from).
  int32_t id() const noexcept { return id_; }
  explicit operator bool() const noexcept { return id_ != 0; }

  // Kills the environment now; the object becomes empty.
  void reset() noexcept {
    if (id_ != 0) zekalg_kill_environment(std::exchange(id_, 0));
  }

  // The display text of `expression` (a name or a formula). Throws
  // zekalg::error on failure. A result longer than the buffer is asked for
  // again with a buffer of the size the engine reported.
  std::string solve(const std::string& expression) const {
    std::string out;
    solve_into(expression, out);
    return out;
  }

  // As solve(), writing into `out` so that a caller in a loop reuses its
  // capacity.
  void solve_into(const std::string& expression, std::string& out) const {
    if (out.capacity() < kFirstSize) out.reserve(kFirstSize);
    out.resize(out.capacity());
    for (;;) {
      int32_t length = size_of(out);
      const int32_t status = zekalg_solve_var(id_, expression.c_str(), &out[0], &length);
      if (length < size_of(out) || length < 0) {
        out.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
        if (status != ZEKALG_OK) throw error(status, out);
        return;
      }
      out.resize(static_cast<std::size_t>(length) + 1);
    }
  }

 private:
  static constexpr std::size_t kFirstSize = 256;
  static constexpr std::size_t kMessageSize = 4096;

  static int32_t size_of(const std::string& buffer) noexcept {
    return buffer.size() > 0x7fffffffu ? 0x7fffffff : static_cast<int32_t>(buffer.size());
  }

  static int32_t create(const std::string& algorithm, int32_t base) {
    std::string message(kMessageSize, '\0');
    int32_t length = size_of(message);
    const int32_t id = zekalg_create_environment(base, algorithm.c_str(), &message[0], &length);
    if (id > 0) return id;
    const std::size_t shown = length < 0 ? 0 : static_cast<std::size_t>(length);
    message.resize(shown < kMessageSize ? shown : kMessageSize - 1);
    throw error(ZEKALG_ERROR_ALGORITHM, message);
  }

  int32_t id_ = 0;
};

}  // namespace zekalg

#endif /* ZEKALG_ZEKALG_HPP */
