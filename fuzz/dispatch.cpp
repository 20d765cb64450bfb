// Invocations of the simulated host through the in-process provider, with arbitrary inputs.
//
// Each input drives a fresh host that starts with three machines (stopped with devices, running,
// suspended) through up to four invocations: an operation of the catalogue (now and then a name
// no service has) with a value tree that mostly fits its input. Every invocation must answer
// exactly once, before Invoke returns (the host answers at once), with either an output that
// fits the operation's output definition exactly, or an error the operation declares (fitting
// its definition), invalid_argument, or operation_not_found for an unknown name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/data/definition_check.h>
#include <quil/error_names.h>
#include <quil/provider/api_provider.h>
#include <tavo/simhost/host.h>

#include "value_source.h"

namespace {

namespace Vm = Com::Korvan::Tavo::Vm;
using Quil::Data::DataValuePtr;

std::shared_ptr<const Tavo::SimHost::HostState> StartingState() {
  using namespace Tavo::SimHost;
  auto state = std::make_shared<HostState>();
  MachineRecord stopped;
  stopped.vm = "vm-1";
  stopped.guestOS = "linux";
  stopped.cdroms.push_back({"cdrom-1", "ide0:0", Vm::Device::CdromSvc::BackingType::IMAGE,
                            boost::none, std::string("boot.iso")});
  stopped.disks.push_back({"disk-1", "ide0:1"});
  stopped.networkAdapters.push_back(
      {"ethernet0", "lan", Vm::Device::NetworkSvc::VirtualDev::E1000});
  stopped.sataControllers.push_back({0, Vm::Device::SataControllerSvc::HbaType::AHCI, "sata0"});
  stopped.scsiControllers.push_back({0, Vm::Device::ScsiControllerSvc::HbaType::LSILOGIC, "scsi0"});
  MachineRecord running;
  running.vm = "vm-2";
  running.guestOS = "other";
  running.power = Vm::PowerSvc::Runtime::RUNNING;
  running.loaded = true;
  running.cpus.hotAddEnabled = true;
  running.memory.hotAddEnabled = true;
  MachineRecord suspended = running;
  suspended.vm = "vm-3";
  suspended.power = Vm::PowerSvc::Runtime::SUSPENDED;
  state->inventory.machines = {stopped, running, suspended};
  state->nextCdrom = 2;
  state->nextDisk = 2;
  return state;
}

struct Operation {
  std::string interfaceName;
  std::string methodName;
  std::shared_ptr<const Quil::Provider::AsyncApiMethod> method;  // from the catalogue
};

struct Setup {
  Setup()
      : words(Fuzz::CollectCatalogueWords({"vm-1", "vm-2", "vm-3", "ide1:0", "sata0:1", "scsi0:0",
                                           "ethernet1", "cdrom-1", "disk-1"})) {
    catalogue = Vm::DescribeServices();
    for (const auto& api : catalogue->List()) {
      for (const auto& method : api->GetMethods()) {
        operations.push_back({api->GetIdentifier()->GetName(), method->methodName(), method});
      }
    }
  }
  std::shared_ptr<Quil::Provider::InterfaceRegistry> catalogue;
  std::vector<Operation> operations;
  std::vector<std::string> words;
  std::shared_ptr<const Tavo::SimHost::HostState> state = StartingState();
};

[[noreturn]] void Fail(const std::string& what, const Operation* operation,
                       const DataValuePtr& value) {
  std::fprintf(stderr, "dispatch invariant broken: %s\n  operation: %s.%s\n  value: %.2000s\n",
               what.c_str(), operation ? operation->interfaceName.c_str() : "(unknown)",
               operation ? operation->methodName.c_str() : "",
               Quil::Data::ToText(value.get()).c_str());
  std::abort();
}

bool IsDeclared(const Quil::Provider::AsyncApiMethod& method,
                const Quil::Data::ErrorValuePtr& error) {
  for (const auto& declared : method.errorDefinitions()) {
    const auto* definition = static_cast<const Quil::Data::StructDefinition*>(declared.get());
    if (definition->GetName() != error->GetName()) continue;
    Quil::MessageList messages;
    return Quil::Data::CheckValue(*definition, error, Quil::Data::CheckMode::Exact, messages);
  }
  return false;
}

const Operation* Find(const std::vector<Operation>& operations, const std::string& interfaceName,
                      const std::string& methodName) {
  for (const Operation& operation : operations) {
    if (operation.interfaceName == interfaceName && operation.methodName == methodName) {
      return &operation;
    }
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const Setup setup;
  FuzzedDataProvider data(bytes, size);
  Fuzz::ValueSource source(data, setup.words);

  Tavo::SimHost::HostOptions options;
  options.initial = setup.state;
  Tavo::SimHost::Host host(options);
  Quil::Provider::LocalApiProvider provider;
  if (!host.RegisterWith(provider)) Fail("the host does not register", nullptr, nullptr);

  const int calls = data.ConsumeIntegralInRange<int>(1, 4);
  for (int call = 0; call < calls && data.remaining_bytes() > 0; ++call) {
    const std::size_t pick =
        data.ConsumeIntegralInRange<std::size_t>(0, setup.operations.size());  // last: unknown
    const bool named = pick < setup.operations.size();
    const std::string interfaceName = named ? setup.operations[pick].interfaceName : source.Word();
    const std::string methodName = named ? setup.operations[pick].methodName : source.Text();
    const Operation* operation = Find(setup.operations, interfaceName, methodName);
    const DataValuePtr input =
        operation ? source.Shaped(operation->method->inputDefinition()) : source.Any();

    int finals = 0;
    Quil::Core::MethodResultPtr answer;
    Quil::Core::AsyncApiResultCb callback(
        [&](Quil::Core::MethodResultPtr result, Quil::Progress, auto) {
          if (result == nullptr) return;  // progress
          ++finals;
          answer = std::move(result);
        });
    auto method = Quil::Core::MethodIdentifier::GetInstance(
        Quil::Core::InterfaceIdentifier::GetInstance(interfaceName), methodName);
    provider.Invoke(method, input, std::make_shared<Quil::Core::AsyncActivation>(), callback);

    if (finals != 1) Fail(std::to_string(finals) + " final answers", operation, input);
    if (answer->error != nullptr) {
      const std::string_view name = answer->error->GetName();
      const bool allowed = name == Quil::ErrorNames::kInvalidArgument ||
                           (operation == nullptr && name == Quil::ErrorNames::kOperationNotFound) ||
                           (operation != nullptr && IsDeclared(*operation->method, answer->error));
      if (!allowed) Fail("error " + Quil::Data::ToText(answer->error.get()), operation, input);
      if (answer->error->GetMessages().empty()) Fail("an error without message", operation, input);
    } else if (operation != nullptr) {
      Quil::MessageList messages;
      if (!Quil::Data::CheckValue(*operation->method->outputDefinition(), answer->output,
                                  Quil::Data::CheckMode::Exact, messages, "output")) {
        Fail("output " + Quil::Data::ToText(answer->output.get()) +
                 " misfits: " + messages.front().defaultMessage,
             operation, input);
      }
    } else {
      Fail("an unknown operation answered without error", operation, input);
    }
  }
  return 0;
}
