#include "base/alg_hash.h"

#include <new>

#include "base/errors.h"

alg_string& alg_hash::find_or_add(const alg_string& key) {
  for (alg_string_pair& node : nodes_) {
    if (node.key == key) return node.value;
  }
  try {
    nodes_.push_back(alg_string_pair{key, alg_string()});
  } catch (const std::bad_alloc&) {
    throw z_x_outofmemory();
  }
  return nodes_.back().value;
}
