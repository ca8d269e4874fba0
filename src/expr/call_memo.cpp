#include "expr/call_memo.h"

#include <atomic>
#include <bit>
#include <functional>
#include <new>
#include <string_view>

namespace {

// Same kind and the same bits: a real is kept apart from the integer of
// the same value, and -0 from 0.
bool same_value(const alg_value& a, const alg_value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case value_kind::integer:
      return a.as_integer() == b.as_integer();
    case value_kind::real:
      return std::bit_cast<uint64_t>(a.as_real()) == std::bit_cast<uint64_t>(b.as_real());
    case value_kind::text:
      return a.text().view() == b.text().view();
  }
  return false;
}

uint64_t value_hash(const alg_value& v) {
  switch (v.kind()) {
    case value_kind::integer:
      return static_cast<uint64_t>(static_cast<uint32_t>(v.as_integer()));
    case value_kind::real:
      return std::bit_cast<uint64_t>(v.as_real()) ^ 0x5bd1e995u;
    case value_kind::text:
      return std::hash<std::string_view>{}(v.text().view()) ^ 0x9e3779b9u;
  }
  return 0;
}

// What the memories of all algorithms may hold together.
constexpr size_t kMaxBytesInUse = size_t{16} << 20;

bool short_enough(const alg_value& v) {
  return !v.is_text() || v.text().length() <= call_memo::max_text;
}

}  // namespace

size_t call_memo::slot(uint64_t function, int depth, const call_args& args, uint32_t count) {
  uint64_t h = function * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(depth);
  for (uint32_t k = 1; k <= count; ++k) h = (h ^ value_hash(args[k])) * 0x100000001B3ull;
  return static_cast<size_t>((h ^ (h >> 29)) % kEntries);
}

bool call_memo::find(uint64_t function, int depth, const call_args& args, uint32_t count,
                     outcome& found) {
  if (count > max_arguments) return false;
  const size_t at = slot(function, depth, args, count);
  const std::lock_guard<std::mutex> lock(guard_);
  if (entries_ == nullptr) return false;
  const entry& e = (*entries_)[at];
  if (e.function != function || e.depth != depth || e.count != count) return false;
  for (uint32_t k = 1; k <= count; ++k) {
    if (!same_value(e.args[k - 1], args[k])) return false;
  }
  found = e.kept;
  return true;
}

void call_memo::keep(uint64_t function, int depth, const call_args& args, uint32_t count,
                     const outcome& made) {
  if (count > max_arguments || !short_enough(made.value) || !short_enough(made.read)) return;
  for (uint32_t k = 1; k <= count; ++k) {
    if (!short_enough(args[k])) return;
  }
  const size_t at = slot(function, depth, args, count);
  try {
    const std::lock_guard<std::mutex> lock(guard_);
    if (entries_ == nullptr) {
      // The memories of all algorithms together stay within a bound.
      if (kept_call_bytes().fetch_add(kBytes, std::memory_order_relaxed) + kBytes >
          kMaxBytesInUse) {
        kept_call_bytes().fetch_sub(kBytes, std::memory_order_relaxed);
        return;
      }
      try {
        entries_ = std::make_unique<std::array<entry, kEntries>>();
      } catch (...) {
        kept_call_bytes().fetch_sub(kBytes, std::memory_order_relaxed);
        throw;
      }
    }
    entry& e = (*entries_)[at];
    e.function = 0;
    for (uint32_t k = 1; k <= count; ++k) e.args[k - 1] = args[k];
    e.kept = made;
    e.depth = depth;
    e.count = count;
    e.function = function;
  } catch (...) {
    // Keeping it is only an optimisation (a text that cannot be copied is
    // simply not kept).
  }
}

call_memo::~call_memo() {
  if (entries_ != nullptr) kept_call_bytes().fetch_sub(kBytes, std::memory_order_relaxed);
}
