#include "store/value.h"

#include <charconv>
#include <cmath>
#include <string>

#include "common/failure.h"
#include "common/number.h"
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

vb::Integer IntegerFromDouble(double d) {
  if (!std::isfinite(d) || d >= 65536.0 || d <= -65536.0) {
    throw OverflowFailure("overflow: " + text::ToUtf8(DoubleText(d)) + " does not fit in 16 bits");
  }
  return vb::Integer::From(static_cast<long long>(number::RoundHalfEven(d)));
}

}  // namespace

NullValueFailure NullAsTextFailure() { return NullValueFailure("invalid use of Null: text expected"); }

std::u16string Value::CStr() const {
  struct Visitor {
    std::u16string operator()(std::monostate) const { throw NullAsTextFailure(); }
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
      const std::optional<double> d = number::ParseDecimal(s);
      if (!d) throw ConversionFailure("type mismatch: '" + text::ToUtf8(s) + "' is not a number");
      return IntegerFromDouble(*d);
    }
    vb::Integer operator()(std::int64_t i) const { return vb::Integer::From(i); }
    vb::Integer operator()(double d) const { return IntegerFromDouble(d); }
    vb::Integer operator()(BoolBox b) const { return b.b ? vb::Integer(-1) : vb::Integer(0); }
  };
  return std::visit(Visitor{}, v_);
}

}  // namespace nbl::store
