#include <quil/data/definition_check.h>

#include <pthread.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/message.h>
#include <quil/provider/api_method_helper.h>

namespace Quil {
namespace {

using Texts = std::vector<std::string>;
// Each message as its id followed by its arguments (for a check failure, the path first).
using Failures = std::vector<Texts>;

Failures ToFailures(const MessageList& messages) {
  Failures failures;
  for (const auto& message : messages) {
    failures.push_back({message.id});
    failures.back().insert(failures.back().end(), message.args.begin(), message.args.end());
  }
  return failures;
}

}  // namespace

namespace Data {
namespace {

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

// The failures of one check; the result agrees with whether any were reported.
Failures Check(const DataDefinitionPtr& definition, const DataValuePtr& value,
               CheckMode mode = CheckMode::Lenient) {
  MessageList messages;
  const bool fits = CheckValue(*definition, value, mode, messages);
  EXPECT_EQ(fits, messages.empty());
  return ToFailures(messages);
}

constexpr CheckMode kExact = CheckMode::Exact;
const Failures kFits;
const std::string kMismatch = "quil.data.definition.type.mismatch";
const std::string kUnparsable = "quil.data.definition.string.unparsable";
const std::string kMissing = "quil.data.definition.field.missing";
const std::string kNull = "quil.data.definition.value.missing";

TEST(DefinitionCheckTest, PrimitivesTakeTheirKindOrAStringThatParses) {
  EXPECT_EQ(Check(IntDef(), Int(4), kExact), kFits);
  EXPECT_EQ(Check(IntDef(), Bool(true)), (Failures{{kMismatch, "value", "integer", "boolean"}}));
  EXPECT_EQ(Check(StrDef(), Int(1)), (Failures{{kMismatch, "value", "string", "integer"}}));
  EXPECT_EQ(Check(IntDef(), Str("42"), kExact),
            (Failures{{kMismatch, "value", "integer", "string"}}));

  // Lenient: exactly the strings that the value-to-native adapter parses.
  EXPECT_EQ(Check(IntDef(), Str("-9223372036854775808")), kFits);
  EXPECT_EQ(Check(IntDef(), Str("9223372036854775808")),
            (Failures{{kUnparsable, "value", "integer", "9223372036854775808"}}));
  EXPECT_EQ(Check(IntDef(), Str("")), (Failures{{kUnparsable, "value", "integer", ""}}));
  EXPECT_EQ(Check(BoolDef(), Str("true")), kFits);
  EXPECT_EQ(Check(BoolDef(), Str("yes")), (Failures{{kUnparsable, "value", "boolean", "yes"}}));
  EXPECT_EQ(Check(DataDefinition::Create<double>(), Str("2.5e3")), kFits);
  EXPECT_EQ(Check(DataDefinition::Create<Void>(), Str("x")),
            (Failures{{kUnparsable, "value", "void", "x"}}));
  EXPECT_EQ(Check(PrimitiveDefinition::GetInstance(DataType::SECRET), Str("pw")), kFits);
  EXPECT_EQ(Check(PrimitiveDefinition::GetInstance(DataType::SECRET), Str("pw"), kExact),
            (Failures{{kMismatch, "value", "secret", "string"}}));

  // No value at all fits nothing; the root takes the caller's name.
  EXPECT_EQ(Check(StrDef(), nullptr), (Failures{{kNull, "value"}}));
  MessageList messages;
  EXPECT_FALSE(CheckValue(*IntDef(), Str("x"), CheckMode::Lenient, messages, "input"));
  EXPECT_EQ(ToFailures(messages), (Failures{{kUnparsable, "input", "integer", "x"}}));
}

TEST(DefinitionCheckTest, OptionalsAndListsAcceptEveryFormTheAdapterAccepts) {
  const DataDefinitionPtr optional = OptDef(IntDef());
  for (CheckMode mode : {CheckMode::Lenient, kExact}) {
    EXPECT_EQ(Check(optional, Unset(), mode), kFits);
    EXPECT_EQ(Check(optional, Holding(Int(3)), mode), kFits);
    EXPECT_EQ(Check(optional, Int(3), mode), kFits);  // a bare value is a present optional
    EXPECT_EQ(Check(optional, Bool(true), mode),
              (Failures{{kMismatch, "value", "integer", "boolean"}}));
    EXPECT_EQ(Check(optional, Holding(nullptr), mode), (Failures{{kNull, "value"}}));
    EXPECT_EQ(Check(IntDef(), Holding(Int(3)), mode),
              (Failures{{kMismatch, "value", "integer", "optional"}}));
  }
  EXPECT_EQ(Check(optional, Str("")), kFits);  // absent
  EXPECT_EQ(Check(optional, Holding(Str("x"))), (Failures{{kUnparsable, "value", "integer", "x"}}));
  EXPECT_EQ(Check(optional, Str(""), kExact),
            (Failures{{kMismatch, "value", "integer", "string"}}));
  EXPECT_EQ(Check(OptDef(StrDef()), Str(""), kExact), kFits);  // a present empty text

  const DataDefinitionPtr list = ListDef(IntDef());
  auto set = ListValue::GetInstance(ListValue::Kind::SET);
  set->Append(Int(1));
  EXPECT_EQ(Check(list, set, kExact), kFits);
  EXPECT_EQ(Check(list, List({Int(1), Str("2"), Int(3)})), kFits);
  EXPECT_EQ(Check(list, List({Int(1), Str("2"), Int(3)}), kExact),
            (Failures{{kMismatch, "[1]", "integer", "string"}}));
  // Every failure is reported, each with its own element.
  EXPECT_EQ(Check(list, List({Str("a"), Int(2), nullptr, Bool(true)})),
            (Failures{{kUnparsable, "[0]", "integer", "a"},
                      {kNull, "[2]"},
                      {kMismatch, "[3]", "integer", "boolean"}}));
  // A string is an empty list, or the list of itself.
  EXPECT_EQ(Check(list, Str("")), kFits);
  EXPECT_EQ(Check(list, Str("5")), kFits);
  EXPECT_EQ(Check(list, Str("five")), (Failures{{kUnparsable, "value", "integer", "five"}}));
  EXPECT_EQ(Check(list, Str(""), kExact), (Failures{{kMismatch, "value", "list", "string"}}));
  EXPECT_EQ(Check(ListDef(ListDef(StrDef())), List({List({Str("a")}), List({Int(1)})})),
            (Failures{{kMismatch, "[1][0]", "string", "integer"}}));
}

std::shared_ptr<StructValue> UpdateSpec() {
  return Struct("com.example.update_spec",
                {{"count", Int(2)}, {"name", Str("a")}, {"tags", List({Str("x")})}});
}

TEST(DefinitionCheckTest, StructuresNeedTheirDeclaredFieldsAndAcceptOthers) {
  const DataDefinitionPtr input = StructDef(
      "operation-input",
      {{"vm", StrDef()},
       {"update_spec", StructDef("com.example.update_spec", {{"count", IntDef()},
                                                             {"name", StrDef()},
                                                             {"note", OptDef(StrDef())},
                                                             {"tags", ListDef(StrDef())}})}});
  // Neither the structure's name nor fields the definition does not declare matter.
  auto extra = UpdateSpec();
  extra->SetField("surplus", Bool(true));
  EXPECT_EQ(Check(input, Struct("other", {{"vm", Str("vm-1")}, {"update_spec", extra}}), kExact),
            kFits);

  // Missing fields and misfits, each named by its path, all in one run.
  auto broken =
      Struct("com.example.update_spec",
             {{"name", Int(1)}, {"note", Holding(Int(2))}, {"tags", List({Str("x"), Int(3)})}});
  EXPECT_EQ(Check(input, Struct("operation-input", {{"update_spec", broken}})),
            (Failures{{kMissing, "update_spec.count"},
                      {kMismatch, "update_spec.name", "string", "integer"},
                      {kMismatch, "update_spec.note", "string", "integer"},
                      {kMismatch, "update_spec.tags[1]", "string", "integer"},
                      {kMissing, "vm"}}));
  EXPECT_EQ(Check(input, Struct("i", {{"vm", nullptr}, {"update_spec", UpdateSpec()}})),
            (Failures{{kNull, "vm"}}));

  // An empty string is a structure whose fields keep their defaults; other texts are not.
  EXPECT_EQ(Check(input, Struct("i", {{"vm", Str("v")}, {"update_spec", Str("")}})), kFits);
  EXPECT_EQ(Check(input, Struct("i", {{"vm", Str("v")}, {"update_spec", Str("x")}})),
            (Failures{{kMismatch, "update_spec", "structure com.example.update_spec", "string"}}));
  EXPECT_EQ(Check(input, Str(""), kExact),
            (Failures{{kMismatch, "value", "structure operation-input", "string"}}));

  // Errors are structures: either kind of definition takes either kind of value.
  DataDefinitionPtr message =
      StructDef(std::string(ErrorValue::kMessageStructName),
                {{"id", StrDef()}, {"default_message", StrDef()}, {"args", ListDef(StrDef())}});
  DataDefinitionPtr notFound = ErrorDefinition::GetInstance("com.korvan.quil.std.errors.not_found",
                                                            {{"messages", ListDef(message)}});
  auto error = ErrorValue::Create("com.korvan.quil.std.errors.not_found",
                                  {MakeMessage("a.b", "A {1}", "x"), MakeMessage("c.d", "C")});
  EXPECT_EQ(Check(notFound, error, kExact), kFits);
  EXPECT_EQ(Check(StructDef("any", {{"messages", ListDef(message)}}), error, kExact), kFits);
  EXPECT_EQ(Check(notFound, Struct("s", {{"messages", List({})}}), kExact), kFits);
  EXPECT_EQ(
      Check(notFound, Str("x")),
      (Failures{{kMismatch, "value", "error com.korvan.quil.std.errors.not_found", "string"}}));
}

TEST(DefinitionCheckTest, ReferencesAreCheckedThroughTheirTarget) {
  auto self = StructRefDefinition::GetInstance("com.example.node");
  DataDefinitionPtr node =
      StructDef("com.example.node", {{"value", IntDef()}, {"next", OptDef(self)}});
  self->SetTarget(std::static_pointer_cast<const StructDefinition>(node));

  auto leaf = Struct("com.example.node", {{"value", Int(3)}, {"next", Unset()}});
  EXPECT_EQ(Check(node, Struct("n", {{"value", Int(1)}, {"next", leaf}}), kExact), kFits);
  EXPECT_EQ(Check(self, leaf, kExact), kFits);  // a reference at the root
  auto badLeaf = Struct("n", {{"value", Str("x")}});
  auto chain = Struct(
      "n",
      {{"value", Int(1)}, {"next", Holding(Struct("n", {{"value", Int(2)}, {"next", badLeaf}}))}});
  EXPECT_EQ(Check(node, chain), (Failures{{kUnparsable, "next.next.value", "integer", "x"}}));
  EXPECT_EQ(Check(node, Struct("n", {{"value", Int(1)}, {"next", Int(2)}})),
            (Failures{{kMismatch, "next", "structure com.example.node", "integer"}}));

  // Unresolved or expired references fit nothing, but an absent optional needs no target.
  const std::string unresolved = "quil.data.definition.ref.unresolved";
  auto dangling = StructRefDefinition::GetInstance("com.example.gone");
  DataDefinitionPtr holder = StructDef("h", {{"child", OptDef(dangling)}});
  EXPECT_EQ(Check(holder, Struct("h", {})), kFits);
  EXPECT_EQ(Check(holder, Struct("h", {{"child", Struct("g", {})}})),
            (Failures{{unresolved, "child", "com.example.gone"}}));
  dangling->SetTarget(
      std::static_pointer_cast<const StructDefinition>(StructDef("com.example.gone", {})));
  EXPECT_EQ(Check(holder, Struct("h", {{"child", Holding(Struct("g", {}))}})),
            (Failures{{unresolved, "child", "com.example.gone"}}));
}

TEST(DefinitionCheckTest, UnionMembersFollowTheCasePredicate) {
  // "iso_file" is required for IMAGE; "device_name" is allowed for HOST_DEVICE and ATAPI only.
  auto requiredForImage = [](std::string_view tag) { return boost::tribool(tag == "IMAGE"); };
  auto allowedForDevices = [](std::string_view tag) {
    return tag == "HOST_DEVICE" || tag == "ATAPI" ? boost::tribool(boost::indeterminate)
                                                  : boost::tribool(false);
  };
  const DataDefinitionPtr backing = StructDef(
      "com.example.backing",
      {{"type", StrDef()},
       {"iso_file", UnionCaseDefinition::GetInstance(OptDef(StrDef()), "type", requiredForImage)},
       {"device_name",
        UnionCaseDefinition::GetInstance(OptDef(StrDef()), "type", allowedForDevices)}});
  const std::string required = "quil.data.definition.union.case.required";
  const std::string forbidden = "quil.data.definition.union.case.forbidden";
  using Fields = std::vector<std::pair<std::string, DataValuePtr>>;
  const auto check = [&](Fields fields, CheckMode mode = CheckMode::Lenient) {
    return Check(backing, Struct("com.example.backing", std::move(fields)), mode);
  };

  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Str("a.iso")}}, kExact), kFits);
  EXPECT_EQ(check({{"type", Str("IMAGE")}}), (Failures{{required, "iso_file", "type", "IMAGE"}}));
  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Str("")}}),  // lenient: absent
            (Failures{{required, "iso_file", "type", "IMAGE"}}));
  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Str("")}}, kExact), kFits);
  EXPECT_EQ(
      check({{"type", Str("IMAGE")}, {"iso_file", Holding(Str("a"))}, {"device_name", Str("d")}}),
      (Failures{{forbidden, "device_name", "type", "IMAGE"}}));

  // Allowed members may be set or not.
  EXPECT_EQ(check({{"type", Str("HOST_DEVICE")}}), kFits);
  EXPECT_EQ(check({{"type", Str("ATAPI")}, {"device_name", Holding(Str("sr0"))}}), kFits);
  EXPECT_EQ(check({{"type", Str("ATAPI")}, {"iso_file", Str("a")}}),
            (Failures{{forbidden, "iso_file", "type", "ATAPI"}}));

  // An absent or non-text tag reads as _UNKNOWN, where no member may be set; the tag's own
  // validity is left to the bindings' validator.
  EXPECT_EQ(check({{"type", Str("FLOPPY")}}), kFits);
  EXPECT_EQ(check({{"iso_file", Str("a")}}),
            (Failures{{forbidden, "iso_file", "type", "_UNKNOWN"}, {kMissing, "type"}}));
  EXPECT_EQ(check({{"type", Int(1)}, {"device_name", Holding(Str("d"))}}),
            (Failures{{forbidden, "device_name", "type", "_UNKNOWN"},
                      {kMismatch, "type", "string", "integer"}}));
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
}  // namespace Data

