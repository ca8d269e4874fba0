#include "base/alg_string.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/errors.h"

namespace {

char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

size_t find_bytes(std::string_view hay, std::string_view needle, bool ignore_case);

// Refuses a text of `length` bytes before any memory is taken for it.
void ensure_room(size_t length) {
  if (length > max_text_length) throw z_x_outofstringspace();
}

// The bytes of a new text, made in place (cheaper than assigning them).
std::string made_bytes(const char* bytes, size_t length) {
  if (bytes == nullptr) return {};
  ensure_room(length);
  return with_string_space([&] { return std::string(bytes, length); });
}

}  // namespace

alg_string::alg_string(const char* text)
    : bytes_(made_bytes(text, text == nullptr ? 0 : std::strlen(text))) {}

alg_string::alg_string(const char* bytes, uint32_t length) : bytes_(made_bytes(bytes, length)) {}

alg_string::alg_string(std::string_view bytes) : bytes_(made_bytes(bytes.data(), bytes.size())) {}

alg_string::alg_string(char byte) {
  with_string_space([&] { bytes_.assign(1, byte); });
}

alg_string alg_string::fill(uint32_t count, char byte) {
  alg_string s;
  ensure_room(count);
  with_string_space([&] { s.bytes_.assign(count, byte); });
  return s;
}

alg_string::alg_string(const alg_string& other) {
  with_string_space([&] { bytes_ = other.bytes_; });
}

alg_string& alg_string::operator=(const alg_string& other) {
  // std::string's assignment makes any new buffer before it lets go of the
  // old one: a failure leaves the text as it was.
  if (this != &other) with_string_space([&] { bytes_ = other.bytes_; });
  return *this;
}

void alg_string::reserve(uint32_t capacity, uint32_t /*step*/) {
  ensure_room(capacity);
  with_string_space([&] { bytes_.reserve(capacity); });
}

alg_string& alg_string::append(const alg_string& other) {
  if (other.empty()) return *this;
  ensure_room(static_cast<size_t>(length()) + other.length());
  with_string_space([&] {
    if (&other == this) {
      std::string twice = bytes_ + bytes_;
      bytes_.swap(twice);
    } else {
      bytes_.append(other.bytes_);
    }
  });
  return *this;
}

namespace {

// Shared by both overloads: `b` is a terminated view of `blen` bytes.
int compare_bytes(const std::string& a, const char* b, size_t blen) noexcept {
  const size_t alen = a.size();
  const size_t n = std::max(alen, blen);
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<signed char>(i < alen ? a[i] : '\0');
    const auto y = static_cast<signed char>(i < blen ? b[i] : '\0');
    if (x != y) return x > y ? 1 : -1;
    // The shorter string has shown its terminator; nothing past it is read.
    if (i >= alen || i >= blen) break;
  }
  if (alen == blen) return 0;
  return alen > blen ? 1 : -1;
}

}  // namespace

int alg_string::compare(const alg_string& other) const noexcept {
  return compare_bytes(bytes_, other.bytes_.data(), other.bytes_.size());
}

int alg_string::compare(const char* text) const noexcept {
  if (text == nullptr) text = "";
  return compare_bytes(bytes_, text, std::strlen(text));
}

int alg_string::char_at(uint32_t pos) const noexcept {
  if (pos == 0 || pos > length()) return 0;
  return static_cast<unsigned char>(bytes_[pos - 1]);
}

alg_string alg_string::mid(uint32_t start, uint32_t count) const {
  if (start == 0 || start > length() || count == 0) return {};
  const uint32_t available = length() - start + 1;
  return alg_string(std::string_view(bytes_).substr(start - 1, std::min(count, available)));
}

alg_string alg_string::from(uint32_t start) const {
  if (start == 0 || start > length()) return {};
  return mid(start, length() - start + 1);
}

alg_string alg_string::left(uint32_t n) const {
  return alg_string(std::string_view(bytes_).substr(0, std::min(n, length())));
}

alg_string alg_string::right(uint32_t n) const {
  const uint32_t take = std::min(n, length());
  return alg_string(std::string_view(bytes_).substr(length() - take, take));
}

alg_string alg_string::splice(const alg_string& text, uint32_t pos, uint32_t count) const {
  if (pos == 0 || pos > length()) throw z_x_illegal_index();
  const uint32_t room = length() - pos + 1;
  if (count > room) count = room;
  ensure_room(static_cast<size_t>(length()) - count + text.length());
  return with_string_space([&] {
    std::string out;
    out.reserve(static_cast<size_t>(length()) - count + text.length());
    out.append(bytes_, 0, pos - 1);
    out.append(text.bytes_);
    out.append(bytes_, pos - 1 + count, std::string::npos);
    alg_string r;
    r.bytes_.swap(out);
    return r;
  });
}

