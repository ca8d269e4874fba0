#include "service.h"

#include <initializer_list>
#include <optional>
#include <random>
#include <vector>

#include "algorithm_file.h"
#include "check_command.h"
#include "encoding.h"
#include "sample_command.h"
#include "solve_command.h"
#include "variable_report.h"
#include "zekalg/zekalg.h"

namespace cli {
namespace {

using nlohmann::json;

// A request the service answers with an error document instead.
struct request_error {
  int status;
  json body;
};

[[noreturn]] void reject(const std::string& message) {
  throw request_error{400, {{"error", message}}};
}

json parse_body(std::string_view body) {
  json doc;
  try {
    doc = json::parse(body.begin(), body.end());
  } catch (const json::exception& e) {  // a parse error, or a number out of range
    // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
    std::string what = e.what();
    const std::size_t tag = what.find("] ");
    if (what.starts_with("[json.exception.") && tag != std::string::npos) what.erase(0, tag + 2);
    reject("malformed JSON: " + what);
  }
  if (!doc.is_object()) reject("the body must be a JSON object");
  return doc;
}

void allow_fields(const json& doc, std::initializer_list<const char*> allowed) {
  for (const auto& [key, value] : doc.items()) {
    bool known = false;
    for (const char* name : allowed) known = known || key == name;
    if (!known) {
      std::string list;
      for (const char* name : allowed) list += (list.empty() ? "" : ", ") + std::string(name);
      reject("unknown field '" + key + "' (the fields are " + list + ")");
    }
  }
}

std::optional<std::string> string_field(const json& doc, const char* name, bool required) {
  const auto it = doc.find(name);
  if (it == doc.end() || (!required && it->is_null())) {
    if (required) reject("'" + std::string(name) + "' is missing");
    return std::nullopt;
  }
  if (!it->is_string()) reject("'" + std::string(name) + "' must be a string");
  return it->get<std::string>();
}

std::optional<int64_t> integer_field(const json& doc, const char* name, int64_t least,
                                     int64_t most) {
  const auto it = doc.find(name);
  if (it == doc.end() || it->is_null()) return std::nullopt;
  const std::string range = " from " + std::to_string(least) + " to " + std::to_string(most);
  if (!it->is_number_integer()) reject("'" + std::string(name) + "' must be an integer" + range);
  // Non-negative numbers parse as unsigned, up to 2^64 - 1.
  const bool above = it->is_number_unsigned() && it->get<uint64_t>() > static_cast<uint64_t>(most);
  const int64_t value = above ? most : it->get<int64_t>();
  if (above || value < least || value > most) reject("'" + std::string(name) + "' must be" + range);
  return value;
}

// A list of texts, each converted to engine bytes.
std::vector<std::string> text_list(const json& doc, const char* name, std::size_t most) {
  std::vector<std::string> texts;
  const auto it = doc.find(name);
  if (it == doc.end() || it->is_null()) return texts;
  if (!it->is_array()) reject("'" + std::string(name) + "' must be a list of strings");
  if (it->size() > most) {
    reject("'" + std::string(name) + "' may hold at most " + std::to_string(most) + " entries");
  }
  for (std::size_t i = 0; i < it->size(); ++i) {
    const json& entry = (*it)[i];
    const std::string where = std::string(name) + "[" + std::to_string(i) + "]";
    if (!entry.is_string()) reject("'" + where + "' must be a string");
    try {
      texts.push_back(utf8_to_cp1252(entry.get_ref<const std::string&>()));
    } catch (const encoding_error& e) {
      reject("'" + where +
             "': " + std::string(e.what()).substr(0, std::string(e.what()).find(" (")));
    }
  }
  return texts;
}

// The algorithm text of `field` as the engine takes it; a text it cannot
// take is 422 with the line.
std::optional<algorithm_file> algorithm_field(const json& doc, const char* field, const char* name,
                                              bool required) {
  const std::optional<std::string> text = string_field(doc, field, required);
  if (!text) return std::nullopt;
  try {
    return algorithm_from_text(name, *text, encoding::utf8);
  } catch (const text_error& e) {
    // The reason without the command's hints about files and options.
    const std::string reason = e.reason.substr(0, e.reason.find(" ("));
    throw request_error{
        422,
        {{"error", std::string(field) + " line " + std::to_string(e.line) + ": " + reason},
         {"field", field},
         {"line", e.line}}};
  }
}

const char* source_of(std::size_t level) { return level == 0 ? "algorithm" : "base"; }

const char* status_of(int32_t status) {
  return status == ZEKALG_OK ? "ok" : status == ZEKALG_ERROR_ALGORITHM ? "error" : "unknown";
}

// The time and the bytes of values one request may take, asked between
// engine calls.
class request_guard {
 public:
  explicit request_guard(const service_limits& limits)
      : limits_(limits), until_(std::chrono::steady_clock::now() + limits.time_limit) {}

