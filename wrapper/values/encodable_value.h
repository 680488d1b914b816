#ifndef QUORVANE_WRAPPER_VALUES_ENCODABLE_VALUE_H_
#define QUORVANE_WRAPPER_VALUES_ENCODABLE_VALUE_H_

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;

using EncodableValueList = std::vector<EncodableValue>;
using EncodableValueMap = std::map<EncodableValue, EncodableValue>;

// One object of any copyable type, type-erased. The standard codec cannot
// encode it; it exists so that codec extensions can carry their own types.
//
// Moving copies: there is deliberately no move constructor, so a moved-from
// custom value still holds its object. Ordering is by identity (the address
// of the value's storage), so two custom values are equivalent only when
// they are the same object, whatever they hold.
class EncodableCustomValue {
 public:
  template <typename T>
  explicit EncodableCustomValue(const T& value) : value_(value) {}

  EncodableCustomValue(const EncodableCustomValue&) = default;
  EncodableCustomValue& operator=(const EncodableCustomValue&) = default;
  ~EncodableCustomValue() = default;

  const std::any& value() const { return value_; }

  // The held object, or nullptr when it is not a T.
  template <typename T>
  const T* TryGet() const {
    return std::any_cast<T>(&value_);
  }

 private:
  std::any value_;
};

namespace internal {
using EncodableVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string,
                 std::vector<uint8_t>, std::vector<int32_t>,
                 std::vector<int64_t>, std::vector<double>, EncodableValueList,
                 EncodableValueMap, EncodableCustomValue, std::vector<float>>;
}  // namespace internal

// The value that crosses a method channel: exactly one of fourteen
// alternatives, in this fixed index order (the first criterion of ordering
// and the key to the codec's type bytes):
//   0 null, 1 bool, 2 int32, 3 int64, 4 double, 5 string, 6 byte vector,
//   7 int32 vector, 8 int64 vector, 9 double vector, 10 list, 11 map,
//   12 custom, 13 float vector.
//
// A value owns its payload outright; copies are deep. A moved-from string,
// vector, list or map keeps its alternative and is left empty. Values carry
// no lock: one thread at a time.
//
// Access: `TryGet<T>()` answers nullptr for another alternative; `Get<T>()`
// throws std::bad_variant_access ("bad variant access") for it.
class EncodableValue : public internal::EncodableVariant {
 public:
  using Variant = internal::EncodableVariant;

  EncodableValue() = default;
  EncodableValue(const EncodableValue&) = default;
  // Not noexcept: moving a custom value copies its object, and that copy
  // may throw. (Every other alternative moves without throwing.)
  EncodableValue(EncodableValue&&) = default;
  EncodableValue& operator=(const EncodableValue&) = default;
  EncodableValue& operator=(EncodableValue&&) = default;
  ~EncodableValue() = default;

  // A C string is text. Without this overload a pointer would convert to
  // bool, the standard conversion that beats std::string's constructor. A
  // null pointer gives the empty string; the literal nullptr gives null.
  EncodableValue(const char* text)  // NOLINT(google-explicit-constructor)
      : Variant(text == nullptr ? std::string() : std::string(text)) {}
  EncodableValue(std::nullptr_t) {}  // NOLINT(google-explicit-constructor)
  EncodableValue& operator=(const char* text) {
    return *this = EncodableValue(text);
  }
  // `v = nullptr` makes null, as `EncodableValue(nullptr)` does; without
  // this the const char* assignment would be chosen and make "".
  EncodableValue& operator=(std::nullptr_t) { return *this = EncodableValue(); }

  // Every payload type converts implicitly, like the variant itself.
  template <typename T, typename = std::enable_if_t<
                            std::is_constructible_v<Variant, T&&> &&
                            !std::is_convertible_v<T&&, const char*> &&
                            !std::is_same_v<std::decay_t<T>, EncodableValue>>>
  EncodableValue(T&& payload)  // NOLINT(google-explicit-constructor)
      : Variant(std::forward<T>(payload)) {}

  template <typename T>
  const T* TryGet() const {
    return std::get_if<T>(static_cast<const Variant*>(this));
  }
  template <typename T>
  T* TryGet() {
    return std::get_if<T>(static_cast<Variant*>(this));
  }

  template <typename T>
  const T& Get() const {
    const T* payload = TryGet<T>();
    if (payload == nullptr) {
      // The default-constructed error, whose text is "bad variant access";
      // std::get would name the library's internals instead.
      throw std::bad_variant_access();
    }
    return *payload;
  }
  template <typename T>
  T& Get() {
    return const_cast<T&>(std::as_const(*this).Get<T>());
  }

  bool IsNull() const { return index() == 0; }
};

// The total ordering used for map keys: by alternative index first, then by
// payload (unsigned bytes for strings and byte vectors, element-wise with
// the shorter prefix first for vectors and lists, entry-wise for maps, IEEE
// less-than for floating point, identity for custom values). A NaN comes
// after every other number and is equivalent to every other NaN, also
// inside vectors and lists: IEEE less-than alone is no strict weak order,
// and a map with NaN keys would be undefined behaviour.
bool operator<(const EncodableValue& a, const EncodableValue& b);

// Same alternative and equal payload; custom values by identity, floating
// point by IEEE equality (so a NaN is unequal to itself).
bool operator==(const EncodableValue& a, const EncodableValue& b);
inline bool operator!=(const EncodableValue& a, const EncodableValue& b) {
  return !(a == b);
}

}  // namespace flutter

#endif  // QUORVANE_WRAPPER_VALUES_ENCODABLE_VALUE_H_
