#include <quil/data/definition_check.h>

#include <pthread.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/message.h>
#include <quil/provider/api_method_helper.h>

namespace Quil::Data {
namespace {

using Texts = std::vector<std::string>;

DataDefinitionPtr IntDef() { return DataDefinition::Create<std::int64_t>(); }
DataDefinitionPtr StrDef() { return DataDefinition::Create<std::string>(); }
DataDefinitionPtr BoolDef() { return DataDefinition::Create<bool>(); }
DataDefinitionPtr OptDef(DataDefinitionPtr element) {
  return OptionalDefinition::GetInstance(std::move(element));
}
DataDefinitionPtr ListDef(DataDefinitionPtr element) {
  return ListDefinition::GetInstance(std::move(element));
}
DataDefinitionPtr StructDef(std::string name, FieldDefinitions fields) {
  return StructDefinition::GetInstance(std::move(name), std::move(fields));
}

DataValuePtr Int(std::int64_t value) { return DataValue::Create(value); }
DataValuePtr Str(std::string text) { return DataValue::Create(text); }
DataValuePtr Bool(bool value) { return DataValue::Create(value); }
DataValuePtr Unset() { return OptionalValue::GetInstance(); }
DataValuePtr Holding(DataValuePtr content) {
  auto optional = OptionalValue::GetInstance();
  optional->value(std::move(content));
  return optional;
}
DataValuePtr List(std::vector<DataValuePtr> elements) {
  auto list = ListValue::GetInstance(ListValue::Kind::LIST);
  for (auto& element : elements) list->Append(std::move(element));
  return list;
}
std::shared_ptr<StructValue> Struct(std::string name,
                                    std::vector<std::pair<std::string, DataValuePtr>> fields) {
  auto value = StructValue::GetInstance(std::move(name));
  for (auto& [field, content] : fields) value->SetField(field, std::move(content));
  return value;
}

// One failure: the message id and its arguments (the path first).
struct Failure {
  std::string id;
  Texts args;
  friend bool operator==(const Failure& a, const Failure& b) {
    return a.id == b.id && a.args == b.args;
  }
  friend std::ostream& operator<<(std::ostream& out, const Failure& failure) {
    out << failure.id << "(";
    for (const auto& arg : failure.args) out << '"' << arg << "\" ";
    return out << ")";
  }
};
using Failures = std::vector<Failure>;

Failures ToFailures(const MessageList& messages) {
  Failures failures;
  for (const auto& message : messages) failures.push_back({message.id, message.args});
  return failures;
}

// The failures of one check; the result agrees with whether any were reported.
Failures Check(const DataDefinitionPtr& definition, const DataValuePtr& value,
               CheckMode mode = CheckMode::Lenient) {
  MessageList messages;
  const bool fits = CheckValue(*definition, value, mode, messages);
  EXPECT_EQ(fits, messages.empty());
  return ToFailures(messages);
}

const Failures kFits;
const std::string kMismatch = "quil.data.definition.type.mismatch";
const std::string kUnparsable = "quil.data.definition.string.unparsable";
const std::string kMissing = "quil.data.definition.field.missing";
const std::string kNull = "quil.data.definition.value.missing";

TEST(DefinitionCheckTest, PrimitivesTakeTheirKindOrAStringThatParses) {
  constexpr CheckMode kExact = CheckMode::Exact;
  EXPECT_EQ(Check(IntDef(), Int(4), kExact), kFits);
  EXPECT_EQ(Check(BoolDef(), Bool(false), kExact), kFits);
  EXPECT_EQ(Check(DataDefinition::Create<Void>(), DataValue::Create(Void{}), kExact), kFits);
  EXPECT_EQ(Check(DataDefinition::Create<double>(), DataValue::Create(1.5), kExact), kFits);
  EXPECT_EQ(Check(IntDef(), Bool(true)), (Failures{{kMismatch, {"value", "integer", "boolean"}}}));
  EXPECT_EQ(Check(StrDef(), Int(1)), (Failures{{kMismatch, {"value", "string", "integer"}}}));
  EXPECT_EQ(Check(IntDef(), DataValue::Create(1.0)),
            (Failures{{kMismatch, {"value", "integer", "double"}}}));
  EXPECT_EQ(Check(IntDef(), Str("42"), kExact),
            (Failures{{kMismatch, {"value", "integer", "string"}}}));

  // Lenient: exactly the strings that the value-to-native adapter parses.
  EXPECT_EQ(Check(IntDef(), Str("42")), kFits);
  EXPECT_EQ(Check(IntDef(), Str("-9223372036854775808")), kFits);
  EXPECT_EQ(Check(IntDef(), Str("9223372036854775808")),
            (Failures{{kUnparsable, {"value", "integer", "9223372036854775808"}}}));
  EXPECT_EQ(Check(IntDef(), Str(" 4")), (Failures{{kUnparsable, {"value", "integer", " 4"}}}));
  EXPECT_EQ(Check(IntDef(), Str("")), (Failures{{kUnparsable, {"value", "integer", ""}}}));
  EXPECT_EQ(Check(BoolDef(), Str("true")), kFits);
  EXPECT_EQ(Check(BoolDef(), Str("yes")), (Failures{{kUnparsable, {"value", "boolean", "yes"}}}));
  EXPECT_EQ(Check(DataDefinition::Create<double>(), Str("2.5e3")), kFits);
  EXPECT_EQ(Check(DataDefinition::Create<Void>(), Str("")), kFits);
  EXPECT_EQ(Check(DataDefinition::Create<Void>(), Str("x")),
            (Failures{{kUnparsable, {"value", "void", "x"}}}));
  EXPECT_EQ(Check(PrimitiveDefinition::GetInstance(DataType::SECRET), Str("pw")), kFits);
  EXPECT_EQ(Check(PrimitiveDefinition::GetInstance(DataType::SECRET), Str("pw"), kExact),
            (Failures{{kMismatch, {"value", "secret", "string"}}}));

  // No value at all fits nothing; the root takes the caller's name.
  EXPECT_EQ(Check(StrDef(), nullptr), (Failures{{kNull, {"value"}}}));
  MessageList messages;
  EXPECT_FALSE(CheckValue(*IntDef(), Str("x"), CheckMode::Lenient, messages, "input"));
  EXPECT_EQ(ToFailures(messages), (Failures{{kUnparsable, {"input", "integer", "x"}}}));
}

TEST(DefinitionCheckTest, OptionalsAndListsAcceptEveryFormTheAdapterAccepts) {
  constexpr CheckMode kExact = CheckMode::Exact;
  const DataDefinitionPtr optional = OptDef(IntDef());
  for (CheckMode mode : {CheckMode::Lenient, kExact}) {
    EXPECT_EQ(Check(optional, Unset(), mode), kFits);
    EXPECT_EQ(Check(optional, Holding(Int(3)), mode), kFits);
    EXPECT_EQ(Check(optional, Int(3), mode), kFits);  // a bare value is a present optional
    EXPECT_EQ(Check(OptDef(OptDef(IntDef())), Holding(Int(3)), mode), kFits);
    EXPECT_EQ(Check(optional, Bool(true), mode),
              (Failures{{kMismatch, {"value", "integer", "boolean"}}}));
    EXPECT_EQ(Check(optional, Holding(nullptr), mode), (Failures{{kNull, {"value"}}}));
    EXPECT_EQ(Check(optional, nullptr, mode), (Failures{{kNull, {"value"}}}));
    EXPECT_EQ(Check(IntDef(), Holding(Int(3)), mode),
              (Failures{{kMismatch, {"value", "integer", "optional"}}}));
  }
  EXPECT_EQ(Check(optional, Str("")), kFits);  // absent
  EXPECT_EQ(Check(optional, Str("7")), kFits);
  EXPECT_EQ(Check(optional, Str("x")), (Failures{{kUnparsable, {"value", "integer", "x"}}}));
  EXPECT_EQ(Check(optional, Holding(Str("x"))),
            (Failures{{kUnparsable, {"value", "integer", "x"}}}));
  EXPECT_EQ(Check(optional, Str(""), kExact),
            (Failures{{kMismatch, {"value", "integer", "string"}}}));
  EXPECT_EQ(Check(OptDef(StrDef()), Str(""), kExact), kFits);  // a present empty text

  const DataDefinitionPtr list = ListDef(IntDef());
  EXPECT_EQ(Check(list, List({}), kExact), kFits);
  EXPECT_EQ(Check(list, List({Int(1), Int(2)}), kExact), kFits);
  auto set = ListValue::GetInstance(ListValue::Kind::SET);
  set->Append(Int(1));
  EXPECT_EQ(Check(list, set, kExact), kFits);
  EXPECT_EQ(Check(list, List({Int(1), Str("2"), Int(3)})), kFits);
  EXPECT_EQ(Check(list, List({Int(1), Str("2"), Int(3)}), kExact),
            (Failures{{kMismatch, {"[1]", "integer", "string"}}}));
  // Every failure is reported, each with its own element.
  EXPECT_EQ(Check(list, List({Str("a"), Int(2), nullptr, Bool(true)})),
            (Failures{{kUnparsable, {"[0]", "integer", "a"}},
                      {kNull, {"[2]"}},
                      {kMismatch, {"[3]", "integer", "boolean"}}}));
  // A string is an empty list, or the list of itself.
  EXPECT_EQ(Check(list, Str("")), kFits);
  EXPECT_EQ(Check(list, Str("5")), kFits);
  EXPECT_EQ(Check(list, Str("five")), (Failures{{kUnparsable, {"value", "integer", "five"}}}));
  EXPECT_EQ(Check(list, Str(""), kExact), (Failures{{kMismatch, {"value", "list", "string"}}}));
  EXPECT_EQ(Check(list, Int(5)), (Failures{{kMismatch, {"value", "list", "integer"}}}));
  EXPECT_EQ(Check(ListDef(ListDef(StrDef())), List({List({Str("a")}), List({Int(1)})})),
            (Failures{{kMismatch, {"[1][0]", "string", "integer"}}}));
  EXPECT_EQ(Check(OptDef(ListDef(StrDef())), Str("")), kFits);
  EXPECT_EQ(Check(OptDef(ListDef(StrDef())), Holding(List({Str("a")})), kExact), kFits);
}

// The definition of an update input: {vm: string, update_spec: {count, name, note?, tags}}.
DataDefinitionPtr UpdateInputDef() {
  DataDefinitionPtr spec = StructDef("com.example.update_spec", {{"count", IntDef()},
                                                                 {"name", StrDef()},
                                                                 {"note", OptDef(StrDef())},
                                                                 {"tags", ListDef(StrDef())}});
  return StructDef("operation-input", {{"vm", StrDef()}, {"update_spec", spec}});
}

std::shared_ptr<StructValue> UpdateSpec() {
  return Struct("com.example.update_spec",
                {{"count", Int(2)}, {"name", Str("a")}, {"tags", List({Str("x")})}});
}

TEST(DefinitionCheckTest, StructuresNeedTheirDeclaredFieldsAndAcceptOthers) {
  const DataDefinitionPtr input = UpdateInputDef();
  EXPECT_EQ(
      Check(input, Struct("operation-input", {{"vm", Str("vm-1")}, {"update_spec", UpdateSpec()}}),
            CheckMode::Exact),
      kFits);
  // Neither the structure's name nor fields the definition does not declare matter.
  auto extra = UpdateSpec();
  extra->SetField("surplus", Bool(true));
  EXPECT_EQ(Check(input, Struct("other", {{"vm", Str("vm-1")}, {"update_spec", extra}})), kFits);

  // Missing fields and misfits, each named by its path, all in one run.
  auto broken =
      Struct("com.example.update_spec",
             {{"name", Int(1)}, {"note", Holding(Int(2))}, {"tags", List({Str("x"), Int(3)})}});
  EXPECT_EQ(Check(input, Struct("operation-input", {{"update_spec", broken}})),
            (Failures{{kMissing, {"update_spec.count"}},
                      {kMismatch, {"update_spec.name", "string", "integer"}},
                      {kMismatch, {"update_spec.note", "string", "integer"}},
                      {kMismatch, {"update_spec.tags[1]", "string", "integer"}},
                      {kMissing, {"vm"}}}));
  EXPECT_EQ(
      Check(input, Struct("operation-input", {{"vm", nullptr}, {"update_spec", UpdateSpec()}})),
      (Failures{{kNull, {"vm"}}}));

  // An empty string is a structure whose fields keep their defaults; other texts are not.
  EXPECT_EQ(Check(input, Struct("i", {{"vm", Str("v")}, {"update_spec", Str("")}})), kFits);
  EXPECT_EQ(Check(input, Str("")), kFits);
  EXPECT_EQ(
      Check(input, Struct("i", {{"vm", Str("v")}, {"update_spec", Str("x")}})),
      (Failures{{kMismatch, {"update_spec", "structure com.example.update_spec", "string"}}}));
  EXPECT_EQ(Check(input, Str(""), CheckMode::Exact),
            (Failures{{kMismatch, {"value", "structure operation-input", "string"}}}));
  EXPECT_EQ(Check(input, List({})),
            (Failures{{kMismatch, {"value", "structure operation-input", "list"}}}));

  // Errors are structures: either kind of definition takes either kind of value.
  DataDefinitionPtr message =
      StructDef(std::string(ErrorValue::kMessageStructName),
                {{"id", StrDef()}, {"default_message", StrDef()}, {"args", ListDef(StrDef())}});
  DataDefinitionPtr notFound = ErrorDefinition::GetInstance("com.korvan.quil.std.errors.not_found",
                                                            {{"messages", ListDef(message)}});
  MessageList carried{MakeMessage("a.b", "A {1}", "x"), MakeMessage("c.d", "C")};
  auto error = ErrorValue::Create("com.korvan.quil.std.errors.not_found", carried);
  EXPECT_EQ(Check(notFound, error, CheckMode::Exact), kFits);
  EXPECT_EQ(Check(StructDef("any", {{"messages", ListDef(message)}}), error, CheckMode::Exact),
            kFits);
  EXPECT_EQ(Check(notFound, Struct("s", {{"messages", List({})}}), CheckMode::Exact), kFits);
  auto badMessage = Struct("m", {{"id", Int(7)}, {"default_message", Str("")}, {"args", List({})}});
  EXPECT_EQ(Check(notFound, Struct("s", {{"messages", List({UpdateSpec(), badMessage})}})),
            (Failures{{kMissing, {"messages[0].args"}},
                      {kMissing, {"messages[0].default_message"}},
                      {kMissing, {"messages[0].id"}},
                      {kMismatch, {"messages[1].id", "string", "integer"}}}));
  EXPECT_EQ(
      Check(notFound, Str("x")),
      (Failures{{kMismatch, {"value", "error com.korvan.quil.std.errors.not_found", "string"}}}));
}

TEST(DefinitionCheckTest, ReferencesAreCheckedThroughTheirTarget) {
  auto self = StructRefDefinition::GetInstance("com.example.node");
  DataDefinitionPtr node =
      StructDef("com.example.node", {{"value", IntDef()}, {"next", OptDef(self)}});
  self->SetTarget(std::static_pointer_cast<const StructDefinition>(node));

  auto leaf = Struct("com.example.node", {{"value", Int(3)}, {"next", Unset()}});
  auto chain =
      Struct("n", {{"value", Int(1)}, {"next", Struct("n", {{"value", Int(2)}, {"next", leaf}})}});
  EXPECT_EQ(Check(node, chain, CheckMode::Exact), kFits);
  auto badLeaf = Struct("n", {{"value", Str("x")}});
  chain = Struct("n", {{"value", Int(1)},
                       {"next", Holding(Struct("n", {{"value", Int(2)}, {"next", badLeaf}}))}});
  EXPECT_EQ(Check(node, chain), (Failures{{kUnparsable, {"next.next.value", "integer", "x"}}}));
  EXPECT_EQ(Check(node, Struct("n", {{"value", Int(1)}, {"next", Int(2)}})),
            (Failures{{kMismatch, {"next", "structure com.example.node", "integer"}}}));
  EXPECT_EQ(Check(self, leaf, CheckMode::Exact), kFits);  // a reference at the root

  // Unresolved or expired references fit nothing, but an absent optional needs no target.
  const std::string unresolved = "quil.data.definition.ref.unresolved";
  auto dangling = StructRefDefinition::GetInstance("com.example.gone");
  DataDefinitionPtr holder = StructDef("h", {{"child", OptDef(dangling)}});
  EXPECT_EQ(Check(holder, Struct("h", {})), kFits);
  EXPECT_EQ(Check(holder, Struct("h", {{"child", Struct("g", {})}})),
            (Failures{{unresolved, {"child", "com.example.gone"}}}));
  dangling->SetTarget(
      std::static_pointer_cast<const StructDefinition>(StructDef("com.example.gone", {})));
  EXPECT_EQ(Check(holder, Struct("h", {{"child", Holding(Struct("g", {}))}})),
            (Failures{{unresolved, {"child", "com.example.gone"}}}));
}

// A union in the shape of a device backing: "iso_file" is required for IMAGE, "device_name"
// allowed for HOST_DEVICE and ATAPI, and nothing else is allowed anywhere else.
DataDefinitionPtr BackingDef() {
  auto required = [](std::string_view tag) { return boost::tribool(tag == "IMAGE"); };
  auto allowed = [](std::string_view tag) {
    return tag == "HOST_DEVICE" || tag == "ATAPI" ? boost::tribool(boost::indeterminate)
                                                  : boost::tribool(false);
  };
  return StructDef(
      "com.example.backing",
      {{"type", StrDef()},
       {"iso_file", UnionCaseDefinition::GetInstance(OptDef(StrDef()), "type", required)},
       {"device_name", UnionCaseDefinition::GetInstance(OptDef(StrDef()), "type", allowed)}});
}

TEST(DefinitionCheckTest, UnionMembersFollowTheCasePredicate) {
  const DataDefinitionPtr backing = BackingDef();
  const std::string required = "quil.data.definition.union.case.required";
  const std::string forbidden = "quil.data.definition.union.case.forbidden";
  using Fields = std::vector<std::pair<std::string, DataValuePtr>>;
  const auto check = [&](Fields fields, CheckMode mode = CheckMode::Lenient) {
    return Check(backing, Struct("com.example.backing", std::move(fields)), mode);
  };

  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Holding(Str("a.iso"))}}, CheckMode::Exact),
            kFits);
  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Str("a.iso")}}, CheckMode::Exact), kFits);
  EXPECT_EQ(check({{"type", Str("IMAGE")}}), (Failures{{required, {"iso_file", "type", "IMAGE"}}}));
  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Unset()}}),
            (Failures{{required, {"iso_file", "type", "IMAGE"}}}));
  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Str("")}}),  // lenient: absent
            (Failures{{required, {"iso_file", "type", "IMAGE"}}}));
  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Str("")}}, CheckMode::Exact), kFits);
  EXPECT_EQ(
      check({{"type", Str("IMAGE")}, {"iso_file", Holding(Str("a"))}, {"device_name", Str("d")}}),
      (Failures{{forbidden, {"device_name", "type", "IMAGE"}}}));
  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Holding(Int(1))}}, CheckMode::Exact),
            (Failures{{kMismatch, {"iso_file", "string", "integer"}}}));
  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", nullptr}}),
            (Failures{{kNull, {"iso_file"}}}));

  // Allowed members may be set or not.
  EXPECT_EQ(check({{"type", Str("HOST_DEVICE")}}), kFits);
  EXPECT_EQ(check({{"type", Str("ATAPI")}, {"device_name", Holding(Str("sr0"))}}), kFits);
  EXPECT_EQ(check({{"type", Str("ATAPI")}, {"iso_file", Str("a")}}),
            (Failures{{forbidden, {"iso_file", "type", "ATAPI"}}}));

  // An absent or non-text tag reads as _UNKNOWN, where no member may be set; the tag's own
  // validity is left to the bindings' validator.
  EXPECT_EQ(check({{"type", Str("FLOPPY")}}), kFits);
  EXPECT_EQ(check({{"iso_file", Str("a")}}),
            (Failures{{forbidden, {"iso_file", "type", "_UNKNOWN"}}, {kMissing, {"type"}}}));
  EXPECT_EQ(check({{"type", Int(1)}, {"device_name", Holding(Str("d"))}}),
            (Failures{{forbidden, {"device_name", "type", "_UNKNOWN"}},
                      {kMismatch, {"type", "string", "integer"}}}));

  // Nested in an input, the member is named by its path.
  DataDefinitionPtr input = StructDef("i", {{"backings", ListDef(backing)}});
  auto image = Struct("b", {{"type", Str("IMAGE")}});
  EXPECT_EQ(
      Check(input,
            Struct("i", {{"backings", List({Struct("b", {{"type", Str("FLOPPY")}}), image})}})),
      (Failures{{required, {"backings[1].iso_file", "type", "IMAGE"}}}));
}

