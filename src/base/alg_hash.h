// alg_hash: the engine's keyed list of text pairs, in insertion order.
// Keys compare by exact bytes (case-sensitive); looking up a missing key adds it.
#pragma once

#include <list>

#include "base/alg_string.h"

class alg_hash {
 public:
  // The value of the node with `key`, appending (key, "") when there is none.
  // The reference stays valid until clear() or destruction.
  alg_string& find_or_add(const alg_string& key);
  void clear() noexcept { nodes_.clear(); }
  int count() const noexcept { return static_cast<int>(nodes_.size()); }

 private:
  std::list<alg_string_pair> nodes_;
};
