#include "values/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace flutter {
namespace {

TEST(EncodableValueTest, DefaultIsNull) {
  const EncodableValue value;
  EXPECT_EQ(value.index(), 0u);
  EXPECT_TRUE(value.IsNull());
}

TEST(EncodableValueTest, CStringConstructsStringNotBool) {
  const EncodableValue value("getCertificate");
  ASSERT_EQ(value.index(), 5u);
  EXPECT_EQ(value.Get<std::string>(), "getCertificate");

  char mutable_text[] = "x";
  EncodableValue from_mutable(mutable_text);
  EXPECT_EQ(from_mutable.index(), 5u);
  from_mutable = "assigned";
  EXPECT_EQ(from_mutable.Get<std::string>(), "assigned");

  // A null C string is no text at all, not a crash; the literal nullptr is
  // the null value.
  EXPECT_EQ(EncodableValue(static_cast<const char*>(nullptr)),
            EncodableValue(std::string()));
  EXPECT_TRUE(EncodableValue(nullptr).IsNull());
}

TEST(EncodableValueTest, PayloadsSelectTheirAlternative) {
  struct Case {
    const char* name;
    EncodableValue value;
    size_t index;
  };
  const Case cases[] = {
      {"null", EncodableValue(), 0},
      {"bool", EncodableValue(true), 1},
      {"int32", EncodableValue(int32_t{7}), 2},
      {"int64", EncodableValue(int64_t{7}), 3},
      {"double", EncodableValue(1.5), 4},
      {"string", EncodableValue(std::string("s")), 5},
      {"bytes", EncodableValue(std::vector<uint8_t>{1}), 6},
      {"int32 vector", EncodableValue(std::vector<int32_t>{1}), 7},
      {"int64 vector", EncodableValue(std::vector<int64_t>{1}), 8},
      {"double vector", EncodableValue(std::vector<double>{1}), 9},
      {"list", EncodableValue(EncodableValueList{}), 10},
      {"map", EncodableValue(EncodableValueMap{}), 11},
      {"custom", EncodableValue(EncodableCustomValue(42)), 12},
      {"float vector", EncodableValue(std::vector<float>{1}), 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value.index(), c.index);
  }
}

TEST(EncodableValueTest, StrictAccessToOtherAlternativeThrowsBadVariantAccess) {
  const EncodableValue value(int32_t{1});
  EXPECT_EQ(value.TryGet<std::string>(), nullptr);
  ASSERT_NE(value.TryGet<int32_t>(), nullptr);
  try {
    value.Get<std::string>();
    FAIL() << "no exception";
  } catch (const std::bad_variant_access& error) {
    EXPECT_STREQ(error.what(), "bad variant access");
  }
}

// Each row: values in strictly ascending order.
TEST(EncodableValueTest, OrderingRules) {
  struct Case {
    const char* name;
    std::vector<EncodableValue> ascending;
  };
  const Case cases[] = {
      {"control: int32", {int32_t{-1}, int32_t{0}, int32_t{5}}},
      {"index before payload",
       {EncodableValue(), false, true, int32_t{7}, int64_t{1}, 1.0,
        std::string("1")}},
      {"signed int64", {int64_t{-5}, int64_t{3}}},
      {"strings: prefix first, then unsigned bytes",
       {std::string("A"), std::string("ab"), std::string("abc"),
        std::string("b"), std::string("\xC3")}},
      {"byte vectors: prefix first",
       {std::vector<uint8_t>{1, 2}, std::vector<uint8_t>{1, 2, 0},
        std::vector<uint8_t>{0xFF}}},
      {"typed vectors: signed elements",
       {std::vector<int32_t>{-1}, std::vector<int32_t>{-1, 0},
        std::vector<int32_t>{2}}},
      {"float vectors", {std::vector<float>{0.5f}, std::vector<float>{1.5f}}},
      {"lists: element-wise",
       {EncodableValueList{int32_t{1}}, EncodableValueList{int32_t{1}, nullptr},
        EncodableValueList{int32_t{2}}}},
      {"maps: key, then mapped value, then length",
       {EncodableValueMap{{int32_t{1}, "a"}},
        EncodableValueMap{{int32_t{1}, "b"}},
        EncodableValueMap{{int32_t{1}, "z"}},
        EncodableValueMap{{int32_t{1}, "z"}, {int32_t{2}, "a"}},
        EncodableValueMap{{int32_t{2}, "a"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (size_t i = 0; i + 1 < c.ascending.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_TRUE(c.ascending[i] < c.ascending[i + 1]);
      EXPECT_FALSE(c.ascending[i + 1] < c.ascending[i]);
      EXPECT_FALSE(c.ascending[i] < c.ascending[i]);
    }
  }
}

// IEEE less-than is no strict weak order once a NaN is a key: keys NaN, 1,
// 2 collapsed to one entry, and count(2.0) found the NaN's.
TEST(EncodableValueTest, NanKeysKeepMapsSound) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    std::vector<EncodableValue> keys;
    size_t distinct;
  };
  const Case cases[] = {
      {"control: numbers only", {1.0, 2.0, 3.0}, 3},
      {"NaN first", {nan, 1.0, 2.0}, 3},
      {"NaN between", {1.0, nan, 2.0}, 3},
      {"two NaNs are one key", {nan, 1.0, -nan}, 2},
      {"NaN inside double vectors",
       {std::vector<double>{nan}, std::vector<double>{1.0},
        std::vector<double>{2.0}},
       3},
      {"NaN inside float vectors",
       {std::vector<float>{1.0F, static_cast<float>(nan)},
        std::vector<float>{1.0F, 2.0F}},
       2},
      {"NaN inside lists",
       {EncodableValueList{nan}, EncodableValueList{1.0},
        EncodableValueList{2.0}},
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EncodableValueMap map;
    for (size_t i = 0; i < c.keys.size(); ++i) {
      map.emplace(c.keys[i], static_cast<int32_t>(i));
    }
    EXPECT_EQ(map.size(), c.distinct);
    // Every key finds its own entry (the first, for equivalent NaNs).
    for (const auto& key : c.keys) {
      ASSERT_EQ(map.count(key), 1u);
    }
    const auto last = map.rbegin()->first;
    for (const auto& entry : map) {
      EXPECT_FALSE(last < entry.first);  // NaN-holding keys order last
    }
  }
  const EncodableValue one(1.0);
  EXPECT_TRUE(one < EncodableValue(nan));
  EXPECT_FALSE(EncodableValue(nan) < one);
  EXPECT_FALSE(EncodableValue(nan) < EncodableValue(nan));
}

// Keys nested 100 deep, equal but for the innermost value: ordering them by
// less-than alone asks a < b and b < a at every level (and twice more per
// map entry), 2^100 steps and more; a fuzzer's 700-byte message hung there.
TEST(EncodableValueTest, DeeplyNestedKeysCompareInLinearTime) {
  EncodableValue list_a = int32_t{1};
  EncodableValue list_b = int32_t{2};
  EncodableValue map_a = int32_t{1};
  EncodableValue map_b = int32_t{2};
  for (int i = 0; i < 100; ++i) {
    list_a = EncodableValueList{list_a};
    list_b = EncodableValueList{list_b};
    map_a = EncodableValueMap{{map_a, nullptr}};
    map_b = EncodableValueMap{{map_b, nullptr}};
  }
  EXPECT_TRUE(list_a < list_b);
  EXPECT_FALSE(list_b < list_a);
  EXPECT_TRUE(map_a < map_b);
  EXPECT_FALSE(map_a < map_a);
}

TEST(EncodableValueTest, MixedKeysAreDistinctAndIterateByIndex) {
  EncodableValueMap map;
  map[std::string("1")] = "string";
  map[1.0] = "double";
  map[int64_t{1}] = "int64";
  map[int32_t{1}] = "int32";
  map[std::vector<uint8_t>{'1'}] = "bytes";
  std::vector<std::string> order;
  for (const auto& entry : map) {
    order.push_back(entry.second.Get<std::string>());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"int32", "int64", "double",
                                             "string", "bytes"}));
}

TEST(EncodableValueTest, CopyIsDeep) {
  const EncodableValue source(EncodableValueMap{
      {"list", EncodableValueList{int32_t{1}, std::string("two")}}});
  EncodableValue copy = source;
  auto& list = copy.Get<EncodableValueMap>()[EncodableValue("list")]
                   .Get<EncodableValueList>();
  list.emplace_back(3.0);
  list[1] = "changed";
  const auto& original =
      source.Get<EncodableValueMap>().at("list").Get<EncodableValueList>();
  ASSERT_EQ(original.size(), 2u);
  EXPECT_EQ(original[1].Get<std::string>(), "two");
  EXPECT_NE(copy, source);
}

TEST(EncodableValueTest, MovedFromKeepsAlternativeAndIsEmpty) {
  struct Case {
    const char* name;
    EncodableValue value;
    EncodableValue empty;
  };
  Case cases[] = {
      {"string", std::string(100, 'x'), std::string()},
      {"bytes", std::vector<uint8_t>(100, 1), std::vector<uint8_t>()},
      {"int32 vector", std::vector<int32_t>(100, 1), std::vector<int32_t>()},
      {"list", EncodableValueList(3, EncodableValue(true)),
       EncodableValueList()},
      {"map", EncodableValueMap{{int32_t{1}, int32_t{2}}}, EncodableValueMap()},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EncodableValue expected = c.value;
    const EncodableValue constructed(std::move(c.value));
    EXPECT_EQ(constructed, expected);
    EXPECT_EQ(c.value, c.empty);  // NOLINT(bugprone-use-after-move)

    c.value = expected;
    EncodableValue assigned;
    assigned = std::move(c.value);
    EXPECT_EQ(assigned, expected);
    EXPECT_EQ(c.value, c.empty);  // NOLINT(bugprone-use-after-move)
  }
}

TEST(EncodableValueTest, MoveAssignmentAcrossAlternatives) {
  EncodableValue target(std::string("text"));
  EncodableValue source(EncodableValueList{int32_t{1}});
  target = std::move(source);
  ASSERT_EQ(target.index(), 10u);
  EXPECT_EQ(target.Get<EncodableValueList>().size(), 1u);
  target = int32_t{9};
  EXPECT_EQ(target.Get<int32_t>(), 9);
}

TEST(EncodableValueTest, CustomValuesCompareByIdentity) {
  const EncodableValue a(EncodableCustomValue(std::string("same")));
  const EncodableValue b(EncodableCustomValue(std::string("same")));
  EXPECT_TRUE((a < b) != (b < a));
  EXPECT_FALSE(a < a);
  EXPECT_EQ(a, a);
  EXPECT_NE(a, b);

  EncodableValueMap map;
  map[a] = 1;
  map[b] = 2;
  EXPECT_EQ(map.size(), 2u);
}

TEST(EncodableValueTest, CustomValueMoveCopiesTheHeldObject) {
  EncodableCustomValue source(std::vector<int>{1, 2, 3});
  // Moving copies: the source keeps its object.
  EncodableCustomValue target(
      std::move(source));  // NOLINT(performance-move-const-arg)
  ASSERT_NE(source.TryGet<std::vector<int>>(), nullptr);  // NOLINT
  EXPECT_EQ(source.TryGet<std::vector<int>>()->size(), 3u);
  EXPECT_EQ(*target.TryGet<std::vector<int>>(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(target.TryGet<int>(), nullptr);
}

// Copies succeed until `refuse` is set.
struct RefusesCopies {
  static inline bool refuse = false;
  RefusesCopies() = default;
  RefusesCopies(const RefusesCopies& /*other*/) {
    if (refuse) {
      throw std::runtime_error("copy refused");
    }
  }
};

// Moving a custom value copies its object; a throwing copy must reach the
// caller as an exception, not end the program through a noexcept move.
TEST(EncodableValueTest, MoveOfACustomValueMayThrow) {
  EncodableValue source{EncodableCustomValue(RefusesCopies())};
  RefusesCopies::refuse = true;
  bool caught = false;
  try {
    EncodableValue target(std::move(source));
  } catch (const std::runtime_error&) {
    caught = true;
  }
  RefusesCopies::refuse = false;
  EXPECT_TRUE(caught);
  // The failed move left the source whole.
  // NOLINTNEXTLINE(bugprone-use-after-move)
  const auto& custom = source.Get<EncodableCustomValue>();
  EXPECT_NE(custom.TryGet<RefusesCopies>(), nullptr);
}

// `v = nullptr` must not pick the C-string assignment and make "".
TEST(EncodableValueTest, AssigningNullptrMakesNull) {
  EncodableValue value("text");
  value = nullptr;
  EXPECT_TRUE(value.IsNull());
  EXPECT_TRUE(EncodableValue(nullptr).IsNull());
}

TEST(EncodableValueTest, CStringKeyFindsOnlyStringEntries) {
  EncodableValueMap map;
  map[std::vector<uint8_t>{'k'}] = 1;
  EXPECT_EQ(map.find(EncodableValue("k")), map.end());
  map[std::string("k")] = 2;
  EXPECT_EQ(map.find("k")->second.Get<int32_t>(), 2);
}

}  // namespace
}  // namespace flutter