TEST(DefinitionCheckTest, ReportsAreBounded) {
  std::vector<DataValuePtr> bad(kMaxCheckFailures + 5, Bool(true));
  MessageList messages;
  EXPECT_FALSE(CheckValue(*ListDef(IntDef()), List(bad), CheckMode::Lenient, messages));
  ASSERT_EQ(messages.size(), kMaxCheckFailures + 1);
  EXPECT_EQ(messages[kMaxCheckFailures - 1].args,
            (Texts{"[" + std::to_string(kMaxCheckFailures - 1) + "]", "integer", "boolean"}));
  EXPECT_EQ(messages.back().id, "quil.data.definition.check.truncated");
  EXPECT_EQ(messages.back().args, Texts{std::to_string(kMaxCheckFailures)});
}

// A list of `depth` nested levels: list, optional, list, ... around one integer.
DataValuePtr DeepListChain(std::size_t depth, DataDefinitionPtr& definition) {
  DataValuePtr value = Int(1);
  definition = IntDef();
  for (std::size_t level = 0; level < depth; ++level) {
    if (level % 2 == 0) {
      value = List({std::move(value)});
      definition = ListDef(std::move(definition));
    } else {
      value = Holding(std::move(value));
      definition = OptDef(std::move(definition));
    }
  }
  return value;
}

