#include "tools/variant.h"

#include <algorithm>
#include <optional>
#include <set>

#include "tools/variable_report.h"
#include "zekalg/zekalg.hpp"

namespace tools {

std::vector<std::string> variable_names(const algorithm_file& file) {
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const definition_line& line : file.lines) {
    const std::string& t = line.text;
    if (t.size() < 2 || t[1] != '_' || std::string_view("kqrl").find(t[0]) == std::string::npos) {
      continue;
    }
    const std::size_t bar = t.find('|');
    if (bar == std::string::npos) continue;
    std::string name = t.substr(2, bar - 2);
    if (seen.insert(lowered(name)).second) names.push_back(std::move(name));
  }
  return names;
}

uint32_t seed_from_option(int64_t value) { return static_cast<uint32_t>(value); }

std::optional<placed_message> create_environments(const algorithm_file& file,
                                                  const algorithm_file* base_file,
                                                  zekalg::environment& base,
                                                  zekalg::environment& env) {
  const algorithm_file* building = base_file;
  try {
    if (base_file != nullptr) base = zekalg::environment(base_file->text);
    building = &file;
    env = zekalg::environment(file.text, &base);
  } catch (const zekalg::error& e) {
    return placed_message{building == &file ? 0u : 1u, building->line_of_message(e.what()),
                          e.what()};
  }
  return std::nullopt;
}

void print_creation_error(const placed_message& error,
                          const std::vector<const algorithm_file*>& files, encoding enc,
                          std::ostream& err) {
  const algorithm_file* at = error.level < files.size() ? files[error.level] : files.front();
  err << at->where(error.line) << "error: " << from_engine(error.message, enc) << '\n';
}

variant_result solve_variant(const algorithm_file& file, const algorithm_file* base_file,
                             std::optional<uint32_t> seed, const std::vector<std::string>& requests,
                             const solve_guard& keep_going) {
  variant_result variant;
  if (seed) zekalg::seed(*seed);
  zekalg::environment base;
  zekalg::environment env;
  variant.creation_error = create_environments(file, base_file, base, env);
  if (variant.creation_error) return variant;

  variant.named = requests.empty();
  const std::vector<std::string> names = variant.named ? variable_names(file) : requests;
  std::vector<solved_name> solved;
  std::string result;
  bool failed = false;
  std::size_t held = 0;
  for (const std::string& request : names) {
    if (keep_going && !keep_going(held)) {
      variant.stopped = true;
      return variant;
    }
    request_result& r = variant.results.emplace_back();
    r.request = request;
    try {
      env.solve_into(request, result);
      r.text = result;
      held += result.size();
      solved.push_back({request, std::nullopt});
    } catch (const zekalg::error& e) {
      failed = true;
      r.status = e.status();
      r.text = e.what();
      solved.push_back({request, r.text});
      // A message that names a definition points at its line; any other is
      // about the request itself.
      r.line = file.line_of_message(r.text);
      if (r.line == 0 && base_file != nullptr) {
        r.line = base_file->line_of_message(r.text);
        if (r.line != 0) r.level = 1;
      }
    }
  }
  if (variant.named && failed) {
    std::vector<const algorithm_file*> files{&file};
    if (base_file != nullptr) files.push_back(base_file);
    variant.report = explain_failures(env, files, solved);
  }
  return variant;
}

int print_variant(const variant_result& variant, const std::vector<const algorithm_file*>& files,
                  encoding enc, bool label_requests, std::ostream& out, std::ostream& err) {
  if (variant.creation_error) {
    print_creation_error(*variant.creation_error, files, enc, err);
    return 1;
  }
  int status = 0;
  for (const request_result& r : variant.results) {
    if (r.status != ZEKALG_OK) {
      status = 1;
      if (variant.named) continue;  // told once each, after every variable
      const algorithm_file* about = files[std::min(r.level, files.size() - 1)];
      err << about->where(r.line) << "error: ";
      if (r.line == 0) err << "request '" << from_engine(r.request, enc) << "': ";
      err << from_engine(r.text, enc) << '\n';
      continue;
    }
    if (variant.named || label_requests) out << from_engine(r.request, enc) << " = ";
    out << from_engine(r.text, enc) << '\n';
  }
  if (variant.named && status != 0) print_failure_report(variant.report, files, enc, err);
  return status;
}

}  // namespace tools
