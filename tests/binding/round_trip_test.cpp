// Native to value to native and back to a value, over random values from a fixed seed.
#include <quil/data/native_to_value.h>
#include <quil/data/value_to_native.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "binding/test_support.h"
#include "binding/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;
using Kinds::Kind;

TEST(RoundTripTest, RandomValuesSurvive) {
  std::mt19937 random(20240611);
  const auto pick = [&random](int count) {
    return std::uniform_int_distribution<int>(0, count - 1)(random);
  };
  // Edge values come often: empty and non-ASCII texts, extreme integers, unknown enum texts.
  const auto text = [&] {
    const char* const texts[] = {"", "a", "Ünïcödé", "a longer text that needs the heap"};
    return std::string(texts[pick(4)]);
  };
  const auto number = [&]() -> std::int64_t {
    const std::int64_t edges[] = {std::numeric_limits<std::int64_t>::min(),
                                  std::numeric_limits<std::int64_t>::max(), pick(200000) - 100000};
    return edges[pick(3)];
  };
  const auto kind = [&] {
    const char* const texts[] = {"ALPHA", "BETA", "_UNKNOWN", "delta", "alpha"};
    return Kind::FromText(texts[pick(5)]);
  };
  // Null, or a store of fields whose names no test type declares.
  const auto unknownFields = [&]() -> std::shared_ptr<StructValue> {
    if (pick(2) == 0) return nullptr;
    const char* const names[] = {"", "zz_extra", "lea", "Number"};
    const DataValuePtr values[] = {
        Int(number()), Some(Str(text())),
        Struct("com.example.extra", {{"n", List({}, ListValue::Kind::SET)}})};
    auto store = StructValue::GetInstance("unknownFields");
    for (int i = pick(2); i >= 0; --i) store->SetField(names[pick(4)], values[pick(3)]);
    return store;
  };
  const auto leaf = [&] {
    auto made = std::make_shared<Kinds::Leaf>();
    made->id = text();
    made->kind = kind();
    made->size = number();
    made->unknownFields = unknownFields();
    return made;
  };

  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    Kinds::Everything native;
    native.number = number();
    native.flag = pick(2);
    native.kind = kind();
    if (pick(2)) native.maybeText = text();
    if (pick(2)) native.maybeKinds = std::set<Kind>{kind(), kind()};
    native.leaf = leaf();
    for (int i = pick(4); i > 0; --i) native.leaves.push_back(leaf());
    native.kinds = {kind(), kind(), kind()};
    auto choice = std::make_shared<Kinds::Choice>();
    choice->tag = kind();
    if (pick(2)) choice->name = text();
    if (pick(2)) choice->path = text();
    native.choice = choice;
    native.unknownFields = unknownFields();

    // Whatever decoding dropped or changed shows in the second value.
    Kinds::Everything decoded;
    DataValuePtr first;
    DataValuePtr second;
    MessageList messages;
    ASSERT_TRUE(ToValue(native, first, messages));
    ASSERT_TRUE(ValueToNativeAdapter::Adapt(first, decoded, messages));
    ASSERT_TRUE(ToValue(decoded, second, messages));
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(Equals(first.get(), second.get())) << ToText(first.get()) << "\n"
                                                   << ToText(second.get());
  }
}

}  // namespace
}  // namespace Quil::Data
