#include "service.h"

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <optional>
#include <random>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/check.h"
#include "tools/documents.h"
#include "tools/encoding.h"
#include "tools/grading.h"
#include "tools/json_writer.h"
#include "tools/ordered_work.h"
#include "tools/sampling.h"
#include "tools/variable_report.h"
#include "tools/variant.h"
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
  throw request_error{400, problem(400, kProblemInvalidRequest, message)};
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

// A list of texts as sent (UTF-8), each a string without a NUL; nothing
// when the field is absent. A student's answer stays UTF-8 (it may hold
// characters the engine's code page lacks: the grading reads them as typed).
std::optional<std::vector<std::string>> utf8_list(const json& doc, const char* name,
                                                  std::size_t most) {
  const auto it = doc.find(name);
  if (it == doc.end() || it->is_null()) return std::nullopt;
  if (!it->is_array()) reject("'" + std::string(name) + "' must be a list of strings");
  if (it->size() > most) {
    reject("'" + std::string(name) + "' may hold at most " + std::to_string(most) + " entries");
  }
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < it->size(); ++i) {
    const json& entry = (*it)[i];
    const std::string where = std::string(name) + "[" + std::to_string(i) + "]";
    if (!entry.is_string()) reject("'" + where + "' must be a string");
    if (entry.get_ref<const std::string&>().find('\0') != std::string::npos) {
      reject("'" + where + "' holds a NUL character");
    }
    texts.push_back(entry.get<std::string>());
  }
  return texts;
}

// The same list, each text converted to engine bytes.
std::vector<std::string> text_list(const json& doc, const char* name, std::size_t most) {
  std::vector<std::string> texts;
  const std::optional<std::vector<std::string>> sent = utf8_list(doc, name, most);
  if (!sent) return texts;
  for (std::size_t i = 0; i < sent->size(); ++i) {
    try {
      texts.push_back(utf8_to_cp1252((*sent)[i]));
    } catch (const encoding_error& e) {
      reject("'" + std::string(name) + "[" + std::to_string(i) +
             "]': " + std::string(e.what()).substr(0, std::string(e.what()).find(" (")));
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
    json body = problem(400, kProblemText,
                        std::string(field) + " line " + std::to_string(e.line) + ": " + reason);
    body["field"] = field;
    body["line"] = e.line;
    throw request_error{400, std::move(body)};
  }
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
    json body = problem(422, kProblemLimit, what + " " + progress);
    body["limit"] = reached_;
    throw request_error{422, std::move(body)};
  }

 private:
  const service_limits& limits_;
  std::chrono::steady_clock::time_point until_;
  const char* reached_ = nullptr;
};

bool flag_field(const json& doc, const char* name) {
  const auto it = doc.find(name);
  if (it == doc.end() || it->is_null()) return false;
  if (!it->is_boolean()) reject("'" + std::string(name) + "' must be true or false");
  return it->get<bool>();
}

// One variant of /v1/variants as its JSON object: its seed, and its values
// and the errors of its variables, or the error of its creation. Returns
// whether anything failed.
bool variant_entry(const variant_result& variant, uint32_t seed, bool ascii, std::string& out) {
  json_writer w;
  w.begin_object().field("seed", seed);
  const auto placed_fields = [&](const std::string& message, std::size_t level, int line) {
    w.field("message", cp1252_to_utf8(message));
    if (line > 0) w.field("source", source_of(level)).field("line", line);
  };
  bool failed = false;
  if (variant.creation_error) {
    failed = true;
    const placed_message& e = *variant.creation_error;
    w.field("created", false).key("error").begin_object();
    w.field("message", cp1252_to_utf8(e.message)).field("source", source_of(e.level));
    w.field("line", e.line).end_object();
  } else {
    w.key("values").begin_object();
    for (const request_result& r : variant.results) {
      if (r.status == ZEKALG_OK) w.field(cp1252_to_utf8(r.request), shown_text(r.text, ascii));
    }
    w.end_object();
    for (const request_result& r : variant.results) {
      if (r.status == ZEKALG_OK) continue;
      if (!failed) w.key("errors").begin_object();
      failed = true;
      w.key(cp1252_to_utf8(r.request)).begin_object();
      placed_fields(r.text, r.level, r.line);
      w.end_object();
    }
    if (failed) w.end_object();
  }
  out = w.end_object().take();
  return failed;
}

