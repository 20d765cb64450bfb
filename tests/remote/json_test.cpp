#include <quil/remote/json.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/json/serialize.hpp>

#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <tavo/vm/catalogue.h>

#include "support/small_stack.h"

namespace Quil::Remote::Json {
namespace {

using namespace Quil::Data;

// Random values fitting a definition: every kind, set and unset optionals, lists and sets,
// undeclared fields of the kinds JSON can tell apart, the int64 limits, empty and multi-byte
// strings. Built with a work list, as deep as the definitions (references end at kMaxDepth).
class Generator {
 public:
  explicit Generator(std::uint64_t seed) : random_(seed) {}

  DataValuePtr Make(const DataDefinition* definition) {
    DataValuePtr root;
    work_.push_back({definition, &root, 0});
    while (!work_.empty()) {
      const Task task = work_.back();
      work_.pop_back();
      Fill(task);
    }
    return root;
  }

 private:
  static constexpr int kMaxDepth = 6;
  struct Task {
    const DataDefinition* definition;  // null: an undeclared value
    DataValuePtr* slot;
    int depth;
  };

  std::size_t Below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }

  DataValuePtr Primitive(DataType::EnumType kind) {
    static const char* const kTexts[] = {"", "vm-1", "žluťoučký kůň", "日本 ✓ 𝄞",
                                         "\" \\ / \n\t\r\b\f \x01\x1f\x7f"};
    static const std::int64_t kIntegers[] = {std::numeric_limits<std::int64_t>::min(),
                                             std::numeric_limits<std::int64_t>::max(), 0, -1};
    std::string text = kTexts[Below(std::size(kTexts))];
    for (std::size_t n = Below(2) * Below(12); n > 0; --n) {
      text += static_cast<char>(' ' + Below(95));
    }
    const std::uint64_t bits = random_();
    double number;
    std::memcpy(&number, &bits, sizeof number);
    switch (kind) {
      case DataType::INTEGER:
        return DataValue::Create(Below(2) == 0 ? kIntegers[Below(4)]
                                               : static_cast<std::int64_t>(bits));
      case DataType::DOUBLE:  // whole numbers too
        return DataValue::Create(std::isfinite(number) && Below(3) > 0
                                     ? number
                                     : static_cast<double>(Below(1000)) - 500);
      case DataType::BOOLEAN:
        return DataValue::Create(Below(2) == 0);
      case DataType::STRING:
        return DataValue::Create(text);
      case DataType::SECRET:
        return SecretValue::GetInstance(text);
      case DataType::BLOB:
        return BlobValue::GetInstance(text + std::string(Below(3), static_cast<char>(bits)));
      default:
        return VoidValue::GetInstance();
    }
  }

  void Fill(const Task& task) {
    const DataDefinition* definition = task.definition;
    const bool deeper = task.depth < kMaxDepth;
    if (definition == nullptr) {
      // A kind that reads back by JSON type alone; an optional only unset (set, it is its content).
      const std::size_t pick = Below(deeper ? 7 : 5);
      if (pick == 0) {
        *task.slot = OptionalValue::GetInstance();
        return;
      }
      definition = undeclared_[pick - 1].get();
    }
    while (definition->GetType() == DataType::STRUCT_REF) {
      definition = static_cast<const StructRefDefinition&>(*definition).GetTarget().get();
    }
    switch (definition->GetType().GetType()) {
      case DataType::OPTIONAL:
      case DataType::UNION_CASE: {
        const DataDefinition* element =
            definition->GetType() == DataType::OPTIONAL
                ? static_cast<const OptionalDefinition&>(*definition).GetElementType().get()
                : static_cast<const UnionCaseDefinition&>(*definition).GetElementType().get();
        auto optional = OptionalValue::GetInstance();
        // Set around unset has the JSON form of unset: such values do not round-trip.
        const bool nested = element->GetType() == DataType::OPTIONAL;
        if (deeper && !nested && Below(2) == 0) {
          work_.push_back({element, optional->value(nullptr), task.depth + 1});
        }
        *task.slot = std::move(optional);
        return;
      }
      case DataType::LIST: {
        const auto& list = static_cast<const ListDefinition&>(*definition);
        auto value = ListValue::GetInstance(list.GetKind());
        for (std::size_t n = deeper ? Below(4) : 0; n > 0; --n) {
          work_.push_back({list.GetElementType().get(), value->AppendSlot(), task.depth + 1});
        }
        *task.slot = std::move(value);
        return;
      }
      case DataType::STRUCTURE:
      case DataType::ERROR: {
        const auto& structure = static_cast<const StructDefinition&>(*definition);
        std::shared_ptr<CompoundValue> value = StructValue::GetInstance(structure.GetName());
        if (definition->GetType() == DataType::ERROR)
          value = ErrorValue::GetInstance(structure.GetName());
        for (const auto& [name, field] : structure.GetFields()) {
          work_.push_back({field.get(), value->FieldSlot(name), task.depth + 1});
        }
        for (std::size_t n = Below(3) == 0 ? Below(3) + 1 : 0; n > 0; --n) {
          work_.push_back(
              {nullptr, value->FieldSlot("undeclared_" + std::to_string(n)), task.depth + 1});
        }
        *task.slot = std::move(value);
        return;
      }
      default:
        *task.slot = Primitive(definition->GetType().GetType());
    }
  }

