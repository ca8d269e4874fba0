// call_args: the values a call hands to a function, at indexes 1..count.
// Calls take few arguments, so a few are held inside and the rest on the
// heap. Indexes are checked as an array's are: no argument at all throws
// z_x_arraynotsized, an index outside 1..count z_x_outofbounds.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "base/errors.h"
#include "value/alg_value.h"

class call_args {
 public:
  explicit call_args(uint32_t count) : count_(count), data_(reinterpret_cast<alg_value*>(inside_)) {
    if (count > kInside) {
      try {
        heap_ = std::make_unique<alg_value[]>(count);
      } catch (const std::bad_alloc&) {
        throw z_x_outofmemory();
      }
      data_ = heap_.get();
    } else {
      std::uninitialized_value_construct_n(data_, count);
    }
  }
  ~call_args() {
    if (count_ <= kInside) std::destroy_n(data_, count_);
  }
  call_args(const call_args&) = delete;
  call_args& operator=(const call_args&) = delete;

  alg_value& operator[](uint32_t index) { return data_[slot(index)]; }
  const alg_value& operator[](uint32_t index) const { return data_[slot(index)]; }
  uint32_t count() const noexcept { return count_; }

 private:
  static constexpr uint32_t kInside = 4;

  uint32_t slot(uint32_t index) const {
    if (count_ == 0) throw z_x_arraynotsized();
    if (index < 1 || index > count_) throw z_x_outofbounds();
    return index - 1;
  }

  uint32_t count_;
  alg_value* data_;
  std::unique_ptr<alg_value[]> heap_;
  alignas(alg_value) unsigned char inside_[kInside * sizeof(alg_value)];
};
