#include "values/encodable_value.h"

#include <functional>

namespace flutter {
namespace {

// Custom values are ordered by where they live: each is equivalent only to
// itself. std::less gives a total order over unrelated pointers.
bool CustomLess(const EncodableCustomValue& a, const EncodableCustomValue& b) {
  return std::less<>()(static_cast<const void*>(&a),
                       static_cast<const void*>(&b));
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
