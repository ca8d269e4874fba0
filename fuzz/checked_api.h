// Shared by the fuzz targets: every call to the C functions goes through
// here and each answer is held to the result text protocol of
// zekalg/zekalg.h. A breach prints the call and what went wrong, then
// aborts, which libFuzzer records as a crash with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "algorithm/environment.h"
#include "api/registry.h"
#include "base/random_generator.h"
#include "zekalg/zekalg.h"

namespace fuzz {

// Longer inputs are skipped, so that one run stays short (scripts/fuzz.sh
// passes the same bound as -max_len).
inline constexpr size_t max_input = 4096;

// Every create runs right after this seed, and every solve with its
// environment's draws started from it again, so the draws, and rand() in a
// request, come out the same each time an input is run and each time a
// request is solved.
inline constexpr int32_t fixed_seed = 20260;

// Starts the draws of environment `id` from the fixed seed again. A host's
// seed goes to its thread's next create and never to an environment that
// exists: the harness reaches into the engine for this, and for nothing
// else.
inline void restart_draws(int32_t id) {
  if (const std::shared_ptr<alg_environment> env = find_environment(id)) {
    seed_generator(static_cast<uint32_t>(fixed_seed));
    env->draws.start_here();
  }
}

// The bytes behind each buffer that must stay untouched, and their fill.
inline constexpr size_t guard_bytes = 32;
inline constexpr unsigned char fill = 0xA5;

// A buffer of `size` bytes, or none at all.
struct buffer_size {
  bool null_buffer;
  int32_t size;
};

// The sizes each answer is fetched with, besides the full read.
inline constexpr buffer_size probes[] = {{true, 0},  {true, 16},  {false, -1},  {false, 0},
                                         {false, 1}, {false, 16}, {false, 4096}};
inline constexpr int32_t full_read_size = 4096;

// What one call answered: its status, the length it stored and the bytes it
// wrote before the NUL (min(length, size - 1) of them, all of them after a
// full read).
struct answer {
  int32_t status;
  int32_t length;
  std::string text;
};

using solve_function = int32_t (*)(int32_t, const char*, char*, int32_t*);

struct solver {
  const char* name;
  solve_function call;
};

inline constexpr solver solvers[] = {{"zekalg_solve_var", zekalg_solve_var},
                                     {"zekalg_solve_var16", zekalg_solve_var16}};

inline std::string shown(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < 300; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\\' || c == '"' || c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (bytes.size() > 300) out += "...";
  return out;
}

[[noreturn]] inline void fail(const char* what, const char* function, int32_t id,
                              const std::string& text, buffer_size size, const answer& got) {
  std::fprintf(stderr,
               "zekalg protocol violation: %s\n  call: %s(%d, \"%s\") with %s buffer of %d\n"
               "  answered: status %d, length %d, text \"%s\"\n",
               what, function, id, shown(text).c_str(), size.null_buffer ? "a null" : "a",
               size.size, got.status, got.length, shown(got.text).c_str());
  std::abort();
}

// A guarded buffer for `size`, filled, and the check of what a call left in
// it: the text's first min(length, size - 1) bytes, a NUL, nothing more.
class guarded_buffer {
 public:
  explicit guarded_buffer(buffer_size size)
      : size_(size),
        bytes_(size.null_buffer ? 0 : (size.size > 0 ? size.size : 0) + guard_bytes, fill) {}

  char* data() { return size_.null_buffer ? nullptr : reinterpret_cast<char*>(bytes_.data()); }

  bool untouched() const {
    for (const unsigned char b : bytes_) {
      if (b != fill) return false;
    }
    return true;
  }

