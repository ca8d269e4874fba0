#include "solve_command.h"

#include <set>

#include "zekalg/zekalg.hpp"

namespace cli {

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

int run_solve(const solve_options& options, std::ostream& out, std::ostream& err) {
  const algorithm_file file = load_algorithm_file(options.file, options.enc);
  std::vector<std::string> requests;
  for (std::size_t i = 0; i < options.requests.size(); ++i) {
    try {
      requests.push_back(to_engine(options.requests[i], options.enc));
    } catch (const encoding_error& e) {
      throw command_error("request " + std::to_string(i + 1) + ": " + e.what());
    }
  }

  if (options.seed) zekalg::seed(seed_from_option(*options.seed));
  zekalg::environment base;
  if (!options.base_file.empty()) {
    const algorithm_file base_file = load_algorithm_file(options.base_file, options.enc);
    try {
      base = zekalg::environment(base_file.text);
    } catch (const zekalg::error& e) {
      err << base_file.where(base_file.line_of_message(e.what()))
          << "error: " << from_engine(e.what(), options.enc) << '\n';
      return 1;
    }
  }
  zekalg::environment env;
  try {
    env = zekalg::environment(file.text, &base);
  } catch (const zekalg::error& e) {
    err << file.where(file.line_of_message(e.what())) << "error: "
        << from_engine(e.what(), options.enc) << '\n';
    return 1;
  }

  const bool named = requests.empty();
  if (named) requests = variable_names(file);
  int status = 0;
  std::string result;
  for (const std::string& request : requests) {
    try {
      env.solve_into(request, result);
    } catch (const zekalg::error& e) {
      // A message that names a definition points at its line; any other is
      // about the request itself.
      const int line = file.line_of_message(e.what());
      err << file.where(line) << "error: ";
      if (line == 0) err << "request '" << from_engine(request, options.enc) << "': ";
      err << from_engine(e.what(), options.enc) << '\n';
      status = 1;
      continue;
    }
    if (named) out << from_engine(request, options.enc) << " = ";
    out << from_engine(result, options.enc) << '\n';
  }
  return status;
}

}  // namespace cli
