// The cpus service's generated types as every adapter and the validator see them: names, field
// walkers, default instances, conversions both ways, validation messages and definitions.
#include <tavo/vm/compute/cpus.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <quil/message.h>

#include "core/test_support.h"
#include "core/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;

constexpr std::string_view kInfoName = "com.korvan.tavo.vm.compute.cpus.info";
constexpr std::string_view kSpecName = "com.korvan.tavo.vm.compute.cpus.update_spec";
constexpr std::string_view kGetInput =
    "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::GetMethod::Input";
constexpr std::string_view kUpdateInput =
    "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::UpdateMethod::Input";
constexpr std::string_view kGet = "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Get";
constexpr std::string_view kUpdate = "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Update";
const Texts kCpuFields = {"count", "cores_per_socket", "hot_add_enabled", "hot_remove_enabled"};

// Records what a field walker declares: each field's wire name and native type in order, and the
// table of known names it hands over last.
struct WalkRecorder {
  Texts names;
  std::vector<std::type_index> types;
  KnownNames known;
  bool unknownFieldsLast = false;

  template <typename S, typename T>
  void AddField(std::string_view name, T S::*) {
    names.emplace_back(name);
    types.emplace_back(typeid(T));
    unknownFieldsLast = false;
  }
  template <std::size_t N>
  void AddUnknownFields(const KnownName (&table)[N]) {
    known = table;
    unknownFieldsLast = true;
  }
};

template <typename S>
WalkRecorder Walk() {
  WalkRecorder recorder;
  S::AdapterHelper::AddFields(recorder);
  return recorder;
}

template <typename S>
std::vector<std::string_view> KnownNamesOf() {
  return {std::begin(S::AdapterHelper::knownNames), std::end(S::AdapterHelper::knownNames)};
}

std::shared_ptr<StructValue> EmptySpecValue() {
  return Struct(std::string(kSpecName), {{"count", None()},
                                         {"cores_per_socket", None()},
                                         {"hot_add_enabled", None()},
                                         {"hot_remove_enabled", None()}});
}

bool IsEmptySpec(const Cpus::UpdateSpec& spec) {
  return !spec.count && !spec.coresPerSocket && !spec.hotAddEnabled && !spec.hotRemoveEnabled &&
         spec.unknownFields == nullptr;
}

TEST(CpusTypesTest, NamesWalkersAndKnownNames) {
  EXPECT_EQ(TypeInfo<Cpus::Info>::name(), kInfoName);
  EXPECT_EQ(TypeInfo<Cpus::UpdateSpec>::name(), kSpecName);
  EXPECT_EQ(TypeInfo<Cpus::GetMethod::Input>::name(), TypeInfo<OperationInput>::name());
  EXPECT_EQ(TypeInfo<Cpus::UpdateMethod::Input>::name(), TypeInfo<OperationInput>::name());
  EXPECT_EQ(TypeInfo<Cpus::Info>::qualifiedName, "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Info");
  EXPECT_EQ(TypeInfo<Cpus::UpdateSpec>::qualifiedName,
            "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::UpdateSpec");
  EXPECT_EQ(TypeInfo<Cpus::GetMethod::Input>::qualifiedName, kGetInput);
  EXPECT_EQ(TypeInfo<Cpus::UpdateMethod::Input>::qualifiedName, kUpdateInput);
  EXPECT_EQ(TypeInfo<Cpus::GetMethod::Input>::operationName, kGet);
  EXPECT_EQ(TypeInfo<Cpus::UpdateMethod::Input>::operationName, kUpdate);

  // Fields in declaration order with their native types; the known names come last.
  using Types = std::vector<std::type_index>;
  const std::type_index int64 = typeid(std::int64_t);
  const std::type_index flag = typeid(bool);
  const WalkRecorder info = Walk<Cpus::Info>();
  EXPECT_EQ(info.names, kCpuFields);
  EXPECT_EQ(info.types, (Types{int64, int64, flag, flag}));
  EXPECT_TRUE(info.unknownFieldsLast);
  EXPECT_EQ(info.known.names, Cpus::Info::AdapterHelper::knownNames);
  EXPECT_EQ(info.known.count, 4u);

  const WalkRecorder spec = Walk<Cpus::UpdateSpec>();
  EXPECT_EQ(spec.names, kCpuFields);
  const std::type_index maybeInt64 = typeid(boost::optional<std::int64_t>);
  const std::type_index maybeFlag = typeid(boost::optional<bool>);
  EXPECT_EQ(spec.types, (Types{maybeInt64, maybeInt64, maybeFlag, maybeFlag}));
  EXPECT_TRUE(spec.unknownFieldsLast);

  const WalkRecorder get = Walk<Cpus::GetMethod::Input>();
  EXPECT_EQ(get.names, Texts{"vm"});
  EXPECT_EQ(get.types, Types{typeid(std::string)});
  EXPECT_EQ(get.known.count, 1u);

  const WalkRecorder update = Walk<Cpus::UpdateMethod::Input>();
  EXPECT_EQ(update.names, (Texts{"vm", "update_spec"}));
  EXPECT_EQ(update.types,
            (Types{typeid(std::string), typeid(std::shared_ptr<const Cpus::UpdateSpec>)}));
  EXPECT_TRUE(update.unknownFieldsLast);
  EXPECT_EQ(update.known.names, Cpus::UpdateMethod::Input::AdapterHelper::knownNames);

  // The tables are sorted byte-wise, which the unknown-field merge relies on.
  using Names = std::vector<std::string_view>;
  EXPECT_EQ(KnownNamesOf<Cpus::Info>(),
            (Names{"cores_per_socket", "count", "hot_add_enabled", "hot_remove_enabled"}));
  EXPECT_EQ(KnownNamesOf<Cpus::UpdateSpec>(), KnownNamesOf<Cpus::Info>());
  EXPECT_EQ(KnownNamesOf<Cpus::GetMethod::Input>(), Names{"vm"});
  EXPECT_EQ(KnownNamesOf<Cpus::UpdateMethod::Input>(), (Names{"update_spec", "vm"}));
}

