// call_context: everything one host call owns while it runs in an
// environment, so that calls on other threads never see it: the chain of
// environments it sees (read as far as the call needs; a base killed
// meanwhile stays in view once the call has reached it, and the chain is
// held alive by its first environment), the nesting depths and limits of
// each, the definitions being evaluated, the result format left by the last
// variable it resolved, its count of user-function expansions and its work.
// Its draws come from its first environment's stream.
//
// env_frame: one environment of that chain as the evaluator's scope.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "algorithm/definitions.h"
#include "algorithm/environment.h"
#include "base/random_generator.h"
#include "expr/fast_forms.h"
#include "expr/limits.h"
#include "expr/plan_hooks.h"
#include "expr/scope.h"

class translation_store;

// A stack whose first N elements live inside it, so that the short chains
// and shallow evaluations of almost every call allocate nothing. A push may
// move the elements past the first N: hold no reference across one.
template <typename T, size_t N>
class inline_stack {
 public:
  size_t size() const noexcept { return size_; }
  T& operator[](size_t i) noexcept { return i < N ? inline_[i] : more_[i - N]; }
  const T& operator[](size_t i) const noexcept { return i < N ? inline_[i] : more_[i - N]; }
  T& back() noexcept { return (*this)[size_ - 1]; }
  void push_back(const T& value) {
    if (size_ < N) {
      inline_[size_] = value;
    } else {
      more_.push_back(value);
    }
    ++size_;
  }
  void pop_back() noexcept {
    if (--size_ >= N) more_.pop_back();
  }

 private:
  std::array<T, N> inline_{};
  std::vector<T> more_;
  size_t size_ = 0;
};

// Told about each attempt of a build and each condition it checks; lets a
// tool measure conditions with the engine's own loop.
class build_observer {
 public:
  virtual void attempt_started() {}
  // The condition at `position` (0 for the first "c_" line) is about to be
  // evaluated; then, unless the evaluation fails, whether it held.
  virtual void condition_reached(uint32_t position) { (void)position; }
  virtual void condition_checked(uint32_t position, bool held) { (void)position, (void)held; }

 protected:
  ~build_observer() = default;
};

class call_context {
 public:
  // A call in `env`, which the caller keeps alive; its chain runs down the
  // live base environments.
  call_context(alg_environment& env, translation_store& translations);

  translation_store& translations() const noexcept { return translations_; }
  // Whether the chain has an environment at `position` (0 is the call's own).
  bool reaches(uint32_t position) { return position < chain_.size() || reaches_further(position); }
  // The length of the whole chain.
  uint32_t chain_length();
  // The environment at `position`, which the chain reaches.
  alg_environment& environment(uint32_t position) const noexcept {
    return *chain_[position].environment;
  }
  nesting_depths& depths(uint32_t position) noexcept { return chain_[position].depths; }
  // Whether the environment at `position` is solved in: it was when the
  // call reached it, or the call is a solve (mark_solving). Chooses the
  // call's nesting limit there and how it expands user functions; another
  // call running meanwhile never changes it.
  bool solving(uint32_t position) const noexcept { return chain_[position].solving; }
  // Marks the environment at `position` as solved in, for this call and the
  // calls that reach it later.
  void mark_solving(uint32_t position) noexcept;
  int64_t& expansions() noexcept { return expansions_; }
  // Counts work; past the limit it throws z_x_work_limit.
  void spend(uint64_t bytes) {
    work_ += bytes;
    if (work_ > static_cast<uint64_t>(max_work_per_call)) work_limit_reached();
  }
  uint64_t work() const noexcept { return work_; }
  format_settings& format() noexcept { return format_; }
  // The fast forms the call's evaluations may take: the process's choice
  // when the call started.
  const fast_forms& forms() const noexcept { return forms_; }
  build_observer* observer = nullptr;
  // Steps whose outcome may depend on more than a call's arguments (see
  // scope::effects).
  uint64_t effects = 0;

  // Marks the definition `record` of the environment at `position` as being
  // evaluated by this call until the mark goes; being_evaluated tells
  // whether it already is (the definition refers to itself).
  class evaluation_mark {
   public:
    evaluation_mark(call_context& call, uint32_t position, uint32_t record) : call_(call) {
      call_.marks_.push_back({position, record});
    }
    ~evaluation_mark() { call_.marks_.pop_back(); }
    evaluation_mark(const evaluation_mark&) = delete;
    evaluation_mark& operator=(const evaluation_mark&) = delete;

   private:
    call_context& call_;
  };
  bool being_evaluated(uint32_t position, uint32_t record) const noexcept;

 private:
  bool reaches_further(uint32_t position);
  [[noreturn]] static void work_limit_reached();

  translation_store& translations_;
  stream_binding draws_;
  struct link {
    alg_environment* environment;
    nesting_depths depths;
    bool solving;
  };
  struct mark {
    uint32_t position;
    uint32_t record;
  };
  inline_stack<link, 4> chain_;  // the environments reached so far
  inline_stack<mark, 16> marks_;
  int64_t expansions_ = 0;
  uint64_t work_ = 0;
  format_settings format_;
  fast_forms forms_;
};

// An environment of a call's chain, as the scope its formulas see, with
// the hooks its plans use.
class env_frame final : public scope, public plan_hooks {
 public:
  env_frame(call_context& call, uint32_t position) noexcept : call_(call), position_(position) {
    forms_ = call.forms();
    plans_ = this;
  }

  call_context& call() const noexcept { return call_; }
  uint32_t position() const noexcept { return position_; }
  alg_environment& environment() const noexcept { return call_.environment(position_); }
  bool solving() const noexcept { return call_.solving(position_); }
  // Whether the chain goes on below this environment.
  bool has_base() const { return call_.reaches(position_ + 1); }

  alg_value value_of(const alg_string& name) override;
  alg_value value_of_lowered(const alg_string& name, const alg_string& lowered) override;
  alg_string call_user_function(const alg_string& name, const call_args& args, uint32_t n) override;
  nesting_depths& depths() override { return call_.depths(position_); }
  int32_t nesting_limit() const override;
  int64_t& expansions() override { return call_.expansions(); }
  void spend(uint64_t bytes) override { call_.spend(bytes); }
  std::shared_ptr<const formula_plan> group_plan(const alg_string& field) override;
  std::shared_ptr<const formula_plan> text_plan(const alg_string& text) override;
  std::shared_ptr<const formula_plan> expansion_plan(const alg_string& text) override;
  const function_template* local_function(const alg_string& name) override;
  call_memo* memo() override { return &environment().image->memo; }
  uint64_t effects() const override { return call_.effects; }
  void note_effect() override { ++call_.effects; }
  uint64_t work_spent() const override { return call_.work(); }

 private:
  call_context& call_;
  uint32_t position_;
};
