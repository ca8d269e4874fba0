#include "value/alg_value.h"

#include "base/number_cast.h"
#include "base/number_text.h"
#include "value/literal_codec.h"

void alg_value::copy_text(const alg_value& other) {
  if (this == &other) return;
  if (other.has_text()) {
    text_ = *other.text_;
  } else {
    text_.reset();
  }
}

void alg_value::move_text(alg_value& other) noexcept {
  if (this == &other) return;
  if (other.has_text()) {
    text_ = std::move(*other.text_);
  } else {
    text_.reset();
  }
}

int32_t alg_value::converted_integer() const {
  switch (kind_) {
    case value_kind::integer:
      return integer_;
    case value_kind::real:
      // A plain cast would be undefined for NaN and out-of-range reals.
      return truncate_to_int32(real_);
    case value_kind::text:
      return text_to_int(text());
  }
  return 0;
}

double alg_value::converted_real() const {
  switch (kind_) {
    case value_kind::integer:
      return static_cast<double>(integer_);
    case value_kind::real:
      return real_;
    case value_kind::text:
      return text_to_real(text());
  }
  return 0.0;
}

alg_string value_to_text(const alg_value& value, int32_t n, bool exponent, bool dash) {
  switch (value.kind()) {
    case value_kind::integer:
      if (exponent || n >= 0)
        return real_to_text(static_cast<double>(value.as_integer()), n, exponent, dash);
      return int_to_text(value.as_integer(), dash);
    case value_kind::real:
      return real_to_text(value.as_real(), n, exponent, dash);
    case value_kind::text:
      return value.text();
  }
  return alg_string();
}

alg_string literal_text(const alg_value& v) {
  switch (v.kind()) {
    case value_kind::integer:
      return int_to_text(v.as_integer(), false);
    case value_kind::real:
      return real_to_text(v.as_real(), -1, false, false);
    case value_kind::text:
      return "\"" + encode_literal(v.text()) + "\"";
  }
  return alg_string();
}

namespace {

// The plain form: what a value reads as when the left operand is a text.
alg_string plain_text(const alg_value& v) { return value_to_text(v, -1, false, false); }

}  // namespace

// Same kind: compared as that kind. Mixed kinds are one-sided: a text on the
// left turns both into text ("5" = 5 as texts), anything else on the left
// reads both as reals (5 = "5" as numbers).
bool values_equal(const alg_value& a, const alg_value& b) {
  if (a.kind() == b.kind()) {
    switch (a.kind()) {
      case value_kind::integer:
        return a.as_integer() == b.as_integer();
      case value_kind::real:
        return a.as_real() == b.as_real();  // exact; false when either is NaN
      case value_kind::text:
        return a.text().compare(b.text()) == 0;
    }
    return false;
  }
  if (a.is_text()) return a.text().compare(plain_text(b)) == 0;
  return a.as_real() == b.as_real();
}

bool values_less(const alg_value& a, const alg_value& b) {
  if (a.kind() == b.kind()) {
    switch (a.kind()) {
      case value_kind::integer:
        return a.as_integer() < b.as_integer();
      case value_kind::real:
        return a.as_real() < b.as_real();  // false when either is NaN
      case value_kind::text:
        return a.text().compare(b.text()) < 0;
    }
    return false;
  }
  if (a.is_text()) return a.text().compare(plain_text(b)) < 0;
  return a.as_real() < b.as_real();
}

bool values_not_equal(const alg_value& a, const alg_value& b) { return !values_equal(a, b); }

bool values_less_or_equal(const alg_value& a, const alg_value& b) {
  return values_equal(a, b) || values_less(a, b);
}

bool values_greater(const alg_value& a, const alg_value& b) {
  return !(values_equal(a, b) || values_less(a, b));
}

bool values_greater_or_equal(const alg_value& a, const alg_value& b) { return !values_less(a, b); }