// Checks values nested `depth` levels deep, through a self-reference and through containers.
void CheckDeepValues(std::size_t depth) {
  auto self = StructRefDefinition::GetInstance("node");
  DataDefinitionPtr node = StructDef("node", {{"next", OptDef(self)}, {"value", OptDef(IntDef())}});
  self->SetTarget(std::static_pointer_cast<const StructDefinition>(node));

  DataValuePtr chain = Struct("node", {{"value", Str("x")}});
  for (std::size_t level = 1; level < depth; ++level) {
    auto parent = StructValue::GetInstance("node");
    parent->Reserve(1);
    parent->SetField("next", std::move(chain));
    chain = std::move(parent);
  }
  MessageList messages;
  EXPECT_FALSE(CheckValue(*node, chain, CheckMode::Lenient, messages));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, kUnparsable);
  // Deep paths keep their first and last sixteen segments.
  std::string head = "next", tail;
  for (int i = 1; i < 16; ++i) head += ".next";
  for (int i = 1; i < 16; ++i) tail += ".next";
  EXPECT_EQ(messages[0].args,
            (Texts{head + ".(" + std::to_string(depth - 32) + " more)" + tail + ".value", "integer",
                   "x"}));

  DataDefinitionPtr chainDef;
  DataValuePtr list = DeepListChain(depth, chainDef);
  messages.clear();
  EXPECT_TRUE(CheckValue(*chainDef, list, CheckMode::Exact, messages));
  EXPECT_EQ(messages.size(), 0u);
}

