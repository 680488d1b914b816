#include "values/encodable_value.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace flutter {
namespace {

// Custom values are ordered by where they live: each is equivalent only to
// itself. std::less gives a total order over unrelated pointers.
bool CustomLess(const EncodableCustomValue& a, const EncodableCustomValue& b) {
  return std::less<>()(static_cast<const void*>(&a),
                       static_cast<const void*>(&b));
}

// Three-way comparison, so that each level of a nested value is visited
// once. Comparing with less-than alone asks a < b and then b < a for each
// element (twice more for a map entry's pair), which for keys nested d deep
// costs 2^d to 3^d: a 700-byte message of nested maps took minutes.
int Compare(const EncodableValue& a, const EncodableValue& b);

template <typename T>
int CompareScalars(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// IEEE order with every NaN last and all NaNs equivalent: IEEE less-than
// alone is no strict weak order once a NaN is a key.
template <typename Float>
int CompareFloats(Float a, Float b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) ? (std::isnan(b) ? 0 : 1) : -1;
  }
  return CompareScalars(a, b);
}

// Element by element, then the shorter first.
template <typename Range, typename ElementCompare>
int CompareRanges(const Range& a, const Range& b, ElementCompare compare) {
  auto left = a.begin();
  auto right = b.begin();
  for (; left != a.end() && right != b.end(); ++left, ++right) {
    if (const int order = compare(*left, *right); order != 0) {
      return order;
    }
  }
  return CompareScalars(a.size(), b.size());
}

int Compare(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) {
    return CompareScalars(a.index(), b.index());
  }
  return std::visit(
      [&b](const auto& lhs) -> int {
        using T = std::decay_t<decltype(lhs)>;
        const T& rhs = *b.TryGet<T>();
        if constexpr (std::is_same_v<T, std::monostate>) {
          return 0;
        } else if constexpr (std::is_same_v<T, EncodableCustomValue>) {
          return CustomLess(lhs, rhs) ? -1 : (CustomLess(rhs, lhs) ? 1 : 0);
        } else if constexpr (std::is_same_v<T, double>) {
          return CompareFloats(lhs, rhs);
        } else if constexpr (std::is_same_v<T, std::vector<double>> ||
                             std::is_same_v<T, std::vector<float>>) {
          return CompareRanges(
              lhs, rhs, [](auto x, auto y) { return CompareFloats(x, y); });
        } else if constexpr (std::is_same_v<T, std::string>) {
          // char_traits<char> orders bytes as unsigned.
          const int order = lhs.compare(rhs);
          return order < 0 ? -1 : (order > 0 ? 1 : 0);
        } else if constexpr (std::is_same_v<T, EncodableValueList>) {
          return CompareRanges(lhs, rhs, Compare);
        } else if constexpr (std::is_same_v<T, EncodableValueMap>) {
          return CompareRanges(lhs, rhs, [](const auto& x, const auto& y) {
            const int order = Compare(x.first, y.first);
            return order != 0 ? order : Compare(x.second, y.second);
          });
        } else if constexpr (std::is_arithmetic_v<T>) {
          return CompareScalars(lhs, rhs);
        } else {
          // Byte and integer vectors: unsigned bytes, signed integers.
          return CompareRanges(
              lhs, rhs, [](auto x, auto y) { return CompareScalars(x, y); });
        }
      },
      static_cast<const EncodableValue::Variant&>(a));
}

}  // namespace

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  return Compare(a, b) < 0;
}

bool operator==(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) {
    return false;
  }
  return std::visit(
      [&b](const auto& lhs) -> bool {
        using T = std::decay_t<decltype(lhs)>;
        const T& rhs = *b.TryGet<T>();
        if constexpr (std::is_same_v<T, std::monostate>) {
          return true;
        } else if constexpr (std::is_same_v<T, EncodableCustomValue>) {
          return &lhs == &rhs;
        } else {
          return lhs == rhs;
        }
      },
      static_cast<const EncodableValue::Variant&>(a));
}

}  // namespace flutter