// The variables named in "variables" (default: all), as the file spells them.
std::vector<std::string> chosen_variables(const json& doc, const algorithm_file& file) {
  const std::vector<std::string> wanted = text_list(doc, "variables", 10000);
  std::size_t missing = 0;
  std::optional<std::vector<std::string>> names = sample_variables(file, wanted, missing);
  if (!names) {
    reject("'variables': no variable '" + cp1252_to_utf8(wanted[missing]) + "' is defined");
  }
  return std::move(*names);
}

uint32_t chosen_seed(const json& doc) {
  if (const auto seed = integer_field(doc, "seed", -2147483648LL, 4294967295LL)) {
    return seed_from_option(*seed);
  }
  return random_seed();
}

// A handler returns the answer's document: JSON, or a tools document
// already written.
template <typename Handler>
api_response answer(std::string_view body, const Handler& handler) {
  try {
    auto made = handler(parse_body(body));
    if constexpr (std::is_same_v<decltype(made), std::string>) {
      return {200, json(), std::move(made)};
    } else {
      return {200, std::move(made), {}};
    }
  } catch (const request_error& e) {
    return {e.status, e.body, {}};
  }
}

}  // namespace

api_response handle_solve(std::string_view body, const service_limits& limits) {
  return answer(body, [&](const json& doc) {
    allow_fields(doc, {"algorithm", "base", "seed", "requests", "ascii_minus"});
    const std::optional<algorithm_file> file =
        algorithm_field(doc, "algorithm", kAlgorithmName, true);
    const std::optional<algorithm_file> base = algorithm_field(doc, "base", kBaseName, false);
    const std::vector<std::string> requests = text_list(doc, "requests", limits.max_requests);
    const bool ascii = flag_field(doc, "ascii_minus");
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
    return with_warnings(variant_json(variant, seed, ascii),
                         text_warnings(*file, base ? &*base : nullptr));
  });
}

api_response handle_sample(std::string_view body, const service_limits& limits) {
  return answer(body, [&](const json& doc) {
    allow_fields(doc, {"algorithm", "base", "seed", "count", "variables", "ascii_minus"});
    const std::optional<algorithm_file> file =
        algorithm_field(doc, "algorithm", kAlgorithmName, true);
    const std::optional<algorithm_file> base = algorithm_field(doc, "base", kBaseName, false);
    const int64_t count = integer_field(doc, "count", 1, limits.max_count).value_or(20);
    const bool ascii = flag_field(doc, "ascii_minus");
    const uint32_t seed = chosen_seed(doc);
    std::vector<std::string> names = chosen_variables(doc, *file);
    request_guard guard(limits);
    const sample_result sample = sample_variants(
        *file, base ? &*base : nullptr, std::move(names), count, seed,
        [&guard](int64_t, std::size_t held) { return guard(held); }, limits.variant_threads);
    if (sample.stopped) {
      guard.refuse("after " + std::to_string(sample.rows.size()) + " of " + std::to_string(count) +
                   " variants; ask for fewer");
    }
    return with_warnings(sample_json(sample, *file, base ? &*base : nullptr, ascii),
                         text_warnings(*file, base ? &*base : nullptr));
  });
}