TEST(DefinitionCheckTest, DeepValuesNeedNoCallStack) { CheckDeepValues(1'000'000); }

TEST(DefinitionCheckTest, DeepValuesOnASmallThreadStack) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
  pthread_t thread;
  auto run = [](void*) -> void* {
    CheckDeepValues(100'000);
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, nullptr), 0);
  EXPECT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

}  // namespace
}  // namespace Quil::Data

namespace Quil::Provider {
namespace {

using Data::DataDefinitionPtr;
using Data::DataValuePtr;
using Data::ErrorValue;
using Texts = std::vector<std::string>;

const std::string kInvalidArgument = "com.korvan.quil.std.errors.invalid_argument";
const std::string kInternalServerError = "com.korvan.quil.std.errors.internal_server_error";

std::vector<std::string> IdsOf(const Data::ErrorValuePtr& error) {
  std::vector<std::string> ids;
  for (const auto& message : error->GetMessages()) ids.push_back(message.id);
  return ids;
}

DataDefinitionPtr SpecInputDef() {
  DataDefinitionPtr spec = Data::StructDefinition::GetInstance(
      "spec", {{"count", Data::DataDefinition::Create<std::int64_t>()}});
  return Data::StructDefinition::GetInstance(
      "input", {{"vm", Data::DataDefinition::Create<std::string>()}, {"spec", spec}});
}

std::shared_ptr<Data::StructValue> SpecInput(DataValuePtr count) {
  auto spec = Data::StructValue::GetInstance("spec");
  if (count) spec->SetField("count", std::move(count));
  auto input = Data::StructValue::GetInstance("input");
  input->SetField("vm", Data::DataValue::Create(std::string("vm-1")));
  input->SetField("spec", spec);
  return input;
}

TEST(ApiMethodHelperTest, InputsAreCheckedLenientlyAndOutputsExactly) {
  const DataDefinitionPtr inputDef = SpecInputDef();
  Core::MethodResultPtr out = Core::MethodResult::Create(nullptr, nullptr);
  auto lenient = SpecInput(Data::DataValue::Create(std::string("12")));
  lenient->SetField("undeclared", Data::DataValue::Create(true));  // left to the validator
  EXPECT_TRUE(ApiMethodHelper::ValidateInput("update", inputDef, lenient, out));
  EXPECT_EQ(out, nullptr);

  EXPECT_FALSE(ApiMethodHelper::ValidateInput("update", inputDef, SpecInput(nullptr), out));
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->isFinal);
  EXPECT_EQ(out->output, nullptr);
  ASSERT_NE(out->error, nullptr);
  EXPECT_EQ(out->error->GetName(), kInvalidArgument);
  auto messages = out->error->GetMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].id, "quil.data.definition.field.missing");
  EXPECT_EQ(messages[0].args, Texts{"spec.count"});
  EXPECT_EQ(messages[1].id, "quil.provider.method.invalid.input");
  EXPECT_EQ(messages[1].args, Texts{"update"});

  EXPECT_FALSE(ApiMethodHelper::ValidateInput("update", inputDef,
                                              Data::DataValue::Create(std::int64_t{1}), out));
  EXPECT_EQ(out->error->GetMessages().at(0).args, (Texts{"input", "structure input", "integer"}));
  EXPECT_FALSE(ApiMethodHelper::ValidateInput("update", nullptr, lenient, out));
  EXPECT_EQ(out->error->GetName(), kInternalServerError);
  EXPECT_EQ(IdsOf(out->error), Texts{"quil.provider.method.definition.missing"});

  // Outputs pass as they are, or become internal_server_error: no string stands in for them.
  const DataDefinitionPtr outputDef =
      Data::ListDefinition::GetInstance(Data::DataDefinition::Create<std::int64_t>());
  auto output = Data::ListValue::GetInstance(Data::ListValue::Kind::LIST);
  output->Append(Data::DataValue::Create(std::int64_t{5}));
  Core::MethodResultPtr result = ApiMethodHelper::ValidateOutput("list", outputDef, output);
  EXPECT_EQ(result->output, output);
  EXPECT_EQ(result->error, nullptr);
  EXPECT_TRUE(result->isFinal);
  output->Append(Data::DataValue::Create(std::string("6")));
  result = ApiMethodHelper::ValidateOutput("list", outputDef, output);
  EXPECT_EQ(result->output, nullptr);
  ASSERT_NE(result->error, nullptr);
  EXPECT_EQ(result->error->GetName(), kInternalServerError);
  messages = result->error->GetMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].args, (Texts{"[1]", "integer", "string"}));
  EXPECT_EQ(messages[1].id, "quil.provider.method.invalid.output");
  EXPECT_EQ(messages[1].args, Texts{"list"});
  EXPECT_EQ(IdsOf(ApiMethodHelper::ValidateOutput("get", nullptr, output)->error),
            Texts{"quil.provider.method.definition.missing"});
  EXPECT_EQ(ApiMethodHelper::ValidateOutput("get", Data::DataDefinition::Create<Void>(),
                                            Data::DataValue::Create(Void{}))
                ->error,
            nullptr);
}

