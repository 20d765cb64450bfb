#include <quil/data/definition_check.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/error_names.h>
#include <quil/message.h>
#include <quil/provider/api_method_helper.h>

#include "support/values.h"

namespace Quil::Data {
namespace {

using namespace ::TestSupport;
// Each message as its id then its arguments (for a check failure, the path first).
using Failures = std::vector<Texts>;

Failures ToFailures(const MessageList& messages) {
  Failures failures;
  for (const auto& message : messages) {
    failures.push_back({message.id});
    failures.back().insert(failures.back().end(), message.args.begin(), message.args.end());
  }
  return failures;
}

DataDefinitionPtr IntDef() { return DataDefinition::Create<std::int64_t>(); }
DataDefinitionPtr StrDef() { return DataDefinition::Create<std::string>(); }
DataDefinitionPtr OptDef(DataDefinitionPtr element) {
  return OptionalDefinition::GetInstance(std::move(element));
}
DataDefinitionPtr ListDef(DataDefinitionPtr element) {
  return ListDefinition::GetInstance(std::move(element));
}
DataDefinitionPtr StructDef(std::string name, FieldDefinitions fields) {
  return StructDefinition::GetInstance(std::move(name), std::move(fields));
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

TEST(DefinitionTest, TextFormAndEqualityOfEveryKind) {
  auto anyTag = [](std::string_view) { return boost::tribool(boost::indeterminate); };
  auto alwaysSet = [](std::string_view) { return boost::tribool(true); };
  auto recursive = [] {
    return StructDef("s", {{"b", StrDef()}, {"a", StructRefDefinition::GetInstance("s")}});
  };
  const std::vector<std::pair<DataDefinitionPtr, std::string>> cases = {
      {nullptr, "null"},
      {PrimitiveDefinition::GetInstance(DataType::BLOB), "blob"},
      {OptDef(ListDefinition::GetInstance(IntDef(), ListValue::Kind::SET)),
       "optional<set<integer>>"},
      {OptDef(ListDef(IntDef())), "optional<list<integer>>"},
      {ListDef(nullptr), "list<null>"},
      {recursive(), "structure s{a: ref s, b: string}"},
      {recursive(), "structure s{a: ref s, b: string}"},
      {StructDef("s", {{"a", StructRefDefinition::GetInstance("t")}, {"b", StrDef()}}),
       "structure s{a: ref t, b: string}"},
      {StructDef("s", {{"b", StrDef()}}), "structure s{b: string}"},
      {StructDef("s", {{"c", StrDef()}}), "structure s{c: string}"},
      {ErrorDefinition::GetInstance("s", {{"b", StrDef()}}), "error s{b: string}"},
      {UnionCaseDefinition::GetInstance(IntDef(), "kind", anyTag), "union_case(kind)<integer>"},
      {UnionCaseDefinition::GetInstance(IntDef(), "type", anyTag), "union_case(type)<integer>"},
      // The same text as the one before, but another rule.
      {UnionCaseDefinition::GetInstance(IntDef(), "type", alwaysSet), "union_case(type)<integer>"},
  };
  const std::size_t otherRule = cases.size() - 1;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(ToText(cases[i].first.get()), cases[i].second);
    for (std::size_t j = 0; j < cases.size(); ++j) {
      const bool equal =
          cases[i].second == cases[j].second && (i == j || (i != otherRule && j != otherRule));
      EXPECT_EQ(Equals(cases[i].first.get(), cases[j].first.get()), equal) << i << " " << j;
    }
  }
}

TEST(DefinitionCheckTest, EachKindAcceptsWhatTheAdapterAccepts) {
  const CheckMode lenient = CheckMode::Lenient;
  const DataDefinitionPtr optional = OptDef(IntDef());
  const DataDefinitionPtr list = ListDef(IntDef());
  const DataDefinitionPtr secret = PrimitiveDefinition::GetInstance(DataType::SECRET);
  const std::string tooBig = "9223372036854775808";
  const DataDefinitionPtr spec =
      StructDef("com.example.spec", {{"count", IntDef()}, {"note", OptDef(StrDef())}});
  DataDefinitionPtr message =
      StructDef(std::string(ErrorValue::kMessageStructName),
                {{"id", StrDef()}, {"default_message", StrDef()}, {"args", ListDef(StrDef())}});
  const std::string notFoundName = "com.korvan.quil.std.errors.not_found";
  DataDefinitionPtr notFound =
      ErrorDefinition::GetInstance(notFoundName, {{"messages", ListDef(message)}});
  auto error =
      ErrorValue::Create(notFoundName, {MakeMessage("a.b", "A {1}", "x"), MakeMessage("c.d", "C")});
  auto set = ListValue::GetInstance(ListValue::Kind::SET);
  set->Append(Int(1));
  auto noCount = Struct("s", {{"note", Some(Int(2))}});
  auto extra = Struct("other", {{"count", Int(1)}, {"surplus", Bool(true)}});
  struct Case {
    DataDefinitionPtr definition;
    DataValuePtr value;
    CheckMode mode;
    Failures failures;
  };
  const std::vector<Case> cases = {
      {IntDef(), Int(4), kExact, kFits},
      {IntDef(), Bool(true), lenient, {{kMismatch, "value", "integer", "boolean"}}},
      {IntDef(), Str("42"), kExact, {{kMismatch, "value", "integer", "string"}}},
      {IntDef(), Str("-9223372036854775808"), lenient, kFits},
      {IntDef(), Str(tooBig), lenient, {{kUnparsable, "value", "integer", tooBig}}},
      {IntDef(), Str(""), lenient, {{kUnparsable, "value", "integer", ""}}},
      {DataDefinition::Create<double>(), Str("2.5e3"), lenient, kFits},
      {secret, Str("pw"), lenient, kFits},
      {secret, Str("pw"), kExact, {{kMismatch, "value", "secret", "string"}}},
      {StrDef(), nullptr, lenient, {{kNull, "value"}}},
      // Optionals: unset, held, or bare; an empty string is absent only when lenient.
      {optional, None(), kExact, kFits},
      {optional, Int(3), kExact, kFits},
      {optional, Some(nullptr), kExact, {{kNull, "value"}}},
      {IntDef(), Some(Int(3)), kExact, {{kMismatch, "value", "integer", "optional"}}},
      {optional, Str(""), lenient, kFits},
      {optional, Str(""), kExact, {{kMismatch, "value", "integer", "string"}}},
      {OptDef(StrDef()), Str(""), kExact, kFits},
      // Lists: sets too; a string is an empty list or the list of itself; every failure counts.
      {list, set, kExact, kFits},
      {ListDefinition::GetInstance(IntDef(), ListValue::Kind::SET), List({Int(1)}), kExact, kFits},
      {list, List({Int(1), Str("2")}), lenient, kFits},
      {list, List({Int(1), Str("2")}), kExact, {{kMismatch, "[1]", "integer", "string"}}},
      {list,
       List({Str("a"), nullptr}),
       lenient,
       {{kUnparsable, "[0]", "integer", "a"}, {kNull, "[1]"}}},
      {list, Str("5"), lenient, kFits},
      {list, Str(""), kExact, {{kMismatch, "value", "list", "string"}}},
      // Structures: name and undeclared fields do not matter; "" keeps defaults when lenient.
      {spec, extra, kExact, kFits},
      {spec, noCount, lenient, {{kMissing, "count"}, {kMismatch, "note", "string", "integer"}}},
      {spec, Str(""), lenient, kFits},
      {spec, Str("x"), lenient, {{kMismatch, "value", "structure com.example.spec", "string"}}},
      // Errors are structures: either kind of definition takes either kind of value.
      {notFound, error, kExact, kFits},
      {StructDef("any", {{"messages", ListDef(message)}}), error, kExact, kFits},
      {notFound, Struct("s", {{"messages", List({})}}), kExact, kFits},
      {notFound, Str("x"), lenient, {{kMismatch, "value", "error " + notFoundName, "string"}}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Check(cases[i].definition, cases[i].value, cases[i].mode), cases[i].failures)
        << "case " << i;
  }

  // Paths name each failure through nested fields; the root takes the caller's name.
  const DataDefinitionPtr input = StructDef("input", {{"vm", StrDef()}, {"update_spec", spec}});
  auto nested = Struct("i", {{"update_spec", Struct("s", {{"count", List({Int(1)})}})}});
  EXPECT_EQ(Check(input, nested),
            (Failures{{kMismatch, "update_spec.count", "integer", "list"}, {kMissing, "vm"}}));
  MessageList messages;
  EXPECT_FALSE(CheckValue(*IntDef(), Str("x"), CheckMode::Lenient, messages, "input"));
  EXPECT_EQ(ToFailures(messages), (Failures{{kUnparsable, "input", "integer", "x"}}));
}

TEST(DefinitionCheckTest, ReferencesAreCheckedThroughTheirTarget) {
  auto self = StructRefDefinition::GetInstance("com.example.node");
  DataDefinitionPtr node =
      StructDef("com.example.node", {{"value", IntDef()}, {"next", OptDef(self)}});
  self->SetTarget(std::static_pointer_cast<const StructDefinition>(node));

  EXPECT_EQ(Check(node, Struct("n", {{"value", Int(1)}, {"next", None()}}), kExact), kFits);
  auto badLeaf = Struct("n", {{"value", Str("x")}});
  auto chain = Struct("n", {{"value", Int(1)},
                            {"next", Some(Struct("n", {{"value", Int(2)}, {"next", badLeaf}}))}});
  EXPECT_EQ(Check(node, chain), (Failures{{kUnparsable, "next.next.value", "integer", "x"}}));

  // Unresolved or expired references fit nothing, but an absent optional needs no target.
  const std::string unresolved = "quil.data.definition.ref.unresolved";
  auto dangling = StructRefDefinition::GetInstance("com.example.gone");
  DataDefinitionPtr holder = StructDef("h", {{"child", OptDef(dangling)}});
  EXPECT_EQ(Check(holder, Struct("h", {})), kFits);
  EXPECT_EQ(Check(holder, Struct("h", {{"child", Struct("g", {})}})),
            (Failures{{unresolved, "child", "com.example.gone"}}));
  dangling->SetTarget(
      std::static_pointer_cast<const StructDefinition>(StructDef("com.example.gone", {})));
  EXPECT_EQ(Check(holder, Struct("h", {{"child", Some(Struct("g", {}))}})),
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
  const auto check = [&](Fields fields, CheckMode mode = CheckMode::Lenient) {
    return Check(backing, Struct("com.example.backing", fields), mode);
  };

  EXPECT_EQ(check({{"type", Str("IMAGE")}, {"iso_file", Str("a.iso")}}, kExact), kFits);
  EXPECT_EQ(check({{"type", Str("IMAGE")}}), (Failures{{required, "iso_file", "type", "IMAGE"}}));
  EXPECT_EQ(
      check({{"type", Str("IMAGE")}, {"iso_file", Some(Str("a"))}, {"device_name", Str("d")}}),
      (Failures{{forbidden, "device_name", "type", "IMAGE"}}));

  // Allowed members may be set or not.
  EXPECT_EQ(check({{"type", Str("ATAPI")}, {"device_name", Some(Str("sr0"))}}), kFits);
  EXPECT_EQ(check({{"type", Str("ATAPI")}, {"iso_file", Str("a")}}),
            (Failures{{forbidden, "iso_file", "type", "ATAPI"}}));

  // An absent tag reads as _UNKNOWN, where no member may be set.
  EXPECT_EQ(check({{"iso_file", Str("a")}}),
            (Failures{{forbidden, "iso_file", "type", "_UNKNOWN"}, {kMissing, "type"}}));
}

// That a declared error passes unchanged is the cpus end-to-end test's.
TEST(ApiMethodHelperTest, TheBindingsOwnErrorsPassAndOthersMustBeDeclaredAndFit) {
  using Provider::ApiMethodHelper;
  const std::string internal(ErrorNames::kInternalServerError);
  for (const std::string& own : {std::string(ErrorNames::kInvalidArgument), internal}) {
    auto error = ErrorValue::GetInstance(own);  // declared or not, whatever it carries
    error->SetField("surplus", Int(1));
    EXPECT_EQ(ApiMethodHelper::ValidateError("get", {}, error)->error, error);
  }
  // Undeclared, or declared but malformed: replaced, naming the method and the error.
  const std::string notFound = "com.korvan.quil.std.errors.not_found";
  const std::string unauthorized = "com.korvan.quil.std.errors.unauthorized";
  const DataDefinitionPtr messages =
      ListDef(StructDef(std::string(ErrorValue::kMessageStructName), {{"id", StrDef()}}));
  const std::vector<DataDefinitionPtr> declared{
      nullptr,
      ErrorDefinition::GetInstance(notFound, {{"messages", messages}, {"resource", StrDef()}})};
  const std::pair<std::string, Failures> replaced[] = {
      {unauthorized, {{"quil.provider.method.undeclared.error", "get", unauthorized}}},
      {notFound, {{kMissing, "resource"}, {"quil.provider.method.invalid.error", "get", notFound}}},
  };
  for (const auto& [name, failures] : replaced) {
    const Core::MethodResultPtr result =
        ApiMethodHelper::ValidateError("get", declared, ErrorValue::Create(name, {}));
    EXPECT_EQ(result->error->GetName(), internal);
    EXPECT_EQ(ToFailures(result->error->GetMessages()), failures) << name;
  }
}

}  // namespace
}  // namespace Quil::Data