TEST(CpusTypesTest, DefaultsAndConversionsKeepTheDeclaredShape) {
  // Default instances: optionals unset, pointers null, no unknown-field store; each call makes a
  // new object whatever value it is given.
  const auto spec = TypeInfo<Cpus::UpdateSpec>::defaultInstance(Str("ignored"));
  ASSERT_NE(spec, nullptr);
  EXPECT_TRUE(IsEmptySpec(*spec));
  EXPECT_NE(TypeInfo<Cpus::UpdateSpec>::defaultInstance(nullptr), spec);
  const auto info = TypeInfo<Cpus::Info>::defaultInstance(nullptr);
  EXPECT_EQ(info->unknownFields, nullptr);
  const auto update = TypeInfo<Cpus::UpdateMethod::Input>::defaultInstance(nullptr);
  EXPECT_TRUE(update->vm.empty());
  EXPECT_EQ(update->updateSpec, nullptr);
  EXPECT_EQ(update->unknownFields, nullptr);
  EXPECT_EQ(TypeInfo<Cpus::GetMethod::Input>::defaultInstance(nullptr)->unknownFields, nullptr);

  // An empty specification is four unset optionals, and comes back empty.
  DataValuePtr value;
  MessageList messages;
  ASSERT_TRUE(ToValue(*spec, value, messages));
  EXPECT_TRUE(Equals(value.get(), EmptySpecValue().get())) << ToText(value.get());
  EXPECT_EQ(FieldNames(value), kCpuFields);
  Cpus::UpdateSpec specBack;
  ASSERT_TRUE(ValueToNativeAdapter::Adapt(value, specBack, messages));
  EXPECT_TRUE(IsEmptySpec(specBack));

  // An "update" whose specification has no fields, given as a structure without fields or as an
  // empty string, decodes to an empty specification and goes out with four unset optionals.
  for (const DataValuePtr& specValue : {DataValuePtr(Struct("any", {})), Str("")}) {
    SCOPED_TRACE(ToText(specValue.get()));
    Cpus::UpdateMethod::Input input;
    ASSERT_TRUE(ValueToNativeAdapter::Adapt(
        Struct(TypeInfo<OperationInput>::name(), {{"vm", Str("vm-7")}, {"update_spec", specValue}}),
        input, messages));
    EXPECT_EQ(input.vm, "vm-7");
    ASSERT_NE(input.updateSpec, nullptr);
    EXPECT_TRUE(IsEmptySpec(*input.updateSpec));
    EXPECT_EQ(input.unknownFields, nullptr);
    ASSERT_TRUE(ToValue(input, value, messages));
    EXPECT_TRUE(Equals(value.get(), Struct(TypeInfo<OperationInput>::name(),
                                           {{"vm", Str("vm-7")}, {"update_spec", EmptySpecValue()}})
                                        .get()))
        << ToText(value.get());
  }

  // An Info is exactly its four fields in declaration order; distinct values show that no two
  // members trade places.
  Cpus::Info cpus;
  cpus.count = 8;
  cpus.coresPerSocket = 4;
  cpus.hotAddEnabled = true;
  cpus.hotRemoveEnabled = false;
  ASSERT_TRUE(ToValue(cpus, value, messages));
  EXPECT_EQ(dynamic_cast<const StructValue&>(*value).GetName(), kInfoName);
  EXPECT_EQ(FieldNames(value), kCpuFields);
  EXPECT_TRUE(
      Equals(value.get(), Struct(std::string(kInfoName), {{"count", Int(8)},
                                                          {"cores_per_socket", Int(4)},
                                                          {"hot_add_enabled", Bool(true)},
                                                          {"hot_remove_enabled", Bool(false)}})
                              .get()))
      << ToText(value.get());
  Cpus::Info infoBack;
  ASSERT_TRUE(ValueToNativeAdapter::Adapt(value, infoBack, messages));
  EXPECT_EQ(infoBack.count, 8);
  EXPECT_EQ(infoBack.coresPerSocket, 4);
  EXPECT_TRUE(infoBack.hotAddEnabled);
  EXPECT_FALSE(infoBack.hotRemoveEnabled);
  EXPECT_EQ(infoBack.unknownFields, nullptr);
  EXPECT_TRUE(messages.empty());
}

