#include "expr/formula_plan.h"

#include <memory>
#include <vector>

#include "base/errors.h"
#include "expr/operand.h"
#include "expr/plan_detail.h"
#include "expr/translator.h"
#include "value/literal_codec.h"

// Function templates: a user function's formula compiled once with its
// parameters as slots, and the arguments that fill them.

std::shared_ptr<const function_template> make_function_template(const alg_array<alg_string>& fields,
                                                                uint64_t serial) {
  if (fields.count() < 1) return nullptr;
  auto made = std::make_shared<function_template>();
  made->serial = serial;
  for (uint32_t k = 2; k <= fields.high(); ++k) {
    const alg_string parameter = fields[k].lower();
    for (const char c : parameter.view()) {
      if (ends_word(c) || c == '\0') return nullptr;
    }
    if (spelled_like_token(parameter.view())) return nullptr;
    made->parameters.push_back(parameter);
  }
  made->formula_length = fields[1].length();
  made->plan = formula_plan::compile(alg_string("(") + fields[1] + ")", 0, &made->parameters);
  if (made->plan == nullptr) return nullptr;
  made->occurrences.assign(made->parameters.size(), 0);
  for (const formula_plan::slot& at : made->plan->slots()) ++made->occurrences[at.parameter];
  return made;
}

bool slots_fill_alone(const function_template& function, const slot_values& slots) {
  const std::vector<alg_string>& parameters = function.parameters;
  for (uint32_t k = 0; k + 1 < parameters.size(); ++k) {
    bool replaced_again = false;
    for_each_parameter_word(
        slots.literal(k).view(), parameters, [&](size_t, size_t) { replaced_again = true; }, k + 1);
    if (replaced_again) return false;
  }
  return true;
}

slot_values::slot_values(const call_args& args) : args_(args) {
  const uint32_t n = args.count();
  reads_.resize(n);
  lengths_.resize(n);
  literals_.resize(n);
  written_.assign(n, 0);
  for (uint32_t k = 0; k < n; ++k) reads_[k] = literal_read_back(args[k + 1], &lengths_[k]);
}

const alg_string& slot_values::literal(uint32_t k) const {
  if (written_[k] == 0) {
    literals_[k] = literal_text(args_[k + 1]);
    written_[k] = 1;
  }
  return literals_[k];
}

uint64_t template_expansion_length(scope& s, const function_template& function,
                                   const slot_values& slots) {
  const std::vector<alg_string>& parameters = function.parameters;
  uint64_t length = function.formula_length;
  for (uint32_t k = 0; k < parameters.size(); ++k) {
    if (parameters[k].empty()) continue;
    s.spend(length);
    if (slots.length(k) > max_text_length) throw z_x_outofstringspace();
    length = length + uint64_t{function.occurrences[k]} * slots.length(k) -
             uint64_t{function.occurrences[k]} * parameters[k].length();
    if (length > max_text_length) throw z_x_outofstringspace();
  }
  if (length + 2 > max_text_length) throw z_x_outofstringspace();
  return length;
}
