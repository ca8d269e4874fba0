// alg_string: the engine's owned byte string (every text in the engine is one).
// Bytes carry no encoding; case rules touch ASCII letters only.
// Positions are 1-based everywhere; 0 means "not found" or "before the start".
// A failed allocation throws z_x_outofstringspace and leaves the target as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// No text the engine builds is longer than this: the texts of real
// algorithms are a few kilobytes, and a text that keeps doubling (through
// formulas or functions) fails here, quickly, with z_x_outofstringspace,
// instead of taking gigabytes first.
inline constexpr uint32_t max_text_length = 1u << 20;

class alg_string {
 public:
  alg_string() = default;
  // Copies up to the first NUL; a null pointer reads as the empty text.
  alg_string(const char* text);  // NOLINT(google-explicit-constructor)
  // Copies exactly `length` bytes, NULs included.
  alg_string(const char* bytes, uint32_t length);
  explicit alg_string(std::string_view bytes);
  // One byte, also when it is NUL (length 1).
  explicit alg_string(char byte);
  // `count` copies of `byte`.
  static alg_string fill(uint32_t count, char byte);

  alg_string(const alg_string& other);
  alg_string(alg_string&& other) noexcept = default;
  alg_string& operator=(const alg_string& other);
  alg_string& operator=(alg_string&& other) noexcept = default;
  ~alg_string() = default;

  // The terminated bytes; valid until the string changes.
  const char* c_str() const noexcept { return bytes_.c_str(); }
  uint32_t length() const noexcept { return static_cast<uint32_t>(bytes_.size()); }
  bool empty() const noexcept { return bytes_.empty(); }
  std::string_view view() const noexcept { return bytes_; }
  const std::string& str() const noexcept { return bytes_; }

  // Amortised growth for append; behaviour is unchanged by it.
  void reserve(uint32_t capacity, uint32_t step);
  alg_string& append(const alg_string& other);
  alg_string& operator+=(const alg_string& other) { return append(other); }
  alg_string& operator+=(const char* text) { return append(alg_string(text)); }
  alg_string& operator+=(char byte) { return append(alg_string(byte)); }

  // -1, 0 or 1, comparing bytes as signed 8-bit values; a shorter string
  // contributes its terminating NUL at the first position past its end.
  int compare(const alg_string& other) const noexcept;
  int compare(const char* text) const noexcept;

  // The byte at `pos` as 0..255; 0 when pos is 0 or past the end.
  int char_at(uint32_t pos) const noexcept;
  // `count` bytes from `start`; empty when start is 0 or past the end.
  alg_string mid(uint32_t start, uint32_t count) const;
  // The bytes from `start` to the end; empty when start is 0 or past the end.
  alg_string from(uint32_t start) const;
  alg_string left(uint32_t n) const;
  alg_string right(uint32_t n) const;
  // Replaces `count` bytes at `pos` by `text` (count 0 inserts before pos).
  // Throws z_x_illegal_index unless 1 <= pos <= length.
  alg_string splice(const alg_string& text, uint32_t pos, uint32_t count) const;
  // Replaces every occurrence of `find` (never empty); replaced text is not
  // searched again.
  alg_string replace_all(const alg_string& find, const alg_string& replacement,
                         bool ignore_case) const;
  alg_string upper() const;
  alg_string lower() const;
  // Trims remove the space byte (32) only.
  alg_string ltrim() const;
  alg_string rtrim() const;
  alg_string trim() const;
  alg_string cut_at_nul() const;

  // First position of `pattern` at or after `start` (0 counts as 1), or 0.
  // Both texts count as terminated: the search stops at the first NUL.
  uint32_t find(uint32_t start, const alg_string& pattern, bool ignore_case) const;
  uint32_t find(const alg_string& pattern, bool ignore_case) const {
    return find(1, pattern, ignore_case);
  }
  // The smallest position at which any of `patterns` occurs (ignoring case),
  // or 0 when none does.
  template <typename Range>
  uint32_t find_earliest(const Range& patterns) const {
    uint32_t best = 0;
    for (const alg_string& p : patterns) {
      uint32_t at = find(1, p, true);
      if (at != 0 && (best == 0 || at < best)) best = at;
    }
    return best;
  }

  // Every byte is 0-9 or '-' (the empty string passes).
  bool is_integer_text() const noexcept;
  // Every byte is 0-9, a-f or A-F (the empty string passes).
  bool is_hex_text() const noexcept;

  friend alg_string operator+(const alg_string& a, const alg_string& b);
  friend alg_string operator+(const alg_string& a, const char* b);
  friend alg_string operator+(const char* a, const alg_string& b);
  friend bool operator==(const alg_string& a, const alg_string& b) noexcept {
    return a.compare(b) == 0;
  }
  friend bool operator==(const alg_string& a, const char* b) noexcept { return a.compare(b) == 0; }
  friend bool operator<(const alg_string& a, const alg_string& b) noexcept {
    return a.compare(b) < 0;
  }
  friend bool operator>(const alg_string& a, const alg_string& b) noexcept {
    return a.compare(b) > 0;
  }

 private:
  std::string bytes_;
};

// Whether the bytes are equal once their ASCII letters are lowered.
inline bool same_ignoring_case(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  const auto lowered = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowered(a[i]) != lowered(b[i])) return false;
  }
  return true;
}

// Key and value texts, both empty when made.
struct alg_string_pair {
  alg_string key;
  alg_string value;
};
