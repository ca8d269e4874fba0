#include "algorithm/call_context.h"

#include "algorithm/user_functions.h"
#include "base/errors.h"
#include "expr/limits.h"
#include "expr/translation_store.h"

call_context::call_context(alg_environment& env, translation_store& translations)
    : translations_(translations), draws_(env.draws), forms_(process_fast_forms()) {
  chain_.push_back({&env, {}, env.solving.load(std::memory_order_relaxed) != 0});
}

void call_context::mark_solving(uint32_t position) noexcept {
  link& l = chain_[position];
  l.solving = true;
  if (l.environment->solving.load(std::memory_order_relaxed) == 0) {
    l.environment->solving.store(1, std::memory_order_relaxed);
  }
}

bool call_context::reaches_further(uint32_t position) {
  while (position >= chain_.size()) {
    alg_environment* next = chain_.back().environment->live_base();
    if (next == nullptr) return false;
    chain_.push_back({next, {}, next->solving.load(std::memory_order_relaxed) != 0});
  }
  return true;
}

uint32_t call_context::chain_length() {
  while (reaches(static_cast<uint32_t>(chain_.size()))) {
  }
  return static_cast<uint32_t>(chain_.size());
}

void call_context::work_limit_reached() { throw z_x_work_limit(); }

bool call_context::being_evaluated(uint32_t position, uint32_t record) const noexcept {
  for (size_t i = marks_.size(); i-- > 0;) {
    if (marks_[i].position == position && marks_[i].record == record) return true;
  }
  return false;
}

alg_value env_frame::value_of(const alg_string& name) {
  ++call_.effects;
  return resolve_name(*this, name);
}

alg_value env_frame::value_of_lowered(const alg_string& name, const alg_string& lowered) {
  ++call_.effects;
  return resolve_definition(*this, name, lowered);
}

alg_string env_frame::call_user_function(const alg_string& name, const call_args& args,
                                         uint32_t n) {
  ++call_.effects;
  return ::call_user_function(*this, name, args, n, true);
}

std::shared_ptr<const formula_plan> env_frame::group_plan(const alg_string& field) {
  return call_.translations().group_plan(field);
}

std::shared_ptr<const formula_plan> env_frame::text_plan(const alg_string& text) {
  return call_.translations().plan(text);
}

std::shared_ptr<const formula_plan> env_frame::expansion_plan(const alg_string& text) {
  return call_.translations().expansion_plan(text);
}

const function_template* env_frame::local_function(const alg_string& name) {
  return local_function_template(*this, name);
}

int32_t env_frame::nesting_limit() const {
  return solving() ? solve_nesting_limit : build_nesting_limit;
}