api_response handle_variants(std::string_view body, const service_limits& limits,
                             const chunk_sink& sink) {
  struct plan {
    algorithm_file file;
    std::optional<algorithm_file> base;
    std::vector<std::string> names;
    std::vector<uint32_t> seeds;  // given ones; else count rows from `seed`
    int64_t count = 0;
    std::optional<uint32_t> seed;
    bool ascii = false;
  };
  std::optional<plan> p;
  const api_response checked = answer(body, [&](const json& doc) {
    allow_fields(doc, {"algorithm", "base", "seeds", "count", "seed", "variables", "ascii_minus"});
    std::optional<algorithm_file> file = algorithm_field(doc, "algorithm", kAlgorithmName, true);
    std::optional<algorithm_file> base = algorithm_field(doc, "base", kBaseName, false);
    plan made{
        std::move(*file), std::move(base), {}, {}, 0, std::nullopt, flag_field(doc, "ascii_minus")};
    made.names = chosen_variables(doc, made.file);
    const auto seeds = doc.find("seeds");
    const bool listed = seeds != doc.end() && !seeds->is_null();
    if (listed) {
      if (doc.contains("count") || doc.contains("seed")) {
        reject("give either 'seeds' or 'count' (with 'seed'), not both");
      }
      if (!seeds->is_array() || seeds->empty() ||
          seeds->size() > static_cast<std::size_t>(limits.max_count)) {
        reject("'seeds' must be a list of 1 to " + std::to_string(limits.max_count) + " integers");
      }
      for (std::size_t i = 0; i < seeds->size(); ++i) {
        const json one = {{"seeds[" + std::to_string(i) + "]", (*seeds)[i]}};
        made.seeds.push_back(seed_from_option(
            *integer_field(one, one.begin().key().c_str(), -2147483648LL, 4294967295LL)));
      }
    } else {
      made.count = integer_field(doc, "count", 1, limits.max_count).value_or(20);
      made.seed = chosen_seed(doc);
    }
    p = std::move(made);
    return json();
  });
  if (checked.status != 200) return checked;

  const std::vector<std::string>& names = p->names;
  const std::size_t total = p->seeds.empty() ? static_cast<std::size_t>(p->count) : p->seeds.size();
  std::string piece = "{";
  if (p->seed) piece += "\"seed\":" + std::to_string(*p->seed) + ",";
  json shown_names = json::array();
  for (const std::string& n : names) shown_names.push_back(cp1252_to_utf8(n));
  piece += "\"variables\":" + shown_names.dump() + ",\"variants\":[";
  // Pieces of about this size go out as they are made.
  constexpr std::size_t kPiece = 32 * 1024;
  request_guard guard(limits);
  const auto until = std::chrono::steady_clock::now() + limits.time_limit;
  int64_t made = 0;
  int64_t failed = 0;
  std::optional<json> stopped;
  // Variants are made on several threads when the service has them to
  // spare and go out in order: the answer does not depend on the number of
  // threads, and writing it overlaps making the next ones.
  struct made_variant {
    std::string entry;  // the JSON object
    bool failed = false;
    bool stopped = false;
    std::size_t held = 0;
  };
  bool sink_closed = false;
  const auto make = [&](int64_t index, made_variant& m, const std::atomic<bool>& stop) {
    const auto i = static_cast<std::size_t>(index);
    const uint32_t seed = p->seeds.empty() ? row_seed(*p->seed, i + 1) : p->seeds[i];
    const variant_result variant =
        solve_variant(p->file, p->base ? &*p->base : nullptr, seed, names, [&](std::size_t h) {
          m.held = h;
          return !stop.load(std::memory_order_relaxed) &&
                 std::chrono::steady_clock::now() <= until && h <= limits.max_value_bytes;
        });
    if (variant.stopped) {
      m.stopped = true;
      return;
    }
    m.failed = variant_entry(variant, seed, p->ascii, m.entry);
  };
  const auto take = [&](made_variant& m) {
    const int64_t k = made + failed;
    if (m.stopped || m.entry.empty() || !guard(m.held + piece.size())) {
      guard(limits.max_value_bytes + 1);  // names the limit when the maker saw it first
      try {
        guard.refuse("after " + std::to_string(k) + " of " + std::to_string(total) +
                     " variants; ask for fewer");
      } catch (const request_error& e) {
        stopped = e.body;
      }
      return false;
    }
    (m.failed ? failed : made) += 1;
    if (k > 0) piece += ',';
    piece += m.entry;
    if (piece.size() >= kPiece) {
      if (!sink(std::move(piece))) {
        sink_closed = true;
        return false;
      }
      piece.clear();
    }
    return true;
  };
  const int threads = std::max(1, limits.variant_threads);
  if (threads == 1) {
    const std::atomic<bool> never{false};
    for (int64_t i = 0; i < static_cast<int64_t>(total); ++i) {
      made_variant m;
      make(i, m, never);
      if (!take(m)) break;
    }
  } else {
    make_in_order<made_variant>(static_cast<int64_t>(total), threads, make, take);
  }
  if (sink_closed) return {200, json(), {}};
  piece += "],\"summary\":" + json{{"made", made}, {"failed", failed}}.dump();
  if (stopped)
    piece += ",\"stopped\":" + stopped->dump(-1, ' ', false, json::error_handler_t::replace);
  piece += "}\n";
  sink(std::move(piece));
  return {200, json(), {}};
}