  // The bytes written, or nullptr when the buffer holds anything else.
  const char* check(int32_t length, std::string& written) const {
    if (length < 0) return "negative length stored";
    if (size_.null_buffer) return nullptr;
    size_t untouched_from = 0;
    if (size_.size > 0) {
      const size_t n = static_cast<size_t>(length < size_.size - 1 ? length : size_.size - 1);
      if (bytes_[n] != 0) return "no NUL after the min(length, size - 1) bytes copied";
      written.assign(reinterpret_cast<const char*>(bytes_.data()), n);
      untouched_from = n + 1;
    }
    for (size_t i = untouched_from; i < bytes_.size(); ++i) {
      if (bytes_[i] != fill) {
        return i >= static_cast<size_t>(size_.size > 0 ? size_.size : 0)
                   ? "byte written past the buffer's size"
                   : "byte written after the NUL";
      }
    }
    return nullptr;
  }

 private:
  buffer_size size_;
  std::vector<unsigned char> bytes_;
};

inline answer checked_solve(const solver& s, int32_t id, const std::string& request,
                            buffer_size size) {
  guarded_buffer buffer(size);
  answer got{0, size.size, {}};
  restart_draws(id);
  got.status = s.call(id, request.c_str(), buffer.data(), &got.length);
  if (got.status != ZEKALG_OK && got.status != ZEKALG_ERROR_ALGORITHM &&
      got.status != ZEKALG_ERROR_UNKNOWN) {
    fail("status other than 0, -1, -2", s.name, id, request, size, got);
  }
  if (const char* wrong = buffer.check(got.length, got.text)) {
    fail(wrong, s.name, id, request, size, got);
  }
  static const std::string unknown = "Unknown error occurred.";
  if (got.status == ZEKALG_ERROR_UNKNOWN && (got.length != static_cast<int32_t>(unknown.size()) ||
                                             unknown.compare(0, got.text.size(), got.text) != 0)) {
    fail("status -2 without its fixed message", s.name, id, request, size, got);
  }
  return got;
}

// The whole answer, as a host gets it: a large buffer first, then one of
// length + 1 bytes when the text was cut. Both calls must agree.
inline answer full_solve(const solver& s, int32_t id, const std::string& request) {
  const answer first = checked_solve(s, id, request, {false, full_read_size});
  if (first.length < full_read_size) return first;
  // Beyond this the answer is compared by its first bytes only.
  if (first.length > (1 << 28)) return first;
  const buffer_size fitting{false, first.length + 1};
  const answer whole = checked_solve(s, id, request, fitting);
  if (whole.status != first.status || whole.length != first.length ||
      whole.text.compare(0, first.text.size(), first.text) != 0) {
    fail("a retry with length + 1 bytes answered differently", s.name, id, request, fitting, whole);
  }
  return whole;
}

// `got` must be `expected`, cut where its buffer cut it.
inline void expect_same(const answer& expected, const answer& got, const solver& s, int32_t id,
                        const std::string& request, buffer_size size, const char* what) {
  const size_t n = got.text.size() < expected.text.size() ? got.text.size() : expected.text.size();
  if (got.status != expected.status || got.length != expected.length ||
      (n > 0 && std::memcmp(got.text.data(), expected.text.data(), n) != 0)) {
    std::fprintf(stderr, "  expected: status %d, length %d, text \"%s\"\n", expected.status,
                 expected.length, shown(expected.text).c_str());
    fail(what, s.name, id, request, size, got);
  }
}

// Solves `request` in `id` through both functions and with every buffer
// size. The first solve may still draw and cache what the environment had
// not needed yet (and so answer differently); from the second on, the same
// request must give the same status and bytes.
inline void solve_every_way(int32_t id, const std::string& request, size_t round) {
  (void)checked_solve(solvers[0], id, request, {false, 16});
  const answer reference = full_solve(solvers[0], id, request);
  expect_same(reference, full_solve(solvers[1], id, request), solvers[1], id, request,
              {false, full_read_size}, "the two solve functions answer differently");
  // A request that runs into the work limit, or into the limit on function
  // expansions, has used the whole budget of a call each time; its message
  // has been fetched whole and cut above.
  if (reference.status == ZEKALG_ERROR_ALGORITHM &&
      (reference.text.find("work limit reached") != std::string::npos ||
       reference.text.find("stack overflow") != std::string::npos)) {
    return;
  }
  // Each size through one function, alternating from request to request.
  for (size_t i = 0; i + 1 < std::size(probes); ++i) {
    const solver& s = solvers[(i + round) % 2];
    expect_same(reference, checked_solve(s, id, request, probes[i]), s, id, request, probes[i],
                "a repeated solve answers differently");
  }
}

// One way of solving `request`, picked by a hash of its bytes and place: one
// call in sixteen solves it every way above; the others make a single call,
// through one of the two functions into one of the buffer sizes (the largest
// read whole, as a host reads). So the targets run several times the requests
// a second they would solving each one every way, and the corpus still holds
// requests for each way.
inline void solve_one_way(int32_t id, const std::string& request, size_t round) {
  uint32_t way = 2166136261u ^ static_cast<uint32_t>(round);
  for (const char c : request) way = (way ^ static_cast<unsigned char>(c)) * 16777619u;
  way ^= way >> 15;
  if (way % 16 == 0) {
    solve_every_way(id, request, round);
    return;
  }
  const solver& s = solvers[(way >> 4) & 1];
  const size_t probe = (way >> 5) % std::size(probes);
  if (probe + 1 == std::size(probes)) {
    // A cut answer is read again whole. This may be the environment's first
    // solve, which can answer otherwise than the next ones (see above): the
    // retries compare only solves after it.
    const answer first = checked_solve(s, id, request, {false, full_read_size});
    if (first.length >= full_read_size) (void)full_solve(s, id, request);
  } else {
    (void)checked_solve(s, id, request, probes[probe]);
  }
}

// Creates an environment after the fixed seed. The message buffer's size
// goes round the probes with the algorithm's length, so that the corpus
// covers each. Returns the id, or -1.
inline int32_t checked_create(int32_t base, const std::string& algorithm) {
  const buffer_size size = probes[algorithm.size() % std::size(probes)];
  guarded_buffer buffer(size);
  answer got{0, size.size, {}};
  zekalg_seed_environment(fixed_seed);
  got.status = zekalg_create_environment(base, algorithm.c_str(), buffer.data(), &got.length);
  static const char* const name = "zekalg_create_environment";
  if (got.status > 0) {
    if (got.length != size.size || !buffer.untouched()) {
      fail("a successful create touched the message or the length", name, base, algorithm, size,
           got);
    }
  } else if (got.status != -1) {
    fail("create returned neither a positive id nor -1", name, base, algorithm, size, got);
  } else if (const char* wrong = buffer.check(got.length, got.text)) {
    fail(wrong, name, base, algorithm, size, got);
  }
  return got.status;
}

// Kills `id` (also -1 or an id already killed), which must answer 0; a solve
// in it afterwards must find nothing: status 0 and the empty text.
inline void checked_kill(int32_t id) {
  const int32_t status = zekalg_kill_environment(id);
  if (status != 0) {
    fail("kill returned other than 0", "zekalg_kill_environment", id, "", {true, 0},
         {status, 0, {}});
  }
  const answer after = checked_solve(solvers[0], id, "1", {false, 16});
  if (after.status != ZEKALG_OK || after.length != 0) {
    fail("a solve in a killed environment found something", solvers[0].name, id, "1", {false, 16},
         after);
  }
}

// The input's parts: the texts between NUL bytes (the one byte no text
// handed to the engine can hold), at most `max_parts` of them; none at all
// for an input over max_input.
inline std::vector<std::string> split_input(const uint8_t* data, size_t size, size_t max_parts) {
  std::vector<std::string> parts;
  if (size > max_input) return parts;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t from = 0;
  while (parts.size() < max_parts) {
    const size_t nul = input.find('\0', from);
    parts.emplace_back(input.substr(from, nul == std::string_view::npos ? nul : nul - from));
    if (nul == std::string_view::npos) break;
    from = nul + 1;
  }
  return parts;
}

}  // namespace fuzz

// Environment ids come from a counter shared by the processes that load the
// engine; the fuzz targets count in a segment of their own, apart from any
// host on this machine.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("ZEKALG_ID_SEGMENT", "/zekalg-fuzz", 0);
  return 0;
}
