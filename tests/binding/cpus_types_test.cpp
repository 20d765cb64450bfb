// The cpus service's generated types as the adapters and the validator see them.
#include <tavo/vm/compute/cpus.h>

#include <iterator>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "binding/test_support.h"
#include "binding/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;
using Names = std::vector<std::string_view>;

template <typename S>
Names KnownNamesOf() {
  return {std::begin(S::AdapterHelper::knownNames), std::end(S::AdapterHelper::knownNames)};
}

TEST(CpusTypesTest, NamesKnownNamesAndFieldOrder) {
  EXPECT_EQ(TypeInfo<Cpus::Info>::name(), "com.korvan.tavo.vm.compute.cpus.info");
  EXPECT_EQ(TypeInfo<Cpus::UpdateSpec>::name(), "com.korvan.tavo.vm.compute.cpus.update_spec");
  EXPECT_EQ(TypeInfo<Cpus::GetMethod::Input>::name(), TypeInfo<OperationInput>::name());
  EXPECT_EQ(TypeInfo<Cpus::UpdateMethod::Input>::operationName,
            "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Update");

  // The tables are sorted byte-wise, which the unknown-field merge relies on.
  EXPECT_EQ(KnownNamesOf<Cpus::Info>(),
            (Names{"cores_per_socket", "count", "hot_add_enabled", "hot_remove_enabled"}));
  EXPECT_EQ(KnownNamesOf<Cpus::UpdateSpec>(), KnownNamesOf<Cpus::Info>());
  EXPECT_EQ(KnownNamesOf<Cpus::UpdateMethod::Input>(), (Names{"update_spec", "vm"}));

  // Distinct values show that no two members trade places.
  Cpus::Info cpus;
  cpus.count = 8;
  cpus.coresPerSocket = 4;
  cpus.hotAddEnabled = true;
  DataValuePtr value;
  MessageList messages;
  ASSERT_TRUE(ToValue(cpus, value, messages));
  EXPECT_TRUE(Equals(value.get(), Struct("com.korvan.tavo.vm.compute.cpus.info",
                                         {{"count", Int(8)},
                                          {"cores_per_socket", Int(4)},
                                          {"hot_add_enabled", Bool(true)},
                                          {"hot_remove_enabled", Bool(false)}})
                                      .get()))
      << ToText(value.get());
  EXPECT_EQ(FieldNames(value)[1], "cores_per_socket");
}

}  // namespace
}  // namespace Quil::Data
