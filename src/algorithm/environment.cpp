#include "algorithm/environment.h"

#include <utility>

alg_environment::~alg_environment() {
  std::shared_ptr<alg_environment> next = std::move(base);
  // Only the last owner of a link may take its base apart; use_count() of 1
  // is certain here, as nobody can gain a new reference to it meanwhile.
  while (next != nullptr && next.use_count() == 1) {
    std::shared_ptr<alg_environment> after = std::move(next->base);
    next.reset();
    next = std::move(after);
  }
}

namespace {

// Below this many records a search in table order is as quick as a lookup.
constexpr uint32_t kIndexFrom = 16;

bool is_function(const definition_record& r) { return r.kind == 'f' && r.has_separator; }
bool is_named_variable(const definition_record& r) { return r.is_variable() && r.has_separator; }

}  // namespace

void alg_environment::index_definitions() {
  variable_index.clear();
  function_index.clear();
  indexed = definitions.high() >= kIndexFrom;
  if (!indexed) return;
  for (uint32_t i = 1; i <= definitions.high(); ++i) {
    const definition_record& r = definitions[i];
    if (is_named_variable(r)) variable_index.try_emplace(std::string(r.name.view()), i);
    if (is_function(r)) function_index.try_emplace(std::string(r.name.view()), i);
  }
}

uint32_t alg_environment::find_definition(std::string_view lowered, bool function) const {
  if (indexed) {
    const name_index& index = function ? function_index : variable_index;
    const auto it = index.find(lowered);
    return it == index.end() ? 0 : it->second;
  }
  for (uint32_t i = 1; i <= definitions.high(); ++i) {
    const definition_record& r = definitions[i];
    if ((function ? is_function(r) : is_named_variable(r)) && r.name.view() == lowered) return i;
  }
  return 0;
}
