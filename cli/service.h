// The JSON endpoints of `zekalg serve`, apart from HTTP: a request body in,
// a status code and a JSON document out. Solve, sample, check and grade are
// the command's own functions (solve_variant, sample_variants,
// check_algorithm, grade_json); this file only reads the request and writes
// the answer.
//
// Every text goes in and out as UTF-8 and is converted to and from the
// engine's Windows-1252 bytes as the command converts it (the engine's minus,
// byte 150, comes out as U+2013).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include "tools/encoding.h"

namespace cli {
using namespace tools;

struct service_limits {
  std::size_t max_body = 1u << 20;              // bytes of a request body
  int64_t max_count = 10000;                    // variants of one sample
  std::size_t max_requests = 1000;              // requests of one solve
  std::chrono::milliseconds time_limit{10000};  // per request, between engine calls
  std::size_t max_value_bytes = 16u << 20;      // of the values one request holds
  int check_creations = 300;                    // trial creations of a check
  int variant_threads = 0;  // threads that make one sample's or variants' rows (0: one a worker)
};

struct api_response {
  int status = 200;
  nlohmann::json body;
  std::string text;  // when not empty, the body already written (a tools document)
};

// The names the service gives the request's texts in messages and in the
// "file" fields of a sample: what the command would print for files of
// these names.
inline constexpr const char* kAlgorithmName = "algorithm.alg";
inline constexpr const char* kBaseName = "base.alg";

// Every error the service answers is a problem document (RFC 9457, sent as
// application/problem+json): "type", "title", "status", "detail", and where
// they apply "field", "line" and "limit". `type` is one of these URNs, or
// "about:blank" when the HTTP status says it all.
inline constexpr const char* kProblemInvalidRequest = "urn:zekalg:problem:invalid-request";
inline constexpr const char* kProblemText = "urn:zekalg:problem:unusable-text";
inline constexpr const char* kProblemLimit = "urn:zekalg:problem:limit-reached";
inline constexpr const char* kProblemGrade = "urn:zekalg:problem:cannot-grade";

// A problem document; `type` "about:blank" takes the status's reason as
// its title.
nlohmann::json problem(int status, const char* type, const std::string& detail);

// POST /v1/solve, /v1/sample and /v1/check. An unreadable body, a field of
// the wrong type or range, a NUL in a text, or an algorithm text the engine
// cannot take (a character its code page lacks; "field" and "line" tell
// where) is 400; a request that runs past the time limit, or whose values
// grow past max_value_bytes, is 422 with "limit": "time" or "size". The
// limits are checked between engine calls, each of which the engine bounds
// itself.
api_response handle_solve(std::string_view body, const service_limits& limits);
api_response handle_sample(std::string_view body, const service_limits& limits);
api_response handle_check(std::string_view body, const service_limits& limits);

// POST /v1/grade: the variant of a question for a seed as a student sees
// it, and with "responses" (one per part, UTF-8 as the student typed them)
// the verdict on each. Bad input is 400 as above (the seed is required); a
// question the tools cannot grade (the file declares none, the number of
// responses differs from the parts', the variant cannot be made or a
// declared variable fails to solve) is 422 with the tools' message, and
// "field" and "line" where it points.
api_response handle_grade(std::string_view body, const service_limits& limits);

// Takes each piece of a streamed answer in order; false when nobody listens
// any more (the request then stops).
using chunk_sink = std::function<bool(std::string&& piece)>;

// POST /v1/variants: many variants of one algorithm, each solved whole, as
// one JSON document written piece by piece to `sink`. The body is checked
// first: a bad one gets its problem answer and `sink` is never called.
// Otherwise the answer is 200 and everything goes to `sink`; a limit reached
// on the way ends the document with "stopped" (a problem document).
api_response handle_variants(std::string_view body, const service_limits& limits,
                             const chunk_sink& sink);

// GET /v1/capabilities: version, endpoints, limits.
nlohmann::json capabilities(const service_limits& limits, bool token_required);

// The reason phrase of an HTTP status ("Not Found").
const char* status_reason(int status);

}  // namespace cli