alg_string alg_string::replace_all(const alg_string& find_text, const alg_string& replacement,
                                   bool ignore_case) const {
  if (find_text.empty()) return *this;  // would never end; callers never ask for it
  // One pass: the replacement is never searched again, so every search runs
  // over original bytes, from the end of the previous match up to the first
  // NUL at or after it (as find reads a text).
  const std::string_view needle(find_text.bytes_.c_str());
  return with_string_space([&] {
    std::string out;
    size_t copied = 0;                // original bytes up to here are in `out`
    size_t stop = std::string::npos;  // the first NUL (or the end) at or after `copied`
    while (copied < bytes_.size()) {
      if (stop == std::string::npos || stop < copied) {
        stop = copied;
        while (stop < bytes_.size() && bytes_[stop] != '\0') ++stop;
      }
      const size_t at =
          find_bytes(std::string_view(bytes_).substr(copied, stop - copied), needle, ignore_case);
      if (at == std::string_view::npos) break;
      const size_t match = copied + at;
      const size_t removed = std::min<size_t>(find_text.length(), bytes_.size() - match);
      ensure_room(out.size() + (match - copied) + replacement.length() +
                  (bytes_.size() - match - removed));
      out.append(bytes_, copied, match - copied);
      out.append(replacement.bytes_);
      copied = match + removed;
    }
    out.append(bytes_, copied, std::string::npos);
    alg_string r;
    r.bytes_.swap(out);
    return r;
  });
}

alg_string alg_string::upper() const {
  alg_string r(*this);
  std::transform(r.bytes_.begin(), r.bytes_.end(), r.bytes_.begin(), ascii_upper);
  return r;
}

alg_string alg_string::lower() const {
  alg_string r(*this);
  std::transform(r.bytes_.begin(), r.bytes_.end(), r.bytes_.begin(), ascii_lower);
  return r;
}

alg_string alg_string::ltrim() const {
  const size_t first = bytes_.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return alg_string(std::string_view(bytes_).substr(first));
}

alg_string alg_string::rtrim() const {
  const size_t last = bytes_.find_last_not_of(' ');
  if (last == std::string::npos) return {};
  return alg_string(std::string_view(bytes_).substr(0, last + 1));
}

alg_string alg_string::trim() const { return ltrim().rtrim(); }

alg_string alg_string::cut_at_nul() const { return alg_string(std::string_view(bytes_.c_str())); }

namespace {

// The first position of `needle` in `hay` (both plain byte views), or npos.
size_t find_bytes(std::string_view hay, std::string_view needle, bool ignore_case) {
  if (needle.empty()) return 0;
  if (!ignore_case) return hay.find(needle);
  // The evaluator searches its whole working text for tokens and for
  // "zek_if(" at every step, so this path is hot. Anchor on a byte of the
  // pattern that has no case (the '~' of a token, the '(' of a call) and let
  // memchr find the candidates; letters-only patterns fall back to a scan.
  size_t anchor = 0;
  while (anchor < needle.size() && ascii_upper(needle[anchor]) != ascii_lower(needle[anchor])) {
    ++anchor;
  }
  auto matches_at = [&](size_t i) {
    for (size_t k = 0; k < needle.size(); ++k) {
      if (ascii_upper(hay[i + k]) != ascii_upper(needle[k])) return false;
    }
    return true;
  };
  if (needle.size() > hay.size()) return std::string_view::npos;
  const size_t last = hay.size() - needle.size();  // last possible match position
  if (anchor == needle.size()) {
    for (size_t i = 0; i <= last; ++i) {
      if (matches_at(i)) return i;
    }
    return std::string_view::npos;
  }
  const char key = needle[anchor];
  size_t from = anchor;
  while (from <= last + anchor) {
    const void* hit = std::memchr(hay.data() + from, key, last + anchor - from + 1);
    if (hit == nullptr) return std::string_view::npos;
    const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - hay.data());
    if (matches_at(at - anchor)) return at - anchor;
    from = at + 1;
  }
  return std::string_view::npos;
}

}  // namespace

uint32_t alg_string::find(uint32_t start, const alg_string& pattern, bool ignore_case) const {
  if (start > length()) return 0;
  if (start == 0) start = 1;
  // Both sides are read as terminated texts: the searched bytes run from
  // `start` up to the first NUL at or after it, so a NUL before `start`
  // does not hide what follows it.
  const size_t offset = start - 1;
  const size_t at = find_bytes(std::string_view(bytes_.c_str() + offset),
                               std::string_view(pattern.bytes_.c_str()), ignore_case);
  return at == std::string_view::npos ? 0 : static_cast<uint32_t>(offset + at + 1);
}

bool alg_string::is_integer_text() const noexcept {
  return std::all_of(bytes_.begin(), bytes_.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

bool alg_string::is_hex_text() const noexcept {
  return std::all_of(bytes_.begin(), bytes_.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

alg_string operator+(const alg_string& a, const alg_string& b) {
  alg_string r;
  ensure_room(static_cast<size_t>(a.length()) + b.length());
  with_string_space([&] {
    r.bytes_.reserve(a.bytes_.size() + b.bytes_.size());
    r.bytes_.append(a.bytes_).append(b.bytes_);
  });
  return r;
}

alg_string operator+(const alg_string& a, const char* b) { return a + alg_string(b); }
alg_string operator+(const char* a, const alg_string& b) { return alg_string(a) + b; }
