#include "algorithm/environment.h"

#include <new>
#include <utility>

#include "base/errors.h"

namespace {

// While a destructor below lets go of a chain on this thread, where the
// environments it destroys hand over their own base.
thread_local std::shared_ptr<alg_environment>* handed_over = nullptr;

}  // namespace

alg_environment::~alg_environment() {
  if (handed_over != nullptr) {
    // Destroyed by the loop below: the loop lets go of the base next.
    *handed_over = std::move(base);
    return;
  }
  // Each link is let go of through its shared_ptr: whoever drops the last
  // reference destroys it, after every other owner is done with it, and
  // its base comes back here instead of being destroyed one level deeper.
  std::shared_ptr<alg_environment> next = std::move(base);
  std::shared_ptr<alg_environment> slot;
  handed_over = &slot;
  while (next != nullptr) {
    next.reset();
    next = std::move(slot);
  }
  handed_over = nullptr;
}

void alg_environment::load(std::shared_ptr<const algorithm_image> loaded) {
  try {
    states = std::vector<definition_state>(loaded->records.count());
  } catch (const std::bad_alloc&) {
    throw z_x_outofmemory();
  }
  image = std::move(loaded);
}
