#include "algorithm/environment.h"

#include <new>
#include <utility>

#include "base/errors.h"

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

void alg_environment::load(std::shared_ptr<const algorithm_image> loaded) {
  try {
    states = std::vector<definition_state>(loaded->records.count());
  } catch (const std::bad_alloc&) {
    throw z_x_outofmemory();
  }
  image = std::move(loaded);
}
