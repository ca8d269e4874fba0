// Small helpers shared by the test files.
#pragma once

#include <cstdint>
#include <string>

#include "base/alg_string.h"

// Builds an alg_string from a std::string, NUL bytes included.
inline alg_string S(const std::string& s) { return alg_string(std::string_view(s)); }
// The bytes of an alg_string as a std::string.
inline std::string B(const alg_string& s) { return std::string(s.view()); }
// The en dash byte as a string, for expected result texts.
inline const std::string kDash = std::string(1, static_cast<char>(150));

// What the exports answered: `created` is false when creation failed, and
// `text` is then the creation message.
struct engine_answer {
  bool created;
  int32_t status;
  std::string text;

  bool operator==(const engine_answer&) const = default;
};

// Seeds with `seed` (when not negative), creates an environment from
// `algorithm` on `base`, solves `request` in it and kills it again.
engine_answer solve_once(const std::string& algorithm, const std::string& request, int64_t seed = 1,
                         int32_t base = 0);

// Creates an environment through the exports; returns the id or -1 with the
// message in `message`.
int32_t create_env(const std::string& algorithm, std::string* message = nullptr, int32_t base = 0);
// Solves through the exports, growing the buffer until the text fits.
engine_answer solve_in(int32_t id, const std::string& request);

// Readable expectations: ok("10"), failed("message"), not_created("message").
inline engine_answer ok(const std::string& text) { return {true, 0, text}; }
inline engine_answer failed(const std::string& text) { return {true, -1, text}; }
inline engine_answer not_created(const std::string& text) { return {false, -1, text}; }
std::ostream& operator<<(std::ostream& os, const engine_answer& a);

// `piece` written `times` times.
std::string repeated(const std::string& piece, int times);
// Formula lines t1 .. tN, each t(i-1) joined to itself, after t0 = `first`:
// texts that double at every line.
std::string doubling(int lines, const std::string& first = "\"ab\"");