namespace Provider {
namespace {

using Data::DataDefinition;
using Data::DataDefinitionPtr;
using Data::DataValue;
using Data::ErrorValue;

const std::string kInvalidArgument(ApiMethodHelper::kInvalidArgument);
const std::string kInternalServerError(ApiMethodHelper::kInternalServerError);

TEST(ApiMethodHelperTest, InputsAreCheckedLenientlyAndOutputsExactly) {
  const DataDefinitionPtr inputDef = Data::StructDefinition::GetInstance(
      "input", {{"vm", DataDefinition::Create<std::string>()},
                {"count", DataDefinition::Create<std::int64_t>()}});
  auto input = Data::StructValue::GetInstance("input");
  input->SetField("vm", DataValue::Create(std::string("vm-1")));
  input->SetField("undeclared", DataValue::Create(true));  // left to the validator
  Core::MethodResultPtr out = Core::MethodResult::Create(nullptr, nullptr);
  EXPECT_FALSE(ApiMethodHelper::ValidateInput("update", inputDef, input, out));
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->isFinal);
  EXPECT_EQ(out->output, nullptr);
  EXPECT_EQ(out->error->GetName(), kInvalidArgument);
  EXPECT_EQ(ToFailures(out->error->GetMessages()),
            (Failures{{"quil.data.definition.field.missing", "count"},
                      {"quil.provider.method.invalid.input", "update"}}));
  input->SetField("count", DataValue::Create(std::string("12")));
  EXPECT_TRUE(ApiMethodHelper::ValidateInput("update", inputDef, input, out));
  EXPECT_EQ(out, nullptr);
  EXPECT_FALSE(ApiMethodHelper::ValidateInput("update", nullptr, input, out));
  EXPECT_EQ(out->error->GetName(), kInternalServerError);
  EXPECT_EQ(out->error->GetMessages().at(0).id, "quil.provider.method.definition.missing");