  std::mt19937_64 random_;
  std::vector<Task> work_;
  // Primitives first: only they are picked once deep enough.
  const DataDefinitionPtr undeclared_[6] = {
      DataDefinition::Create<std::string>(), DataDefinition::Create<std::int64_t>(),
      DataDefinition::Create<double>(),      DataDefinition::Create<bool>(),
      ListDefinition::GetInstance(nullptr),  // JSON has no structure names:
      StructDefinition::GetInstance("", {})};
};

// Every kind the catalogue may not use yet, a self reference among them.
DataDefinitionPtr AllKinds() {
  auto self = StructRefDefinition::GetInstance("com.example.all");
  auto anyTag = [](std::string_view) { return boost::tribool(boost::indeterminate); };
  auto all = StructDefinition::GetInstance(
      "com.example.all", {{"ratio", DataDefinition::Create<double>()},
                          {"ratios", ListDefinition::GetInstance(DataDefinition::Create<double>(),
                                                                 ListValue::Kind::SET)},
                          {"data", PrimitiveDefinition::GetInstance(DataType::BLOB)},
                          {"password", PrimitiveDefinition::GetInstance(DataType::SECRET)},
                          {"nothing", DataDefinition::Create<Void>()},
                          {"choice", UnionCaseDefinition::GetInstance(
                                         DataDefinition::Create<std::string>(), "kind", anyTag)},
                          {"next", OptionalDefinition::GetInstance(self)}});
  self->SetTarget(all);
  return all;
}

std::string EncodeOrFail(const DataValue& value) {
  std::string text;
  MessageList messages;
  EXPECT_TRUE(Encode(value, text, messages));
  EXPECT_TRUE(messages.empty());
  return text;
}

TEST(JsonTest, EveryCatalogueDefinitionRoundTrips) {
  Generator generator(20240611);
  std::size_t checked = 0;
  auto roundTrip = [&](const DataDefinitionPtr& definition,
                       const std::vector<DataDefinitionPtr>* errors) {
    const DataValuePtr value = generator.Make(definition.get());
    const std::string text = EncodeOrFail(*value);
    DataValuePtr back;
    MessageList messages;
    ASSERT_TRUE(Decode(text, definition, back, messages)) << text;
    EXPECT_TRUE(Equals(value.get(), back.get())) << text << "\n" << ToText(back.get());
    EXPECT_EQ(EncodeOrFail(*back), text);
    if (errors != nullptr) {  // an error also comes back through the list of declared errors
      boost::json::monotonic_resource resource;
      auto json = Parse(text, resource, messages);
      ASSERT_TRUE(json.has_value());
      ErrorValuePtr error;
      ASSERT_TRUE(DecodeError(*json, *errors, error, messages)) << text;
      EXPECT_TRUE(Equals(value.get(), error.get())) << text;
    }
    ++checked;
  };
  for (const auto& service : Com::Korvan::Tavo::Vm::DescribeServices()->List()) {
    for (const auto& method : service->GetMethods()) {
      for (int round = 0; round < 5; ++round) {
        roundTrip(method->inputDefinition(), nullptr);
        roundTrip(method->outputDefinition(), nullptr);
      }
      for (const DataDefinitionPtr& error : method->errorDefinitions()) {
        roundTrip(error, &method->errorDefinitions());
      }
    }
  }
  const DataDefinitionPtr allKinds = AllKinds();
  for (int round = 0; round < 50; ++round) roundTrip(allKinds, nullptr);
  EXPECT_GT(checked, 350u);
}

TEST(JsonTest, RefusalsNameTheirPath) {
  const DataDefinitionPtr integer = DataDefinition::Create<std::int64_t>();
  const DataDefinitionPtr spec = StructDefinition::GetInstance(
      "com.example.spec",
      {{"count", integer},
       {"note", OptionalDefinition::GetInstance(DataDefinition::Create<std::string>())},
       {"data", PrimitiveDefinition::GetInstance(DataType::BLOB)}});
  const DataDefinitionPtr item =
      StructDefinition::GetInstance("com.example.item", {{"id", integer}});
  const DataDefinitionPtr input = StructDefinition::GetInstance(
      "input", {{"update_spec", spec}, {"list", ListDefinition::GetInstance(item)}});
  // The message id after "quil.remote.json." and the arguments joined by " | ", a ':' ending the
  // part of a parser's text that is checked.
  const std::string refusals[][3] = {
      {R"({"update_spec": {"count": 9223372036854775808}})", "integer.range",
       "update_spec.count | 9223372036854775808"},
      {R"({"update_spec": {"count": -9223372036854775809}})", "integer.range",
       "update_spec.count | -9.223372036854776e+18"},
      {R"({"update_spec": {"count": 2.5}})", "integer.fraction", "update_spec.count | 2.5"},
      {R"({"list": [{"id": 1}, {"id": 2}, {"id": 0.5}]})", "integer.fraction", "list[2].id | 0.5"},
      {"{\"update_spec\": {\"note\": \"a\xff\"}}", "utf8", "update_spec.note"},
      {"{\"update_spec\": {\"\xed\xa0\x80\": 1}}", "utf8", "update_spec"},  // a surrogate key
      {"{\"list\": [\"\xc0\xaf\"]}", "utf8", "list[0]"},                    // overlong
      {R"({"update_spec": {"data": "AB=C"}})", "", "update_spec.data | blob | AB=C"},
      {R"({"update_spec": })", "syntax", "update_spec | parse error at line 1, column 17:"},
      {R"({"list": [1], "update_spec" 1})", "syntax",
       "update_spec | parse error at line 1, column 29:"},
      {R"({"list": [1]} x)", "syntax", "(root) | parse error at line 1, column 15:"},
      {R"({"list": [[[[]]]]})", "too.deep", "list[0][0][0] | 4"},
      {std::string(65, ' '), "too.large", "65 | 64"},
      {"[1e400]", "syntax", "[0] | number overflow parsing '1e400'"},
  };
  DecodeLimits limits;
  limits.maxDepth = 4;
  limits.maxBytes = 64;
  for (const auto& [text, id, args] : refusals) {
    SCOPED_TRACE(text);
    DataValuePtr out = DataValue::Create(std::int64_t{1});
    MessageList messages;
    EXPECT_FALSE(Decode(text, input, out, messages, limits));
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id,
              id.empty() ? "quil.data.definition.string.unparsable" : "quil.remote.json." + id);
    std::string joined;
    for (const std::string& arg : messages[0].args) joined += (joined.empty() ? "" : " | ") + arg;
    if (args.back() == ':') joined.resize(std::min(joined.size(), args.size()));
    EXPECT_EQ(joined, args);
  }

