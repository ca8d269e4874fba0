#include "api/engine_state.h"

#include <cstdlib>
#include <string_view>

#include "expr/call_memo.h"
#include "expr/fast_forms.h"

namespace {

uint8_t bits_of(fast_forms f) {
  return static_cast<uint8_t>((f.plans ? 1 : 0) | (f.sweep ? 2 : 0) |
                              (f.groups_in_one_pass ? 4 : 0) |
                              (f.conditionals_in_one_pass ? 8 : 0));
}
fast_forms forms_of(uint8_t bits) {
  return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

}  // namespace

engine_state::engine_state() {
  const char* reference = std::getenv("ZEKALG_REFERENCE_EVALUATOR");
  const std::string_view value = reference != nullptr ? reference : "";
  fast_forms forms;  // unset, empty or "0": every fast form
  if (value == "plans") {
    forms.plans = false;
  } else if (!value.empty() && value != "0") {
    forms = fast_forms::none();
  }
  fast_forms_bits.store(bits_of(forms), std::memory_order_relaxed);
}

// What the layers below reach of the state without holding it.

fast_forms process_fast_forms() {
  return forms_of(the_engine().fast_forms_bits.load(std::memory_order_relaxed));
}
void set_process_fast_forms(fast_forms forms) {
  the_engine().fast_forms_bits.store(bits_of(forms), std::memory_order_relaxed);
}
bool formula_plans_enabled() { return process_fast_forms().plans; }
void set_formula_plans_enabled(bool on) {
  fast_forms forms = process_fast_forms();
  forms.plans = on;
  set_process_fast_forms(forms);
}

std::atomic<size_t>& kept_call_bytes() noexcept { return the_engine().kept_call_bytes; }

uint32_t next_thread_number() noexcept {
  return the_engine().threads_seen.fetch_add(1, std::memory_order_relaxed);
}

image_store& the_images() { return the_engine().images; }