TEST(ApiMethodHelperTest, OnlyDeclaredErrorsAndTheBindingsOwnPass) {
  const std::string notFound = "com.korvan.quil.std.errors.not_found";
  const std::string busy = "com.korvan.quil.std.errors.resource_busy";
  const DataDefinitionPtr messagesDef = Data::ListDefinition::GetInstance(
      Data::StructDefinition::GetInstance(std::string(ErrorValue::kMessageStructName),
                                          {{"id", Data::DataDefinition::Create<std::string>()}}));
  auto busyRef = Data::StructRefDefinition::GetInstance(busy);
  const DataDefinitionPtr busyDef =
      Data::ErrorDefinition::GetInstance(busy, {{"messages", messagesDef}});
  busyRef->SetTarget(std::static_pointer_cast<const Data::StructDefinition>(busyDef));
  const std::vector<DataDefinitionPtr> declared{
      nullptr,
      Data::ErrorDefinition::GetInstance(
          notFound,
          {{"messages", messagesDef}, {"resource", Data::DataDefinition::Create<std::string>()}}),
      busyRef};

  auto withResource = ErrorValue::Create(notFound, {MakeMessage("x.y", "X")});
  withResource->SetField("resource", Data::DataValue::Create(std::string("vm-1")));
  Core::MethodResultPtr result = ApiMethodHelper::ValidateError("get", declared, withResource);
  EXPECT_EQ(result->error, withResource);
  EXPECT_EQ(result->output, nullptr);
  EXPECT_TRUE(result->isFinal);
  auto busyError = ErrorValue::Create(busy, {});
  EXPECT_EQ(ApiMethodHelper::ValidateError("get", declared, busyError)->error, busyError);

  // The bindings' own errors pass unchanged, declared or not, whatever they carry.
  for (const std::string& own : {kInvalidArgument, kInternalServerError}) {
    auto error = ErrorValue::GetInstance(own);
    error->SetField("surplus", Data::DataValue::Create(std::int64_t{1}));
    EXPECT_EQ(ApiMethodHelper::ValidateError("get", {}, error)->error, error);
  }

  // Undeclared: replaced, naming the method and the error.
  auto other = ErrorValue::Create("com.korvan.quil.std.errors.unauthorized", {});
  result = ApiMethodHelper::ValidateError("get", declared, other);
  ASSERT_NE(result->error, nullptr);
  EXPECT_EQ(result->error->GetName(), kInternalServerError);
  auto messages = result->error->GetMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.provider.method.undeclared.error");
  EXPECT_EQ(messages[0].args, (Texts{"get", "com.korvan.quil.std.errors.unauthorized"}));

  // Declared but malformed: replaced as well, with the misfits first.
  auto missingResource = ErrorValue::Create(notFound, {});
  result = ApiMethodHelper::ValidateError("get", declared, missingResource);
  EXPECT_EQ(result->error->GetName(), kInternalServerError);
  messages = result->error->GetMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].id, "quil.data.definition.field.missing");
  EXPECT_EQ(messages[0].args, Texts{"resource"});
  EXPECT_EQ(messages[1].id, "quil.provider.method.invalid.error");
  EXPECT_EQ(messages[1].args, (Texts{"get", notFound}));
}

}  // namespace
}  // namespace Quil::Provider
