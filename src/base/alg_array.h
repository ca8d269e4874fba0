// alg_array: a checked array with a chosen lowest index (usually 1).
// A new array is not sized; access then throws z_x_arraynotsized, and an
// index outside low..high throws z_x_outofbounds. Elements are owned one by
// one, so resizing moves pointers, never elements.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "base/errors.h"

template <typename T>
class alg_array {
 public:
  alg_array() = default;
  alg_array(const alg_array& other) { *this = other; }
  alg_array& operator=(const alg_array& other) {
    if (this == &other) return *this;
    std::vector<std::unique_ptr<T>> copy;
    guarded([&] {
      copy.reserve(other.slots_.size());
      for (const auto& e : other.slots_) copy.push_back(std::make_unique<T>(*e));
    });
    slots_.swap(copy);
    low_ = other.low_;
    high_ = other.high_;
    return *this;
  }
  alg_array(alg_array&&) noexcept = default;
  alg_array& operator=(alg_array&&) noexcept = default;

  T& operator[](uint32_t index) { return *slots_[slot(index)]; }
  const T& operator[](uint32_t index) const { return *slots_[slot(index)]; }

  // Discards every element, then sizes to low..high with fresh elements.
  void dim(uint32_t low, uint32_t high) {
    std::vector<std::unique_ptr<T>> fresh;
    guarded([&] {
      if (high >= low) {
        fresh.reserve(static_cast<size_t>(high) - low + 1);
        for (uint64_t i = low; i <= high; ++i) fresh.push_back(std::make_unique<T>());
      }
    });
    slots_.swap(fresh);
    low_ = low;
    high_ = high;
  }

  // Resizes to low..high keeping the elements whose index is in both ranges.
  void redim(uint32_t low, uint32_t high) {
    if (count() == 0) {
      dim(low, high);
      return;
    }
    std::vector<std::unique_ptr<T>> fresh;
    guarded([&] {
      if (high >= low) {
        fresh.resize(static_cast<size_t>(high) - low + 1);
        for (uint64_t i = low; i <= high; ++i) {
          if (i >= low_ && i <= high_) {
            fresh[i - low] = std::move(slots_[i - low_]);
          } else {
            fresh[i - low] = std::make_unique<T>();
          }
        }
      }
    });
    slots_.swap(fresh);
    low_ = low;
    high_ = high;
  }

  // Appends one element at high + 1 (sizing the array from `low` when empty).
  T& push_back(T value) {
    guarded([&] { slots_.push_back(std::make_unique<T>(std::move(value))); });
    if (slots_.size() == 1) high_ = low_ - 1;
    ++high_;
    return *slots_.back();
  }

  void clear() {
    slots_.clear();
    high_ = low_ - 1;
  }

  uint32_t low() const noexcept { return low_; }
  uint32_t high() const noexcept { return high_; }
  uint32_t count() const noexcept { return static_cast<uint32_t>(slots_.size()); }

 private:
  template <typename F>
  static void guarded(F&& step) {
    try {
      step();
    } catch (const std::bad_alloc&) {
      throw z_x_outofmemory();
    }
  }

  size_t slot(uint32_t index) const {
    if (slots_.empty()) throw z_x_arraynotsized();
    if (index < low_ || index > high_) throw z_x_outofbounds();
    return index - low_;
  }

  std::vector<std::unique_ptr<T>> slots_;
  uint32_t low_ = 1;
  uint32_t high_ = 0;
};
