// alg_value: the one data type of the formula language. Integer (signed
// 32-bit), real (double) or text; truth values are the integers 1 and 0.
// A default value is the empty text. Values own their text and copy deeply.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "base/alg_string.h"

enum class value_kind : int32_t { integer = 0, real = 1, text = 2 };

class alg_value {
 public:
  alg_value() = default;
  // A number holds no text at all, and an empty text need not either: copies
  // and moves touch a text only where one side has some.
  alg_value(const alg_value& other)
      : integer_(other.integer_), kind_(other.kind_), real_(other.real_) {
    if (other.has_text()) text_.emplace(*other.text_);
  }
  alg_value(alg_value&& other) noexcept
      : integer_(other.integer_), kind_(other.kind_), real_(other.real_) {
    if (other.has_text()) text_.emplace(std::move(*other.text_));
  }
  alg_value& operator=(const alg_value& other) {
    if (text_.has_value() || other.text_.has_value()) copy_text(other);
    integer_ = other.integer_;
    real_ = other.real_;
    kind_ = other.kind_;
    return *this;
  }
  alg_value& operator=(alg_value&& other) noexcept {
    if (text_.has_value() || other.text_.has_value()) move_text(other);
    integer_ = other.integer_;
    real_ = other.real_;
    kind_ = other.kind_;
    return *this;
  }
  ~alg_value() = default;

  static alg_value of_integer(int32_t v) {
    alg_value r;
    r.set_integer(v);
    return r;
  }
  static alg_value of_real(double v) {
    alg_value r;
    r.set_real(v);
    return r;
  }
  static alg_value of_text(const alg_string& v) {
    alg_value r;
    r.set_text(v);
    return r;
  }
  static alg_value of_text(alg_string&& v) {
    alg_value r;
    r.set_text(std::move(v));
    return r;
  }

  // A number's text is always empty: only texts are given one.
  void set_integer(int32_t v) noexcept {
    if (text_.has_value()) text_.reset();
    integer_ = v;
    kind_ = value_kind::integer;
  }
  void set_real(double v) noexcept {
    if (text_.has_value()) text_.reset();
    real_ = v;
    kind_ = value_kind::real;
  }
  void set_text(const alg_string& v) {
    if (v.empty()) {
      text_.reset();
    } else {
      text_ = v;
    }
    kind_ = value_kind::text;
  }
  void set_text(alg_string&& v) noexcept {
    if (v.empty()) {
      text_.reset();
    } else {
      text_ = std::move(v);
    }
    kind_ = value_kind::text;
  }
  // Appends to the payload of a text value in place.
  void append_text(const alg_string& more) {
    if (more.empty()) return;
    if (text_) {
      *text_ += more;
    } else {
      text_.emplace(more);
    }
  }

  value_kind kind() const noexcept { return kind_; }
  bool is_integer() const noexcept { return kind_ == value_kind::integer; }
  bool is_real() const noexcept { return kind_ == value_kind::real; }
  bool is_text() const noexcept { return kind_ == value_kind::text; }
  bool is_number() const noexcept { return is_integer() || is_real(); }

  // Integer as is; real truncated toward zero (NaN and reals outside the
  // 32-bit range give -2147483648); text read by text_to_int.
  int32_t as_integer() const {
    return kind_ == value_kind::integer ? integer_ : converted_integer();
  }
  // Integer widened; real as is; text read by text_to_real.
  double as_real() const {
    if (kind_ == value_kind::real) return real_;
    if (kind_ == value_kind::integer) return static_cast<double>(integer_);
    return converted_real();
  }
  // The payload of a text value (empty for numbers).
  const alg_string& text() const noexcept { return text_ ? *text_ : no_text(); }

 private:
  int32_t converted_integer() const;
  double converted_real() const;
  bool has_text() const noexcept { return text_.has_value() && !text_->empty(); }
  // This value's text becomes other's (none when other has none); out of
  // line, so that copies and moves of numbers stay small.
  void copy_text(const alg_value& other);
  void move_text(alg_value& other) noexcept;
  static const alg_string& no_text() noexcept {
    static const alg_string empty;
    return empty;
  }

  int32_t integer_ = 0;
  value_kind kind_ = value_kind::text;
  double real_ = 0.0;
  std::optional<alg_string> text_;
};

// The display text of a value: numbers by real_to_text with `n` decimals
// (an integer without decimals or exponent keeps its plain digits), a text
// as it is.
alg_string value_to_text(const alg_value& value, int32_t n, bool exponent, bool dash);

// The text by which a value is written back into formula text: integer
// digits, the plain real form, or a double-quoted encoded text.
alg_string literal_text(const alg_value& v);

// Mixed kinds compare as texts when the left value is a text, else as reals.
// Any comparison of reals involving a NaN is false, except values_not_equal
// (true), and values_greater / values_greater_or_equal, which are defined as
// "not (equal or less)" and "not less" and so come out true.
bool values_equal(const alg_value& a, const alg_value& b);
bool values_not_equal(const alg_value& a, const alg_value& b);
bool values_less(const alg_value& a, const alg_value& b);
bool values_less_or_equal(const alg_value& a, const alg_value& b);
bool values_greater(const alg_value& a, const alg_value& b);
bool values_greater_or_equal(const alg_value& a, const alg_value& b);