  // The walk over a parsed tree counts depth from its root and prefixes the caller's path.
  boost::json::monotonic_resource resource;
  MessageList messages;
  auto deep = Parse(R"([[[[[1]]]]])", resource, messages);
  ASSERT_TRUE(deep.has_value());
  DataValuePtr out;
  EXPECT_FALSE(Decode(*deep, nullptr, out, messages, limits, "params"));
  EXPECT_EQ(messages.back().args, (std::vector<std::string>{"params[0][0][0][0]", "4"}));

  // Encoding refuses what JSON cannot hold, with the path.
  auto inner = StructValue::GetInstance("s");
  auto outer = StructValue::GetInstance("o");
  auto list = ListValue::GetInstance(ListValue::Kind::LIST);
  list->Append(DataValue::Create(std::string("ok")));
  list->Append(inner);
  outer->SetField("items", list);
  for (const auto& [bad, id] : {std::pair{DataValue::Create(std::nan("")), "not.number"},
                                {DataValue::Create(std::string("\x80")), "utf8"}}) {
    inner->SetField("ratio", bad);
    std::string text;
    EXPECT_FALSE(Encode(*outer, text, messages));
    EXPECT_EQ(messages.back().id, "quil.remote.json." + std::string(id));
    EXPECT_EQ(messages.back().args, std::vector<std::string>{"items[1].ratio"});
  }

  // An error object needs a string "name".
  ErrorValuePtr error;
  for (const char* bad : {R"([])", R"({"messages": []})", R"({"name": 4})"}) {
    messages.clear();
    auto json = Parse(bad, resource, messages);
    ASSERT_TRUE(json.has_value());
    EXPECT_FALSE(DecodeError(*json, {}, error, messages)) << bad;
    ASSERT_EQ(messages.size(), 1u);
  }
  EXPECT_EQ(messages[0].id, "quil.data.definition.type.mismatch");
  EXPECT_EQ(messages[0].args, (std::vector<std::string>{"name", "string", "integer"}));
}

