// What the binding-core tests share: dynamic values written compactly, messages as readable
// texts, random pieces of values from a fixed seed, the trip native -> value -> native -> value,
// and a thread with a small stack.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/base_message.h>
#include <quil/data/native_to_value.h>
#include <quil/data/validator.h>
#include <quil/data/value.h>
#include <quil/data/value_to_native.h>
#include <quil/l10n/localizer.h>

namespace Quil::Data::Testing {

using Texts = std::vector<std::string>;

DataValuePtr Str(std::string text);
DataValuePtr Int(std::int64_t number);
DataValuePtr Bool(bool flag);
// An optional value holding none, and one holding `content`.
DataValuePtr None();
DataValuePtr Some(DataValuePtr content);
DataValuePtr List(std::initializer_list<DataValuePtr> elements,
                  ListValue::Kind kind = ListValue::Kind::LIST);
using Fields = std::initializer_list<std::pair<std::string, DataValuePtr>>;
std::shared_ptr<StructValue> Struct(std::string name, Fields fields);
// An unknown-field store holding a text under each name; none gives an empty store.
std::shared_ptr<StructValue> UnknownStore(std::initializer_list<const char*> names);

// The field of a structure value, null when it has none of that name.
DataValuePtr FieldOf(const DataValuePtr& value, std::string_view name);
// The field names of a structure value in insertion order.
Texts FieldNames(const DataValuePtr& value);

// "id(arg, arg)" per message: readable when an expectation fails.
Texts Describe(const MessageList& messages);
// What Describe gives for an unknown field of a type, and for an invalid input of an operation.
std::string Extra(std::string_view type, std::string_view field);
std::string InvalidInput(std::string_view operation);

// Validates `native` and describes the messages; they must appear exactly when the check fails.
template <typename T>
Texts Check(const T& native, Validator::Policy policy = Validator::Strict) {
  MessageList messages;
  const bool valid = Validator::isValid(native, policy, messages);
  EXPECT_EQ(valid, messages.empty()) << "messages appear exactly when the check fails";
  return Describe(messages);
}

bool SameStore(const std::shared_ptr<StructValue>& a, const std::shared_ptr<StructValue>& b);

const L10n::RequestLocalizer& DefaultLocalizer();

template <typename T>
bool ToValue(const T& native, DataValuePtr& value, MessageList& messages) {
  return NativeToValueAdapter::Adapt(native, value, messages, DefaultLocalizer());
}

// Converts `native` to a value, back to a native, and that to a value again; the two values must
// be equal and no message may appear.
template <typename T>
void RoundTrip(const T& native, T& decoded, DataValuePtr& first, DataValuePtr& second) {
  MessageList messages;
  ASSERT_TRUE(ToValue(native, first, messages));
  ASSERT_TRUE(ValueToNativeAdapter::Adapt(first, decoded, messages));
  ASSERT_TRUE(ToValue(decoded, second, messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(Equals(first.get(), second.get())) << ToText(first.get()) << "\n"
                                                 << ToText(second.get());
}

// Runs `body` on a new thread whose whole stack is 256 KiB, and waits for it.
void RunOnSmallStack(const std::function<void()>& body);

// Random pieces of native and dynamic values, the same sequence for the same seed. Edge values
// come often: empty and non-ASCII texts, the extreme integers.
class RandomValues {
 public:
  explicit RandomValues(std::uint32_t seed) : random_(seed) {}

  bool Chance(int percent);
  int Uniform(int low, int high);
  std::string Text();
  std::int64_t Number();
  std::set<std::string> TextSet();
  // Null, or a store of one to three fields whose names no test type declares.
  std::shared_ptr<StructValue> UnknownFields();
  // A value of any kind, nested ones included.
  DataValuePtr AnyValue();

 private:
  std::mt19937 random_;
};

}  // namespace Quil::Data::Testing
