#include "store/value.h"

#include <charconv>
#include <cmath>
#include <string>

#include "common/failure.h"
#include "common/text.h"

namespace nbl::store {
namespace {

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

// Mirrors the host language: 15 significant digits, exponent form below 1E-04 and from 1E+15.
std::u16string DoubleText(double d) {
  if (d == 0.0) return u"0";  // also -0
  if (std::isnan(d)) return u"NaN";
  if (std::isinf(d)) return d > 0 ? u"Infinity" : u"-Infinity";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
  if (ec != std::errc()) throw ConversionFailure("cannot write a number as text");
  std::string s(buf, end);
  for (char& c : s) {
    if (c == 'e') c = 'E';
  }
  return Ascii(s);
}

// Halves go to the even neighbour, independent of the floating-point rounding mode.
double RoundHalfEven(double x) {
  const double lower = std::floor(x);
  const double diff = x - lower;
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

vb::Integer IntegerFromDouble(double d) {
  if (!std::isfinite(d) || d >= 65536.0 || d <= -65536.0) {
    throw OverflowFailure("overflow: " + text::ToUtf8(DoubleText(d)) + " does not fit in 16 bits");
  }
  return vb::Integer::From(static_cast<long long>(RoundHalfEven(d)));
}

// An optionally signed decimal number with optional point and exponent, blanks around it.
// Returns false for anything else (empty text, other characters, hex, "inf", "nan").
bool ParseNumber(std::u16string_view t, double& out) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  std::size_t b = 0, e = t.size();
  while (b < e && blank(t[b])) ++b;
  while (e > b && blank(t[e - 1])) --e;
  std::string s;
  for (std::size_t i = b; i < e; ++i) {
    const char16_t c = t[i];
    const bool allowed = (c >= u'0' && c <= u'9') || c == u'.' || c == u'+' || c == u'-' || c == u'e' || c == u'E';
    if (!allowed) return false;
    s.push_back(static_cast<char>(c));
  }
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::size_t digits = 0;
  std::size_t j = i;
  while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j, ++digits;
  if (j < s.size() && s[j] == '.') {
    ++j;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j, ++digits;
  }
  if (digits == 0) return false;
  if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
    ++j;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const std::size_t expStart = j;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (j == expStart) return false;
  }
  if (j != s.size()) return false;
  const std::string body = s.substr(i);  // starts with a digit or the point: from_chars takes no sign
  double v = 0;
  auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
  if (end != body.data() + body.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: a negative exponent means it is near zero.
    const auto ePos = body.find_first_of("eE");
    v = (ePos != std::string::npos && body[ePos + 1] == '-') ? 0.0 : HUGE_VAL;
  } else if (ec != std::errc()) {
    return false;
  }
  out = negative ? -v : v;
  return true;
}

}  // namespace

std::u16string Value::CStr() const {
  struct Visitor {
    std::u16string operator()(std::monostate) const { throw NullValueFailure("invalid use of Null: text expected"); }
    std::u16string operator()(const std::u16string& s) const { return s; }
    std::u16string operator()(std::int64_t i) const { return text::Digits(i); }
    std::u16string operator()(double d) const { return DoubleText(d); }
    std::u16string operator()(BoolBox b) const { return b.b ? u"True" : u"False"; }
  };
  return std::visit(Visitor{}, v_);
}

vb::Integer Value::CInt() const {
  struct Visitor {
    vb::Integer operator()(std::monostate) const { throw NullValueFailure("invalid use of Null: number expected"); }
    vb::Integer operator()(const std::u16string& s) const {
      double d = 0;
      if (!ParseNumber(s, d)) throw ConversionFailure("type mismatch: '" + text::ToUtf8(s) + "' is not a number");
      return IntegerFromDouble(d);
    }
    vb::Integer operator()(std::int64_t i) const { return vb::Integer::From(i); }
    vb::Integer operator()(double d) const { return IntegerFromDouble(d); }
    vb::Integer operator()(BoolBox b) const { return b.b ? vb::Integer(-1) : vb::Integer(0); }
  };
  return std::visit(Visitor{}, v_);
}

}  // namespace nbl::store
