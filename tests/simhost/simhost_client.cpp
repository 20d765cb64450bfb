#include "simhost/simhost_client.h"

#include <string_view>

#include <gtest/gtest.h>

namespace SimHostTesting {

std::string OutcomeOf(const Quil::Data::ErrorValuePtr& error) {
  constexpr std::string_view kPrefix = "com.korvan.quil.std.errors.";
  if (error == nullptr) return "ok";
  const std::string& name = error->GetName();
  return name.compare(0, kPrefix.size(), kPrefix) == 0 ? name.substr(kPrefix.size()) : name;
}

std::string MessageOf(const Quil::Data::ErrorValuePtr& error) {
  if (error == nullptr) return "";
  const Quil::MessageList messages = error->GetMessages();
  return messages.empty() ? "" : messages.front().defaultMessage;
}

Deployment::Deployment(Tavo::SimHost::HostOptions options) : host(options) {
  EXPECT_TRUE(host.RegisterWith(provider));
}

Tavo::SimHost::MachineRecord Machine(const Tavo::SimHost::Host& host, const std::string& vm) {
  const Tavo::SimHost::InventorySnapshot snapshot = host.Snapshot();
  const Tavo::SimHost::MachineRecord* machine = snapshot.Find(vm);
  EXPECT_NE(machine, nullptr) << vm;
  return machine != nullptr ? *machine : Tavo::SimHost::MachineRecord{};
}

}  // namespace SimHostTesting