api_response handle_check(std::string_view body, const service_limits& limits) {
  return answer(body, [&](const json& doc) {
    allow_fields(doc, {"algorithm", "base"});
    const std::optional<algorithm_file> file =
        algorithm_field(doc, "algorithm", kAlgorithmName, true);
    const std::optional<algorithm_file> base = algorithm_field(doc, "base", kBaseName, false);
    request_guard guard(limits);
    bool stopped = false;
    std::optional<variant_count> count;
    const std::vector<diagnostic> found = check_algorithm(
        *file, limits.check_creations, base ? &*base : nullptr,
        [&guard](std::size_t held) { return guard(held); }, &stopped, &count);
    if (stopped) guard.refuse("during the trial creations");
    return check_json(found, -1, count ? &*count : nullptr);
  });
}

// One variant, solved whole: the engine bounds each of its calls, and the
// time limit is not asked between them.
api_response handle_grade(std::string_view body, const service_limits& /*limits*/) {
  return answer(body, [&](const json& doc) {
    allow_fields(doc, {"algorithm", "base", "seed", "responses", "ascii_minus"});
    const std::optional<algorithm_file> file =
        algorithm_field(doc, "algorithm", kAlgorithmName, true);
    const std::optional<algorithm_file> base = algorithm_field(doc, "base", kBaseName, false);
    const std::optional<int64_t> seed = integer_field(doc, "seed", -2147483648LL, 4294967295LL);
    if (!seed) reject("'seed' is missing");
    const std::optional<std::vector<std::string>> responses = utf8_list(doc, "responses", 10000);
    const bool ascii = flag_field(doc, "ascii_minus");
    try {
      return grade_document(*file, base ? &*base : nullptr, seed_from_option(*seed), responses,
                            ascii);
    } catch (const view_error& e) {
      // The question cannot be graded.
      json problem_body = problem(422, kProblemGrade, cp1252_to_utf8(e.where.message));
      if (e.where.line > 0) {
        problem_body["field"] = source_of(e.where.level);
        problem_body["line"] = e.where.line;
      }
      throw request_error{422, std::move(problem_body)};
    }
  });
}

json problem(int status, const char* type, const std::string& detail) {
  const std::string title = std::string(type) == kProblemInvalidRequest ? "The request is not valid"
                            : std::string(type) == kProblemText  ? "A text the engine cannot take"
                            : std::string(type) == kProblemLimit ? "The request reached a limit"
                            : std::string(type) == kProblemGrade ? "The question cannot be graded"
                                                                 : status_reason(status);
  return {{"type", type}, {"title", title}, {"status", status}, {"detail", detail}};
}

const char* status_reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 422:
      return "Unprocessable Content";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

json capabilities(const service_limits& limits, bool token_required) {
  return {{"version", std::to_string(ZEKALG_VERSION_MAJOR) + "." +
                          std::to_string(ZEKALG_VERSION_MINOR) + "." +
                          std::to_string(ZEKALG_VERSION_PATCH)},
          {"endpoints",
           {"/v1/solve", "/v1/sample", "/v1/variants", "/v1/check", "/v1/grade", "/v1/capabilities",
            "/v1/health", "/v1/openapi.json", "/metrics"}},
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
