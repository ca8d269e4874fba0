#include "solve_command.h"

#include <optional>
#include <set>

#include "variable_report.h"
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

bool create_environments(const algorithm_file& file, const algorithm_file* base_file,
                         zekalg::environment& base, zekalg::environment& env, encoding enc,
                         std::ostream& err) {
  const algorithm_file* building = base_file;
  try {
    if (base_file != nullptr) base = zekalg::environment(base_file->text);
    building = &file;
    env = zekalg::environment(file.text, &base);
  } catch (const zekalg::error& e) {
    err << building->where(building->line_of_message(e.what())) << "error: "
        << from_engine(e.what(), enc) << '\n';
    return false;
  }
  return true;
}

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
  std::optional<algorithm_file> base_file;
  if (!options.base_file.empty()) {
    base_file = load_algorithm_file(options.base_file, options.enc);
    print_name_traps(*base_file, options.enc, err);
  }
  print_name_traps(file, options.enc, err);

  if (options.seed) zekalg::seed(seed_from_option(*options.seed));
  zekalg::environment base;
  zekalg::environment env;
  if (!create_environments(file, base_file ? &*base_file : nullptr, base, env, options.enc, err)) {
    return 1;
  }

  const bool named = requests.empty();
  if (named) requests = variable_names(file);
  int status = 0;
  std::vector<solved_name> solved;
  std::string result;
  for (const std::string& request : requests) {
    try {
      env.solve_into(request, result);
    } catch (const zekalg::error& e) {
      status = 1;
      if (named) {
        // Told once each, after every variable was solved.
        solved.push_back({request, e.what()});
        continue;
      }
      // A message that names a definition points at its line; any other is
      // about the request itself.
      const algorithm_file* about = &file;
      int line = file.line_of_message(e.what());
      if (line == 0 && base_file) {
        line = base_file->line_of_message(e.what());
        if (line != 0) about = &*base_file;
      }
      err << about->where(line) << "error: ";
      if (line == 0) err << "request '" << from_engine(request, options.enc) << "': ";
      err << from_engine(e.what(), options.enc) << '\n';
      continue;
    }
    if (named) {
      solved.push_back({request, std::nullopt});
      out << from_engine(request, options.enc) << " = ";
    }
    out << from_engine(result, options.enc) << '\n';
  }
  if (named && status != 0) {
    std::vector<const algorithm_file*> files{&file};
    if (base_file) files.push_back(&*base_file);
    print_failure_report(explain_failures(env, files, solved), files, options.enc, err);
  }
  return status;
}

}  // namespace cli