TEST(CpusTypesTest, ValidationNamesTheCpusTypes) {
  // A "get" input with an extra field keeps it, and the strict check rejects it.
  const DataValuePtr extra = Int(1);
  Cpus::GetMethod::Input get;
  MessageList messages;
  ASSERT_TRUE(ValueToNativeAdapter::Adapt(
      Struct(TypeInfo<OperationInput>::name(), {{"vm", Str("vm-1")}, {"extra", extra}}), get,
      messages));
  EXPECT_EQ(get.vm, "vm-1");
  ASSERT_NE(get.unknownFields, nullptr);
  EXPECT_EQ(FieldNames(get.unknownFields), Texts{"extra"});
  EXPECT_EQ(get.unknownFields->FindField("extra")->get(), extra.get());
  EXPECT_EQ(Check(get), (Texts{Extra(kGetInput, "extra"), InvalidInput(kGet)}));
  EXPECT_EQ(Check(get, static_cast<Validator::Policy>(0)), Texts{});
  get.unknownFields = nullptr;
  EXPECT_EQ(Check(get), Texts{});

  // An "update" without its specification: the one invalid-input message, appended after what the
  // list held.
  Cpus::UpdateMethod::Input update;
  update.vm = "vm-1";
  messages = {Message<CoreTag>("quil.invoke.invalid.input", std::string("earlier"))};
  EXPECT_FALSE(Validator::isValid(update, Validator::Strict, messages));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], Message<CoreTag>("quil.invoke.invalid.input", std::string(kUpdate)));

  // The specification's own unknown field, then the invalid input; unknown fields of the record
  // itself end the check before the specification is looked at.
  auto spec = std::make_shared<Cpus::UpdateSpec>();
  update.updateSpec = spec;
  EXPECT_EQ(Check(update), Texts{});
  spec->unknownFields = UnknownStore({"coun"});
  EXPECT_EQ(Check(update), (Texts{Extra(TypeInfo<Cpus::UpdateSpec>::qualifiedName, "coun"),
                                  InvalidInput(kUpdate)}));
  update.unknownFields = UnknownStore({"vm_id"});
  EXPECT_EQ(Check(update), (Texts{Extra(kUpdateInput, "vm_id"), InvalidInput(kUpdate)}));

  // A result structure answers for itself alone.
  Cpus::Info info;
  EXPECT_EQ(Check(info), Texts{});
  info.unknownFields = UnknownStore({"threads", "cores"});
  EXPECT_EQ(Check(info), (Texts{Extra(TypeInfo<Cpus::Info>::qualifiedName, "cores"),
                                Extra(TypeInfo<Cpus::Info>::qualifiedName, "threads")}));
}

