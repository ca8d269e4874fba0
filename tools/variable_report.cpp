#include "variable_report.h"

#include <algorithm>
#include <memory>
#include <set>

#include "algorithm/call_context.h"
#include "algorithm/definitions.h"
#include "algorithm/environment.h"
#include "api/engine_state.h"
#include "api/registry.h"
#include "base/errors.h"
#include "tools/check.h"
#include "tools/variant.h"

namespace tools {
namespace {

// One variable whose resolution failed during the walk.
struct walked_failure {
  std::size_t level = 0;
  uint32_t record = 0;  // index in its environment's table
  std::string key;      // lowered name
  std::string name;
  std::string message;
  std::string context;  // lowered name of the variable or function the message is about
};

// Resolves, as a solve does (base environments first, then definition
// order), every variable that is not computed yet, each in a call of its
// own, and keeps going past failures. In the environment itself it stops
// after `last` (lowered; empty: every variable).
std::vector<walked_failure> resolve_each(alg_environment& env, const std::string& last) {
  translation_store& translations = the_engine().translations;
  call_context chain(env, translations);
  std::vector<walked_failure> failures;
  for (uint32_t p = chain.chain_length(); p-- > 0;) {
    alg_environment& e = chain.environment(p);
    chain.mark_solving(p);
    std::set<std::string> seen;
    for (uint32_t i = 1; i <= e.definition_count(); ++i) {
      const definition_record& record = e.record(i);
      if (!record.is_variable()) continue;
      const std::string name(variable_name(record).view());
      const std::string key = lowered(name);
      if (!seen.insert(key).second) continue;  // a lookup only finds the first
      if (!e.state(i).is_computed()) {
        call_context call(env, translations);
        (void)call.reaches(p);
        env_frame frame(call, p);
        try {
          (void)resolve_name(frame, alg_string(name));
        } catch (const z_x_algorithm& error) {
          failures.push_back({p, i, key, name, std::string(error.message.view()),
                              lowered(std::string(error.context.view()))});
        } catch (...) {
          failures.push_back({p, i, key, name, "Unknown error occurred.", ""});
        }
      }
      if (p == 0 && !last.empty() && key == last) return failures;
    }
  }
  return failures;
}

int line_of_record(const algorithm_file* file, uint32_t record) {
  return file != nullptr && record >= 1 && record <= file->lines.size()
             ? file->lines[record - 1].number
             : 0;
}

}  // namespace

failure_report explain_failures(const zekalg::environment& env,
                                const std::vector<const algorithm_file*>& files,
                                const std::vector<solved_name>& solved) {
  const std::shared_ptr<alg_environment> engine_env = find_environment(env.id());
  return explain_failures(engine_env.get(), files, solved);
}

failure_report explain_failures(alg_environment* engine_env,
                                const std::vector<const algorithm_file*>& files,
                                const std::vector<solved_name>& solved) {
  failure_report report;
  const algorithm_file* own = files.empty() ? nullptr : files[0];

  // The last requested variable in definition order bounds the walk.
  std::set<std::string> requested;
  for (const solved_name& s : solved) requested.insert(lowered(s.name));
  std::string last;
  if (own != nullptr) {
    for (const std::string& name : variable_names(*own)) {
      if (requested.count(lowered(name)) != 0) last = lowered(name);
    }
  }
  const std::vector<walked_failure> walked =
      engine_env != nullptr ? resolve_each(*engine_env, last) : std::vector<walked_failure>{};

  // A failure whose message is about another variable that fails too shows
  // that variable's error: it is told where a solve first meets it, and
  // belongs to that variable. The name is looked up as a formula looks it
  // up: in the failing variable's environment first, then down its bases.
  const auto shown = [&](const walked_failure& f) {
    const walked_failure* at = &f;
    for (std::size_t step = 0; step < walked.size(); ++step) {
      const walked_failure* found = nullptr;
      for (const walked_failure& o : walked) {
        if (o.key == at->context && o.level >= at->level &&
            (found == nullptr || o.level < found->level)) {
          found = &o;
        }
      }
      if (found == nullptr || found == at) break;
      at = found;
    }
    return at;
  };
  std::set<std::pair<std::size_t, std::string>> told;  // level, message
  std::set<std::string> explained;                     // level 0 keys whose own error is told
  for (const walked_failure& f : walked) {
    const walked_failure* owner = shown(f);
    if (!told.emplace(owner->level, owner->message).second) continue;
    if (owner->level == 0) explained.insert(owner->key);
    const algorithm_file* file = owner->level < files.size() ? files[owner->level] : nullptr;
    int line = file != nullptr ? file->line_of_message(owner->message) : 0;
    if (line == 0) line = line_of_record(file, owner->record);
    report.errors.push_back({owner->level, line, owner->name, owner->message});
  }

  const solved_name* first_failed = nullptr;
  std::set<std::string> listed;
  std::vector<std::pair<int, std::string>> cascade;  // definition line, name
  for (const solved_name& s : solved) {
    if (!s.error) continue;
    if (first_failed == nullptr) first_failed = &s;
    const std::string key = lowered(s.name);
    if (explained.count(key) != 0 || !listed.insert(key).second) continue;
    cascade.emplace_back(own != nullptr ? own->line_of_name(s.name) : 0, s.name);
  }
  std::stable_sort(cascade.begin(), cascade.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [line, name] : cascade) report.cascade.push_back(std::move(name));

  // Nothing walked fails again (an error that depends on chance): the
  // first failed request's own message is the one to tell.
  if (report.errors.empty() && first_failed != nullptr) {
    int line = own != nullptr ? own->line_of_message(*first_failed->error) : 0;
    if (line == 0 && own != nullptr) line = own->line_of_name(first_failed->name);
    report.errors.push_back({0, line, first_failed->name, *first_failed->error});
    report.cascade.erase(
        std::remove(report.cascade.begin(), report.cascade.end(), first_failed->name),
        report.cascade.end());
  }
  return report;
}

std::string name_list(const std::vector<std::string>& names, encoding enc) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += from_engine(names[i], enc);
  }
  return text;
}

std::string cascade_sentence(const std::vector<std::string>& names, std::size_t errors,
                             encoding enc) {
  return name_list(names, enc) + (names.size() == 1 ? " fails" : " fail") +
         " only because of the " + (errors == 1 ? "error" : "errors") + " above";
}

void print_failure_report(const failure_report& report,
                          const std::vector<const algorithm_file*>& files, encoding enc,
                          std::ostream& err) {
  for (const variable_error& e : report.errors) {
    const algorithm_file* file = e.level < files.size() ? files[e.level] : files.front();
    err << file->where(e.line) << "error: " << from_engine(e.message, enc) << '\n';
  }
  if (report.cascade.empty()) return;
  err << files.front()->where(0)
      << "note: " << cascade_sentence(report.cascade, report.errors.size(), enc)
      << " (a host that solves " << (report.cascade.size() == 1 ? "it" : "them")
      << " gets the first error)\n";
}

void print_name_traps(const algorithm_file& file, encoding enc, std::ostream& err) {
  for (const diagnostic& d : text_traps(file)) {
    err << file.where(d.line, d.column) << "warning: " << from_engine(d.text, enc) << '\n';
  }
  for (const diagnostic& d : name_traps(file)) {
    err << file.where(d.line) << "warning: " << from_engine(d.text, enc) << '\n';
  }
}

}  // namespace tools
