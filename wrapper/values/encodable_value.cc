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

// IEEE less-than with every NaN last and all NaNs equivalent.
template <typename Float>
bool FloatLess(Float a, Float b) {
  if (std::isnan(a) || std::isnan(b)) {
    return !std::isnan(a);
  }
  return a < b;
}

template <typename Float>
bool FloatVectorLess(const std::vector<Float>& a, const std::vector<Float>& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      FloatLess<Float>);
}

}  // namespace

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) {
    return a.index() < b.index();
  }
  return std::visit(
      [&b](const auto& lhs) -> bool {
        using T = std::decay_t<decltype(lhs)>;
        const T& rhs = *b.TryGet<T>();
        if constexpr (std::is_same_v<T, std::monostate>) {
          return false;
        } else if constexpr (std::is_same_v<T, EncodableCustomValue>) {
          return CustomLess(lhs, rhs);
        } else if constexpr (std::is_same_v<T, double>) {
          return FloatLess(lhs, rhs);
        } else if constexpr (std::is_same_v<T, std::vector<double>> ||
                             std::is_same_v<T, std::vector<float>>) {
          return FloatVectorLess(lhs, rhs);
        } else {
          // Strings compare through char_traits<char>, which orders bytes as
          // unsigned; vectors, lists and maps compare lexicographically with
          // the element's own less-than, the shorter prefix first.
          return lhs < rhs;
        }
      },
      static_cast<const EncodableValue::Variant&>(a));
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
