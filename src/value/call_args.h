// call_args: the values a call hands to a function, at indexes 1..count.
// Calls take few arguments, so a few are held inside and the rest on the
// heap. Indexes are checked as an array's are: no argument at all throws
// z_x_arraynotsized, an index outside 1..count z_x_outofbounds.
#pragma once

#include <cstdint>
#include <new>

#include "base/errors.h"
#include "base/small_array.h"
#include "value/alg_value.h"

class call_args {
 public:
  explicit call_args(uint32_t count) try : count_(count), values_(count) {
  } catch (const std::bad_alloc&) {
    throw z_x_outofmemory();
  }

  alg_value& operator[](uint32_t index) { return values_[slot(index)]; }
  const alg_value& operator[](uint32_t index) const { return values_[slot(index)]; }
  uint32_t count() const noexcept { return count_; }

 private:
  uint32_t slot(uint32_t index) const {
    if (count_ == 0) throw z_x_arraynotsized();
    if (index < 1 || index > count_) throw z_x_outofbounds();
    return index - 1;
  }

  uint32_t count_;
  small_array<alg_value, 4> values_;
};
