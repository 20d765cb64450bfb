#include <quil/remote/json.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/json/serialize.hpp>

#include <quil/data/definition.h>
#include <quil/data/value.h>

#include "support/small_stack.h"

namespace Quil::Remote::Json {
namespace {

using namespace Quil::Data;

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

// The catalogue's inputs and errors round-trip in the json fuzz target, from text; here the kinds
// it does not use yet, the values at the edges of each kind and undeclared fields.
TEST(JsonTest, TextsOfEveryKindReadBackAsTheyWere) {
  const DataDefinitionPtr allKinds = AllKinds();
  const std::string texts[] = {
      R"({"ratio":0.1,"ratios":[1.7976931348623157e308,5e-324,-0.0,3],"data":"AP8Q",)"
      R"("password":"\" \\ / \n\t\r\b\f \u0001\u001f\u007f","nothing":null,"choice":"日本 ✓ 𝄞",)"
      R"("next":{"ratio":-1e-7,"ratios":[],"data":"QUI=","password":"","nothing":null,)"
      R"("choice":null,"next":{"data":"QQ==","ratios":[2.5],"next":null},)"
      R"("more":[-9223372036854775808,9223372036854775807,3.0,-0.0,"žluť",true,null,{"a":[{}]}]}})",
      R"({"ratio":-2,"ratios":[0.5],"data":"","password":"x","nothing":null,"choice":"",)"
      R"("next":null,"e":{},"f":[]})",
  };
  for (const std::string& text : texts) {
    for (const DataDefinitionPtr& definition : {allKinds, DataDefinitionPtr()}) {
      SCOPED_TRACE(text);
      DataValuePtr value, back;
      MessageList messages;
      ASSERT_TRUE(Decode(text, definition, value, messages)) << messages[0].defaultMessage;
      const std::string encoded = EncodeOrFail(*value);
      ASSERT_TRUE(Decode(encoded, definition, back, messages)) << encoded;
      EXPECT_TRUE(Equals(value.get(), back.get())) << encoded << "\n" << ToText(back.get());
      EXPECT_EQ(EncodeOrFail(*back), encoded);
    }
  }
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