TEST(CpusTypesTest, Definitions) {
  const DataDefinitionPtr integer = DataDefinition::Create<std::int64_t>();
  const DataDefinitionPtr boolean = DataDefinition::Create<bool>();
  const DataDefinitionPtr text = DataDefinition::Create<std::string>();

  DataDefinitionPtr info = NativeToDefinitionAdapter::DefinitionOf<Cpus::Info>();
  ASSERT_EQ(info->GetType(), DataType::STRUCTURE);
  EXPECT_TRUE(Equals(info.get(), StructDefinition::GetInstance(std::string(kInfoName),
                                                               {{"count", integer},
                                                                {"cores_per_socket", integer},
                                                                {"hot_add_enabled", boolean},
                                                                {"hot_remove_enabled", boolean}})
                                     .get()))
      << ToText(info.get());

  const auto optional = [](const DataDefinitionPtr& element) {
    return OptionalDefinition::GetInstance(element);
  };
  DataDefinitionPtr update = NativeToDefinitionAdapter::DefinitionOf<Cpus::UpdateMethod::Input>();
  DataDefinitionPtr expected = StructDefinition::GetInstance(
      TypeInfo<OperationInput>::name(),
      {{"vm", text},
       {"update_spec", StructDefinition::GetInstance(
                           std::string(kSpecName), {{"count", optional(integer)},
                                                    {"cores_per_socket", optional(integer)},
                                                    {"hot_add_enabled", optional(boolean)},
                                                    {"hot_remove_enabled", optional(boolean)}})}});
  EXPECT_TRUE(Equals(update.get(), expected.get())) << ToText(update.get());
  EXPECT_TRUE(Equals(
      NativeToDefinitionAdapter::DefinitionOf<Cpus::GetMethod::Input>().get(),
      StructDefinition::GetInstance(TypeInfo<OperationInput>::name(), {{"vm", text}}).get()));
}

// Random values of the cpus types.
class CpusValues : public RandomValues {
 public:
  using RandomValues::RandomValues;

  std::shared_ptr<Cpus::Info> Info() {
    auto info = std::make_shared<Cpus::Info>();
    info->count = Number();
    info->coresPerSocket = Number();
    info->hotAddEnabled = Chance(50);
    info->hotRemoveEnabled = Chance(50);
    info->unknownFields = UnknownFields();
    return info;
  }
  std::shared_ptr<Cpus::UpdateSpec> Spec() {
    auto spec = std::make_shared<Cpus::UpdateSpec>();
    if (Chance(50)) spec->count = Number();
    if (Chance(50)) spec->coresPerSocket = Number();
    if (Chance(50)) spec->hotAddEnabled = Chance(50);
    if (Chance(50)) spec->hotRemoveEnabled = Chance(50);
    spec->unknownFields = UnknownFields();
    return spec;
  }
};

bool SameInfo(const Cpus::Info& a, const Cpus::Info& b) {
  return a.count == b.count && a.coresPerSocket == b.coresPerSocket &&
         a.hotAddEnabled == b.hotAddEnabled && a.hotRemoveEnabled == b.hotRemoveEnabled &&
         SameStore(a.unknownFields, b.unknownFields);
}
bool SameSpec(const Cpus::UpdateSpec* a, const Cpus::UpdateSpec* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->count == b->count && a->coresPerSocket == b->coresPerSocket &&
         a->hotAddEnabled == b->hotAddEnabled && a->hotRemoveEnabled == b->hotRemoveEnabled &&
         SameStore(a->unknownFields, b->unknownFields);
}

TEST(CpusTypesTest, RandomValuesSurviveTheRoundTrip) {
  CpusValues generate(20240612);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    DataValuePtr first;
    DataValuePtr second;

    const auto info = generate.Info();
    Cpus::Info infoBack;
    RoundTrip(*info, infoBack, first, second);
    EXPECT_TRUE(SameInfo(*info, infoBack)) << ToText(first.get());

    const auto spec = generate.Spec();
    Cpus::UpdateSpec specBack;
    RoundTrip(*spec, specBack, first, second);
    EXPECT_TRUE(SameSpec(spec.get(), &specBack)) << ToText(first.get());

    Cpus::GetMethod::Input get;
    get.vm = generate.Text();
    get.unknownFields = generate.UnknownFields();
    Cpus::GetMethod::Input getBack;
    RoundTrip(get, getBack, first, second);
    EXPECT_EQ(get.vm, getBack.vm);
    EXPECT_TRUE(SameStore(get.unknownFields, getBack.unknownFields));

    Cpus::UpdateMethod::Input update;
    update.vm = generate.Text();
    update.updateSpec = generate.Spec();
    update.unknownFields = generate.UnknownFields();
    Cpus::UpdateMethod::Input updateBack;
    RoundTrip(update, updateBack, first, second);
    EXPECT_EQ(update.vm, updateBack.vm);
    EXPECT_TRUE(SameSpec(update.updateSpec.get(), updateBack.updateSpec.get()));
    EXPECT_TRUE(SameStore(update.unknownFields, updateBack.unknownFields));
  }
}

}  // namespace
}  // namespace Quil::Data
