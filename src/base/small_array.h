// small_array: a fixed number of elements, chosen when it is made; up to N
// of them inside, more on the heap. The groups of almost every formula and
// the arguments of almost every call are held without allocating. A class
// element's default constructor must set every member (it is not zeroed
// first).
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

template <typename T, size_t N>
class small_array {
 public:
  // Elements start as T{} does.
  explicit small_array(size_t n)
      : size_(n), data_(n <= N ? reinterpret_cast<T*>(inline_) : nullptr) {
    if (n > N) {
      heap_ = std::make_unique<T[]>(n);
      data_ = heap_.get();
    } else if constexpr (std::is_trivially_default_constructible_v<T>) {
      std::uninitialized_value_construct_n(data_, n);
    } else {
      std::uninitialized_default_construct_n(data_, n);
    }
  }
  ~small_array() {
    if (size_ <= N) std::destroy_n(data_, size_);
  }
  small_array(const small_array&) = delete;
  small_array& operator=(const small_array&) = delete;
  T& operator[](size_t i) noexcept { return data_[i]; }
  const T& operator[](size_t i) const noexcept { return data_[i]; }

 private:
  alignas(T) unsigned char inline_[N * sizeof(T)];
  std::unique_ptr<T[]> heap_;
  size_t size_;
  T* data_;
};