  // Outputs pass as they are, or become internal_server_error: no string stands in for them.
  const DataDefinitionPtr outputDef =
      Data::ListDefinition::GetInstance(DataDefinition::Create<std::int64_t>());
  auto output = Data::ListValue::GetInstance(Data::ListValue::Kind::LIST);
  output->Append(DataValue::Create(std::int64_t{5}));
  output->Append(DataValue::Create(std::string("6")));
  const Core::MethodResultPtr result = ApiMethodHelper::ValidateOutput("list", outputDef, output);
  EXPECT_EQ(result->output, nullptr);
  EXPECT_EQ(result->error->GetName(), kInternalServerError);
  EXPECT_EQ(ToFailures(result->error->GetMessages()),
            (Failures{{"quil.data.definition.type.mismatch", "[1]", "integer", "string"},
                      {"quil.provider.method.invalid.output", "list"}}));
}

TEST(ApiMethodHelperTest, OnlyDeclaredErrorsAndTheBindingsOwnPass) {
  const std::string notFound = "com.korvan.quil.std.errors.not_found";
  const std::string busy = "com.korvan.quil.std.errors.resource_busy";
  const DataDefinitionPtr messagesDef = Data::ListDefinition::GetInstance(
      Data::StructDefinition::GetInstance(std::string(ErrorValue::kMessageStructName),
                                          {{"id", DataDefinition::Create<std::string>()}}));
  auto busyRef = Data::StructRefDefinition::GetInstance(busy);
  const DataDefinitionPtr busyDef =
      Data::ErrorDefinition::GetInstance(busy, {{"messages", messagesDef}});
  busyRef->SetTarget(std::static_pointer_cast<const Data::StructDefinition>(busyDef));
  const std::vector<DataDefinitionPtr> declared{
      nullptr,
      Data::ErrorDefinition::GetInstance(
          notFound,
          {{"messages", messagesDef}, {"resource", DataDefinition::Create<std::string>()}}),
      busyRef};

  auto withResource = ErrorValue::Create(notFound, {MakeMessage("x.y", "X")});
  withResource->SetField("resource", DataValue::Create(std::string("vm-1")));
  EXPECT_EQ(ApiMethodHelper::ValidateError("get", declared, withResource)->error, withResource);
  auto busyError = ErrorValue::Create(busy, {});
  EXPECT_EQ(ApiMethodHelper::ValidateError("get", declared, busyError)->error, busyError);

  // The bindings' own errors pass unchanged, declared or not, whatever they carry.
  for (const std::string& own : {kInvalidArgument, kInternalServerError}) {
    auto error = ErrorValue::GetInstance(own);
    error->SetField("surplus", DataValue::Create(std::int64_t{1}));
    EXPECT_EQ(ApiMethodHelper::ValidateError("get", {}, error)->error, error);
  }

  // Undeclared, or declared but malformed: replaced, naming the method and the error.
  Core::MethodResultPtr result = ApiMethodHelper::ValidateError(
      "get", declared, ErrorValue::Create("com.korvan.quil.std.errors.unauthorized", {}));
  EXPECT_EQ(result->error->GetName(), kInternalServerError);
  EXPECT_EQ(ToFailures(result->error->GetMessages()),
            (Failures{{"quil.provider.method.undeclared.error", "get",
                       "com.korvan.quil.std.errors.unauthorized"}}));
  result = ApiMethodHelper::ValidateError("get", declared, ErrorValue::Create(notFound, {}));
  EXPECT_EQ(result->error->GetName(), kInternalServerError);
  EXPECT_EQ(ToFailures(result->error->GetMessages()),
            (Failures{{"quil.data.definition.field.missing", "resource"},
                      {"quil.provider.method.invalid.error", "get", notFound}}));
}

}  // namespace
}  // namespace Provider
}  // namespace Quil
