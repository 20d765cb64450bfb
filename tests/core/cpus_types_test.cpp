// The cpus service's generated types as the adapters and the validator see them.
#include <tavo/vm/compute/cpus.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/test_support.h"
#include "core/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;

constexpr std::string_view kInfoName = "com.korvan.tavo.vm.compute.cpus.info";
constexpr std::string_view kGetInput =
    "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::GetMethod::Input";
constexpr std::string_view kGet = "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Get";
constexpr std::string_view kUpdate = "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Update";
const Texts kCpuFields = {"count", "cores_per_socket", "hot_add_enabled", "hot_remove_enabled"};

// Records what a field walker declares: each field's wire name in order, and whether the table
// of known names is handed over last.
struct WalkRecorder {
  Texts names;
  KnownNames known;
  bool unknownFieldsLast = false;

  template <typename S, typename T>
  void AddField(std::string_view name, T S::*) {
    names.emplace_back(name);
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

TEST(CpusTypesTest, NamesWalkersAndKnownNames) {
  EXPECT_EQ(TypeInfo<Cpus::Info>::name(), kInfoName);
  EXPECT_EQ(TypeInfo<Cpus::UpdateSpec>::name(), "com.korvan.tavo.vm.compute.cpus.update_spec");
  EXPECT_EQ(TypeInfo<Cpus::GetMethod::Input>::name(), TypeInfo<OperationInput>::name());
  EXPECT_EQ(TypeInfo<Cpus::Info>::qualifiedName, "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Info");
  EXPECT_EQ(TypeInfo<Cpus::GetMethod::Input>::qualifiedName, kGetInput);
  EXPECT_EQ(TypeInfo<Cpus::GetMethod::Input>::operationName, kGet);
  EXPECT_EQ(TypeInfo<Cpus::UpdateMethod::Input>::operationName, kUpdate);

  const WalkRecorder info = Walk<Cpus::Info>();
  EXPECT_EQ(info.names, kCpuFields);
  EXPECT_TRUE(info.unknownFieldsLast);
  EXPECT_EQ(info.known.names, Cpus::Info::AdapterHelper::knownNames);
  EXPECT_EQ(info.known.count, 4u);
  const WalkRecorder spec = Walk<Cpus::UpdateSpec>();
  EXPECT_EQ(spec.names, kCpuFields);
  const WalkRecorder update = Walk<Cpus::UpdateMethod::Input>();
  EXPECT_EQ(update.names, (Texts{"vm", "update_spec"}));
  EXPECT_TRUE(update.unknownFieldsLast);

  // The tables are sorted byte-wise, which the unknown-field merge relies on.
  using Names = std::vector<std::string_view>;
  EXPECT_EQ(KnownNamesOf<Cpus::Info>(),
            (Names{"cores_per_socket", "count", "hot_add_enabled", "hot_remove_enabled"}));
  EXPECT_EQ(KnownNamesOf<Cpus::UpdateSpec>(), KnownNamesOf<Cpus::Info>());
  EXPECT_EQ(KnownNamesOf<Cpus::GetMethod::Input>(), Names{"vm"});
  EXPECT_EQ(KnownNamesOf<Cpus::UpdateMethod::Input>(), (Names{"update_spec", "vm"}));
}

TEST(CpusTypesTest, DefaultsConversionsAndValidation) {
  // Default instances: optionals unset, pointers null, no store; a new object on every call.
  const auto spec = TypeInfo<Cpus::UpdateSpec>::defaultInstance(Str("ignored"));
  ASSERT_NE(spec, nullptr);
  EXPECT_FALSE(spec->count || spec->coresPerSocket || spec->hotAddEnabled ||
               spec->hotRemoveEnabled);
  EXPECT_EQ(spec->unknownFields, nullptr);
  EXPECT_NE(TypeInfo<Cpus::UpdateSpec>::defaultInstance(nullptr), spec);
  const auto update = TypeInfo<Cpus::UpdateMethod::Input>::defaultInstance(nullptr);
  EXPECT_TRUE(update->vm.empty());
  EXPECT_EQ(update->updateSpec, nullptr);
  EXPECT_EQ(update->unknownFields, nullptr);

  // An Info is exactly its four fields in declaration order; distinct values show that no two
  // members trade places.
  Cpus::Info cpus;
  cpus.count = 8;
  cpus.coresPerSocket = 4;
  cpus.hotAddEnabled = true;
  cpus.hotRemoveEnabled = false;
  DataValuePtr value;
  MessageList messages;
  ASSERT_TRUE(ToValue(cpus, value, messages));
  EXPECT_EQ(FieldNames(value), kCpuFields);
  EXPECT_TRUE(
      Equals(value.get(), Struct(std::string(kInfoName), {{"count", Int(8)},
                                                          {"cores_per_socket", Int(4)},
                                                          {"hot_add_enabled", Bool(true)},
                                                          {"hot_remove_enabled", Bool(false)}})
                              .get()))
      << ToText(value.get());

  // A "get" input with an extra field keeps it, and the strict check rejects it.
  Cpus::GetMethod::Input get;
  ASSERT_TRUE(ValueToNativeAdapter::Adapt(
      Struct(TypeInfo<OperationInput>::name(), {{"vm", Str("vm-1")}, {"extra", Int(1)}}), get,
      messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Check(get), (Texts{Extra(kGetInput, "extra"), InvalidInput(kGet)}));

  // An "update" without its specification: only the invalid input; the specification's unknown
  // field, then the invalid input.
  Cpus::UpdateMethod::Input updateInput;
  updateInput.vm = "vm-1";
  EXPECT_EQ(Check(updateInput), Texts{InvalidInput(kUpdate)});
  auto updateSpec = std::make_shared<Cpus::UpdateSpec>();
  updateSpec->unknownFields = UnknownStore({"coun"});
  updateInput.updateSpec = updateSpec;
  EXPECT_EQ(Check(updateInput), (Texts{Extra(TypeInfo<Cpus::UpdateSpec>::qualifiedName, "coun"),
                                       InvalidInput(kUpdate)}));
}

}  // namespace
}  // namespace Quil::Data