  bool operator()(std::size_t held) {
    if (std::chrono::steady_clock::now() > until_) {
      reached_ = "time";
    } else if (held > limits_.max_value_bytes) {
      reached_ = "size";
    }
    return reached_ == nullptr;
  }

  // 422, telling how far the request got.
  [[noreturn]] void refuse(const std::string& progress) const {
    const std::string what =
        std::string(reached_) == "time"
            ? "time limit of " + std::to_string(limits_.time_limit.count()) + " ms reached"
            : "the values came to more than " + std::to_string(limits_.max_value_bytes) + " bytes";
    throw request_error{422, {{"error", what + " " + progress}, {"limit", reached_}}};
  }

 private:
  const service_limits& limits_;
  std::chrono::steady_clock::time_point until_;
  const char* reached_ = nullptr;
};

uint32_t chosen_seed(const json& doc) {
  if (const auto seed = integer_field(doc, "seed", -2147483648LL, 4294967295LL)) {
    return seed_from_option(*seed);
  }
  return std::random_device{}();
}

template <typename Handler>
api_response answer(std::string_view body, const Handler& handler) {
  try {
    return {200, handler(parse_body(body))};
  } catch (const request_error& e) {
    return {e.status, e.body};
  }
}

}  // namespace

api_response handle_solve(std::string_view body, const service_limits& limits) {
  return answer(body, [&](const json& doc) {
    allow_fields(doc, {"algorithm", "base", "seed", "requests"});
    const std::optional<algorithm_file> file =
        algorithm_field(doc, "algorithm", kAlgorithmName, true);
    const std::optional<algorithm_file> base = algorithm_field(doc, "base", kBaseName, false);
    const std::vector<std::string> requests = text_list(doc, "requests", limits.max_requests);
    const uint32_t seed = chosen_seed(doc);

    request_guard guard(limits);
    const variant_result variant =
        solve_variant(*file, base ? &*base : nullptr, seed, requests,
                      [&guard](std::size_t held) { return guard(held); });
    if (variant.stopped) {
      guard.refuse("after " + std::to_string(variant.results.size()) + " of " +
                   std::to_string(variant.named ? variable_names(*file).size() : requests.size()) +
                   " requests");
    }
    json out = {{"seed", seed}, {"created", !variant.creation_error}};
    if (variant.creation_error) {
      const placed_message& e = *variant.creation_error;
      out["error"] = {
          {"text", cp1252_to_utf8(e.message)}, {"source", source_of(e.level)}, {"line", e.line}};
      return out;
    }
    json results = json::array();
    for (const request_result& r : variant.results) {
      json entry = {{"request", cp1252_to_utf8(r.request)},
                    {"status", status_of(r.status)},
                    {"text", cp1252_to_utf8(r.text)}};
      if (r.status != ZEKALG_OK && r.line > 0) {
        entry["source"] = source_of(r.level);
        entry["line"] = r.line;
      }
      results.push_back(std::move(entry));
    }
    out["results"] = std::move(results);
    if (variant.named) {
      json errors = json::array();
      for (const variable_error& e : variant.report.errors) {
        errors.push_back({{"variable", cp1252_to_utf8(e.name)},
                          {"text", cp1252_to_utf8(e.message)},
                          {"source", source_of(e.level)},
                          {"line", e.line}});
      }
      json cascade = json::array();
      for (const std::string& name : variant.report.cascade)
        cascade.push_back(cp1252_to_utf8(name));
      out["failures"] = {{"errors", std::move(errors)}, {"cascade", std::move(cascade)}};
    }
    return out;
  });
}

api_response handle_sample(std::string_view body, const service_limits& limits) {
  return answer(body, [&](const json& doc) {
    allow_fields(doc, {"algorithm", "base", "seed", "count", "variables"});
    const std::optional<algorithm_file> file =
        algorithm_field(doc, "algorithm", kAlgorithmName, true);
    const std::optional<algorithm_file> base = algorithm_field(doc, "base", kBaseName, false);
    const int64_t count = integer_field(doc, "count", 1, limits.max_count).value_or(20);
    const std::vector<std::string> wanted = text_list(doc, "variables", 10000);
    const uint32_t seed = chosen_seed(doc);
    std::size_t missing = 0;
    std::optional<std::vector<std::string>> names = sample_variables(*file, wanted, missing);
    if (!names) {
      reject("'variables': no variable '" + cp1252_to_utf8(wanted[missing]) + "' is defined");
    }
    request_guard guard(limits);
    const sample_result sample =
        sample_variants(*file, base ? &*base : nullptr, std::move(*names), count, seed,
                        [&guard](int64_t, std::size_t held) { return guard(held); });
    if (sample.stopped) {
      guard.refuse("after " + std::to_string(sample.rows.size()) + " of " + std::to_string(count) +
                   " variants; ask for fewer");
    }
    json out = sample_json(sample, *file, base ? &*base : nullptr);
    out["seconds"] = sample.seconds;
    return out;
  });
}

api_response handle_check(std::string_view body, const service_limits& limits) {
  return answer(body, [&](const json& doc) {
    allow_fields(doc, {"algorithm", "base"});
    const std::optional<algorithm_file> file =
        algorithm_field(doc, "algorithm", kAlgorithmName, true);
    const std::optional<algorithm_file> base = algorithm_field(doc, "base", kBaseName, false);
    request_guard guard(limits);
    bool stopped = false;
    const std::vector<diagnostic> found = check_algorithm(
        *file, limits.check_creations, base ? &*base : nullptr,
        [&guard](std::size_t held) { return guard(held); }, &stopped);
    if (stopped) guard.refuse("during the trial creations");
    json diagnostics = json::array();
    int errors = 0;
    for (const diagnostic& d : found) {
      errors += d.error ? 1 : 0;
      diagnostics.push_back({{"line", d.line},
                             {"severity", d.error ? "error" : "warning"},
                             {"message", cp1252_to_utf8(d.text)}});
    }
    const auto total = static_cast<int>(diagnostics.size());
    return json{
        {"diagnostics", std::move(diagnostics)}, {"errors", errors}, {"warnings", total - errors}};
  });
}

json capabilities(const service_limits& limits, bool token_required) {
  return {{"version", std::to_string(ZEKALG_VERSION_MAJOR) + "." +
                          std::to_string(ZEKALG_VERSION_MINOR) + "." +
                          std::to_string(ZEKALG_VERSION_PATCH)},
          {"endpoints", {"/v1/solve", "/v1/sample", "/v1/check", "/v1/capabilities", "/v1/health"}},
          {"encoding", "UTF-8; texts the engine's Windows-1252 bytes cannot hold are refused"},
          {"seed", {{"min", -2147483648LL}, {"max", 4294967295LL}}},
          {"limits",
           {{"max_body_bytes", limits.max_body},
            {"max_count", limits.max_count},
            {"max_requests", limits.max_requests},
            {"time_limit_ms", limits.time_limit.count()},
            {"max_value_bytes", limits.max_value_bytes},
            {"check_creations", limits.check_creations}}},
          {"token_required", token_required}};
}

}  // namespace cli