TEST(JsonTest, DecodingFollowsTheDefinitionAndElseTheJsonType) {
  const DataDefinitionPtr integer = DataDefinition::Create<std::int64_t>();
  const DataDefinitionPtr spec = StructDefinition::GetInstance(
      "com.example.spec",
      {{"count", integer},
       {"ratio", DataDefinition::Create<double>()},
       {"tags",
        ListDefinition::GetInstance(DataDefinition::Create<std::string>(), ListValue::Kind::SET)},
       {"note", OptionalDefinition::GetInstance(DataDefinition::Create<std::string>())}});
  MessageList messages;
  DataValuePtr out;
  auto decode = [&](const std::string& text, const DataDefinitionPtr& definition) {
    out = nullptr;
    EXPECT_TRUE(Decode(text, definition, out, messages)) << text;
    EXPECT_TRUE(messages.empty()) << text << ": " << messages[0].defaultMessage;
    return ToText(out.get());
  };
  EXPECT_EQ(
      decode(R"({"count": -9223372036854775808, "ratio": 3, "tags": ["a"]})", spec),
      R"(com.example.spec{count: -9223372036854775808, ratio: 3, tags: set["a"], note: none})");
  // A whole number with a fraction or exponent is an integer; a kind mismatch is left to the
  // definition checks; undeclared members decode by JSON type.
  EXPECT_EQ(
      decode(
          R"({"count": 1e3, "ratio": "x", "tags": 5, "note": "n", "more": [1, 2.5, null, {"a": true}]})",
          spec),
      R"(com.example.spec{count: 1000, ratio: "x", tags: 5, note: some("n"), more: [1, 2.5, none, {a: true}]})");
  EXPECT_EQ(decode(R"([{"x": "y"}, -0.0, 1e-400])", nullptr), R"([{x: "y"}, -0, 0])");

  // Without a definition, a number beyond int64 has nowhere to go.
  EXPECT_FALSE(Decode(std::string_view("[18446744073709551615]"), nullptr, out, messages));
  EXPECT_EQ(messages.back().args, (std::vector<std::string>{"[0]", "18446744073709551615"}));

  // Blobs travel as base64, errors with their name first.
  auto error = ErrorValue::Create("com.example.failed", {});
  error->SetField("data", BlobValue::GetInstance(std::string("\0\xff\x10", 3)));
  EXPECT_EQ(EncodeOrFail(*error), R"({"name":"com.example.failed","messages":[],"data":"AP8Q"})");
  boost::json::value described = DescribeDefinition(*spec);
  EXPECT_EQ(boost::json::serialize(described),
            R"({"type":"structure","name":"com.example.spec","fields":{"count":{"type":"integer"},)"
            R"("note":{"type":"optional","element":{"type":"string"}},"ratio":{"type":"double"},)"
            R"("tags":{"type":"set","element":{"type":"string"}}}})");
}

// A million levels, encoded and decoded on a thread whose stack holds a few hundred frames.
void RoundTripDeep() {
  constexpr std::size_t kDepth = 1'000'000;
  DataValuePtr lists = DataValue::Create(std::int64_t{7});
  for (std::size_t level = 0; level < kDepth; ++level) {
    auto list = ListValue::GetInstance(ListValue::Kind::LIST);
    list->Append(std::move(lists));
    lists = std::move(list);
  }
  auto self = StructRefDefinition::GetInstance("node");
  DataDefinitionPtr node =
      StructDefinition::GetInstance("node", {{"next", OptionalDefinition::GetInstance(self)}});
  self->SetTarget(std::static_pointer_cast<const StructDefinition>(node));
  auto leaf = StructValue::GetInstance("node");
  leaf->SetField("next", OptionalValue::GetInstance());
  DataValuePtr chain = leaf;
  for (std::size_t level = 1; level < kDepth; ++level) {
    auto parent = StructValue::GetInstance("node");
    auto next = OptionalValue::GetInstance();
    next->value(std::move(chain));
    parent->SetField("next", std::move(next));
    chain = std::move(parent);
  }

  DecodeLimits limits;
  limits.maxDepth = kDepth + 1;
  for (const auto& [value, definition] :
       {std::pair{lists, DataDefinitionPtr()}, std::pair{chain, node}}) {
    const std::string text = EncodeOrFail(*value);
    EXPECT_GT(text.size(), 2 * kDepth);
    DataValuePtr back;
    MessageList messages;
    EXPECT_TRUE(Decode(text, definition, back, messages, limits));
    EXPECT_TRUE(Equals(value.get(), back.get()));
  }
}

TEST(JsonTest, AMillionLevelsOnASmallStack) {
  ASSERT_TRUE(TestSupport::RunOnSmallStack(256 * 1024, RoundTripDeep));
}

}  // namespace
}  // namespace Quil::Remote::Json
