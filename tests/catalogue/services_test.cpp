// Every service of the catalogue, from one table: its wire name, the order in which its binder
// lists the methods, each operation's declared errors, input and output definitions, and a call
// of each operation by a client stub through the in-process provider to the bound service.
//
// The bound implementation is the service's own client stub over a provider that records what it
// receives and answers from the table. A call therefore crosses the client stub, the provider's
// checks, the binder's method filter, the implementation's member function and a second stub:
// the input the second stub sends must equal the one the first stub sent (an argument passed to
// the wrong parameter shows there), and the answer must come back to the caller unchanged.
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/client/future_result.h>
#include <quil/provider/api_provider.h>
#include <quil/stub/invoker.h>
#include <quil/type_info.h>
#include <tavo/vm/compute/cpus.h>
#include <tavo/vm/compute/memory.h>
#include <tavo/vm/device/cdrom.h>
#include <tavo/vm/device/disk.h>
#include <tavo/vm/device/network.h>
#include <tavo/vm/device/sata_controller.h>
#include <tavo/vm/device/scsi_controller.h>
#include <tavo/vm/dock.h>
#include <tavo/vm/nask.h>
#include <tavo/vm/power.h>

#include "catalogue/catalogue_support.h"

namespace Catalogue {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace Memory = ::Com::Korvan::Tavo::Vm::Compute::MemorySvc;
namespace Cdrom = ::Com::Korvan::Tavo::Vm::Device::CdromSvc;
namespace Disk = ::Com::Korvan::Tavo::Vm::Device::DiskSvc;
namespace Network = ::Com::Korvan::Tavo::Vm::Device::NetworkSvc;
namespace Sata = ::Com::Korvan::Tavo::Vm::Device::SataControllerSvc;
namespace Scsi = ::Com::Korvan::Tavo::Vm::Device::ScsiControllerSvc;
namespace Dock = ::Com::Korvan::Tavo::Vm::DockSvc;
namespace Power = ::Com::Korvan::Tavo::Vm::PowerSvc;
namespace Nask = ::Com::Korvan::Tavo::Vm::NaskSvc;

using Quil::Core::AsyncActivation;
using Quil::Core::AsyncApiResultCb;
using Quil::Core::MethodIdentifier;
using Quil::Provider::ApiProvider;
using Quil::Provider::AsyncApiInterface;
using Quil::Stub::AsyncApiStub;

// Passes every invocation on to `target`, keeping the inputs.
class RecordingProvider final : public ApiProvider {
 public:
  explicit RecordingProvider(ApiProvider& target) : target_(target) {}

  void Invoke(std::shared_ptr<const MethodIdentifier> method, DataValuePtr input,
              std::shared_ptr<AsyncActivation> activation,
              const AsyncApiResultCb& callback) override {
    inputs.push_back(input);
    target_.Invoke(std::move(method), std::move(input), std::move(activation), callback);
  }

  std::vector<DataValuePtr> inputs;

 private:
  ApiProvider& target_;
};

// What a call came back with: the reply converted to a value, or the error's name.
struct Outcome {
  DataValuePtr value;
  std::string error;
};

struct OperationCase {
  std::string wire;
  Texts errors;        // declared errors, in order, without "com.korvan.quil.std.errors."
  std::string input;   // Shape of the input definition
  std::string output;  // Shape of the output definition
  DataValuePtr sent;   // the input value that `call` makes the stub send
  DataValuePtr answer;
  // From the method class.
  std::string (*interfaceName)();
  std::string (*methodName)();
  DataDefinitionPtr (*inputDef)();
  DataDefinitionPtr (*outputDef)();
  std::vector<DataDefinitionPtr> (*errorDefs)();
  std::function<Outcome(ApiProvider& provider, AsyncActivation& defaults)> call;
};

struct ServiceCase {
  std::string wire;
  // Binds the service's client stub over `relay` as the implementation.
  std::function<std::shared_ptr<const AsyncApiInterface>(std::shared_ptr<AsyncApiStub> relay)>
      bindRelay;
  std::vector<OperationCase> operations;
};

template <typename Binder, typename Stub>
std::shared_ptr<const AsyncApiInterface> BindRelay(std::shared_ptr<AsyncApiStub> relay) {
  return Binder::BindImplementation(std::make_shared<Stub>(std::move(relay)));
}

// One row: `invoke` calls the operation on a client stub with the arguments that `sent` holds.
template <typename Stub, typename M>
OperationCase Operation(std::string wire, Texts errors, std::string input, std::string output,
                        DataValuePtr sent, DataValuePtr answer,
                        std::function<void(Stub&, const typename M::ResultCbType&)> invoke) {
  OperationCase operation{std::move(wire),
                          std::move(errors),
                          std::move(input),
                          std::move(output),
                          std::move(sent),
                          std::move(answer),
                          &Quil::TypeInfo<typename M::Interface>::name,
                          &M::methodName,
                          &M::inputDef,
                          &M::outputDef,
                          &M::errorDefs,
                          nullptr};
  operation.call = [invoke](ApiProvider& provider, AsyncActivation& defaults) {
    Stub stub(std::make_shared<AsyncApiStub>(provider, defaults));
    auto [result, reply] = Quil::Client::MakeFutureResult<typename M::ResultType>();
    invoke(stub, result);
    if (reply.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      return Outcome{nullptr, "no answer"};
    }
    auto answer = reply.get();
    if (!answer.ok()) return Outcome{nullptr, answer.error() ? answer.error()->GetName() : "null"};
    MessageList messages;
    DataValuePtr value = ToValue(answer.value(), messages);
    return Outcome{value, Describe(messages).empty() ? "" : Describe(messages)[0]};
  };
  return operation;
}

const std::string kInput = "structure com.korvan.quil.operation_input";

DataValuePtr Nothing() { return Quil::Data::VoidValue::GetInstance(); }

std::vector<ServiceCase> Services() {
  std::vector<ServiceCase> services;

  // Compute cpus and memory: the same operations, inputs and errors.
  const Texts readErrors = {
      "error",           "not_found",   "resource_inaccessible", "service_unavailable",
      "unauthenticated", "unauthorized"};
  const Texts updateErrors = {"error",
                              "not_found",
                              "invalid_argument",
                              "not_allowed_in_current_state",
                              "resource_busy",
                              "resource_inaccessible",
                              "service_unavailable",
                              "unauthenticated",
                              "unauthorized"};
  {
    const std::string info = "com.korvan.tavo.vm.compute.cpus.info";
    services.push_back(
        {"com.korvan.tavo.vm.compute.cpus",
         &BindRelay<Cpus::AsyncServiceBinder, Cpus::AsyncServiceStub>,
         {Operation<Cpus::AsyncServiceStub, Cpus::GetMethod>(
              "get", readErrors, kInput + "{vm}",
              "structure " + info +
                  "{cores_per_socket, count, hot_add_enabled, hot_remove_enabled}",
              Input({{"vm", Str("vm-1")}}),
              Struct(info, {{"count", Int(4)},
                            {"cores_per_socket", Int(2)},
                            {"hot_add_enabled", Bool(true)},
                            {"hot_remove_enabled", Bool(false)}}),
              [](auto& stub, const auto& result) { stub.Get("vm-1", nullptr, result); }),
          Operation<Cpus::AsyncServiceStub, Cpus::UpdateMethod>(
              "update", updateErrors, kInput + "{update_spec, vm}", "void",
              Input({{"vm", Str("vm-1")},
                     {"update_spec", Struct("com.korvan.tavo.vm.compute.cpus.update_spec",
                                            {{"count", Some(Int(8))},
                                             {"cores_per_socket", None()},
                                             {"hot_add_enabled", None()},
                                             {"hot_remove_enabled", Some(Bool(true))}})}}),
              Nothing(), [](auto& stub, const auto& result) {
                auto spec = std::make_shared<Cpus::UpdateSpec>();
                spec->count = 8;
                spec->hotRemoveEnabled = true;
                stub.Update("vm-1", spec, nullptr, result);
              })}});
  }
  {
    const std::string properties = "com.korvan.tavo.vm.compute.memory.properties";
    services.push_back(
        {"com.korvan.tavo.vm.compute.memory",
         &BindRelay<Memory::AsyncServiceBinder, Memory::AsyncServiceStub>,
         {Operation<Memory::AsyncServiceStub, Memory::GetMethod>(
              "get", readErrors, kInput + "{vm}",
              "structure " + properties + "{hot_add_enabled, size}", Input({{"vm", Str("vm-1")}}),
              Struct(properties, {{"size", Int(4096)}, {"hot_add_enabled", Bool(true)}}),
              [](auto& stub, const auto& result) { stub.Get("vm-1", nullptr, result); }),
          Operation<Memory::AsyncServiceStub, Memory::UpdateMethod>(
              "update", updateErrors, kInput + "{update_spec, vm}", "void",
              Input({{"vm", Str("vm-2")},
                     {"update_spec",
                      Struct("com.korvan.tavo.vm.compute.memory.update_spec",
                             {{"size", Some(Int(2048))}, {"hot_add_enabled", None()}})}}),
              Nothing(), [](auto& stub, const auto& result) {
                auto spec = std::make_shared<Memory::UpdateSpec>();
                spec->size = 2048;
                stub.Update("vm-2", spec, nullptr, result);
              })}});
  }
  {
    const std::string summary = "com.korvan.tavo.vm.device.cdrom.summary";
    services.push_back(
        {"com.korvan.tavo.vm.device.cdrom",
         &BindRelay<Cdrom::AsyncServiceBinder, Cdrom::AsyncServiceStub>,
         {Operation<Cdrom::AsyncServiceStub, Cdrom::AddMethod>(
              "add",
              {"not_found", "not_allowed_in_current_state", "invalid_argument", "already_exists",
               "unable_to_allocate_resource", "error"},
              kInput + "{backing, device, vm}", "string",
              Input({{"vm", Str("vm-1")},
                     {"backing", Struct("com.korvan.tavo.vm.device.cdrom.backing_info",
                                        {{"type", Str("ATAPI")},
                                         {"device_name", Some(Str("/dev/cdrom"))},
                                         {"iso_file", None()}})},
                     {"device", Str("ide0:1")}}),
              Str("cdrom-7"),
              [](auto& stub, const auto& result) {
                auto backing = std::make_shared<Cdrom::BackingInfo>();
                backing->type = Cdrom::BackingType::ATAPI;
                backing->deviceName = "/dev/cdrom";
                stub.Add("vm-1", backing, "ide0:1", nullptr, result);
              }),
          Operation<Cdrom::AsyncServiceStub, Cdrom::ListMethod>(
              "list", {"not_found", "not_allowed_in_current_state", "error"},
              kInput + "{filter, vm}",
              "list<structure " + summary + "{backing_type, cdrom, device}>",
              Input({{"vm", Str("vm-1")},
                     {"filter",
                      Some(Struct("com.korvan.tavo.vm.device.cdrom.filter_spec",
                                  {{"cdroms", None()},
                                   {"backing_types", Some(Set({Str("IMAGE"), Str("TAPE")}))},
                                   {"devices", None()}}))}}),
              List({Struct(summary, {{"cdrom", Str("cdrom-1")},
                                     {"backing_type", Str("RAW")},
                                     {"device", Str("ide0:0")}})}),
              [](auto& stub, const auto& result) {
                auto filter = Quil::MakeOptionalPtr<Cdrom::FilterSpec>();
                filter->backingTypes = std::set<Cdrom::BackingType>{
                    Cdrom::BackingType::FromText("TAPE"), Cdrom::BackingType::IMAGE};
                stub.List("vm-1", filter, nullptr, result);
              }),
          Operation<Cdrom::AsyncServiceStub, Cdrom::DeleteMethod>(
              "delete", {"not_found", "not_allowed_in_current_state", "invalid_argument", "error"},
              kInput + "{device, vm}", "void",
              Input({{"vm", Str("vm-1")}, {"device", Str("ide0:1")}}), Nothing(),
              [](auto& stub, const auto& result) {
                stub.Delete("vm-1", "ide0:1", nullptr, result);
              })}});
  }
  {
    const std::string summary = "com.korvan.tavo.vm.device.disk.summary";
    const std::string listResult = "com.korvan.tavo.vm.device.disk.list_result";
    services.push_back(
        {"com.korvan.tavo.vm.device.disk",
         &BindRelay<Disk::AsyncServiceBinder, Disk::AsyncServiceStub>,
         {Operation<Disk::AsyncServiceStub, Disk::AddMethod>(
              "add",
              {"already_exists", "error", "invalid_argument", "not_allowed_in_current_state",
               "not_found", "unable_to_allocate_resource"},
              kInput + "{spec}", "string",
              Input({{"spec", Struct("com.korvan.tavo.vm.device.disk.add_spec",
                                     {{"vm", Str("vm-1")},
                                      {"disk", Str("disk-3")},
                                      {"device", Str("scsi0:3")}})}}),
              Str("scsi0:3"),
              [](auto& stub, const auto& result) {
                auto spec = std::make_shared<Disk::AddSpec>();
                spec->vm = "vm-1";
                spec->disk = "disk-3";
                spec->device = "scsi0:3";
                stub.Add(spec, nullptr, result);
              }),
          Operation<Disk::AsyncServiceStub, Disk::ListMethod>(
              "list", {"not_found", "not_allowed_in_current_state", "error"},
              kInput + "{filter, vm}", "structure " + listResult + "{list}",
              Input({{"vm", Str("vm-1")}, {"filter", None()}}),
              Struct(listResult, {{"list", List({Struct(summary, {{"disk", Str("disk-3")},
                                                                  {"device", Str("scsi0:3")}})})}}),
              [](auto& stub, const auto& result) {
                stub.List("vm-1", nullptr, nullptr, result);
              })}});
  }
  {
    const std::string listResult = "com.korvan.tavo.vm.device.network.list_result";
    const Texts listErrors = {"not_found", "not_allowed_in_current_state", "error"};
    services.push_back({"com.korvan.tavo.vm.device.network",
                        &BindRelay<Network::AsyncServiceBinder, Network::AsyncServiceStub>,
                        {Operation<Network::AsyncServiceStub, Network::AddMethod>(
                             "add", {"already_exists", "not_found", "error"}, kInput + "{spec}",
                             "void",
                             Input({{"spec", Struct("com.korvan.tavo.vm.device.network.add_spec",
                                                    {{"vm", Str("vm-1")},
                                                     {"network", Str("net-1")},
                                                     {"adapter", Str("FLINDR3")},
                                                     {"device", Str("eth0")}})}}),
                             Nothing(),
                             [](auto& stub, const auto& result) {
                               auto spec = std::make_shared<Network::AddSpec>();
                               spec->vm = "vm-1";
                               spec->network = "net-1";
                               spec->adapter = Network::VirtualDev::FLINDR3;
                               spec->device = "eth0";
                               stub.Add(spec, nullptr, result);
                             }),
                         Operation<Network::AsyncServiceStub, Network::ListMethod>(
                             "list", listErrors, kInput + "{filter, vm}",
                             "structure " + listResult + "{list}",
                             Input({{"vm", Str("vm-1")},
                                    {"filter",
                                     Some(Struct("com.korvan.tavo.vm.device.network.filter_spec",
                                                 {{"networks", None()},
                                                  {"devices", None()},
                                                  {"adapters",
                                                   Some(Set({Str("TORVEN"), Str("E1000E")}))}}))}}),
                             Struct(listResult, {{"list", List({})}}),
                             [](auto& stub, const auto& result) {
                               auto filter = Quil::MakeOptionalPtr<Network::FilterSpec>();
                               filter->adapters = std::set<Network::VirtualDev>{
                                   Network::VirtualDev::E1000E, Network::VirtualDev::TORVEN};
                               stub.List("vm-1", filter, nullptr, result);
                             }),
                         Operation<Network::AsyncServiceStub, Network::RemoveMethod>(
                             "remove", listErrors, kInput + "{device, vm}", "void",
                             Input({{"vm", Str("vm-1")}, {"device", Str("eth0")}}), Nothing(),
                             [](auto& stub, const auto& result) {
                               stub.Remove("vm-1", "eth0", nullptr, result);
                             })}});
  }
  {
    const Texts errors = {"not_found", "not_allowed_in_current_state", "error"};
    services.push_back(
        {"com.korvan.tavo.vm.device.sata_controller",
         &BindRelay<Sata::AsyncServiceBinder, Sata::AsyncServiceStub>,
         {Operation<Sata::AsyncServiceStub, Sata::AddMethod>(
              "add", {"not_found", "not_allowed_in_current_state", "already_exists", "error"},
              kInput + "{controller_number, hba_type, vm}", "void",
              Input(
                  {{"vm", Str("vm-1")}, {"hba_type", Str("AHCI")}, {"controller_number", Int(0)}}),
              Nothing(),
              [](auto& stub, const auto& result) {
                stub.Add("vm-1", Sata::HbaType::AHCI, 0, nullptr, result);
              }),
          Operation<Sata::AsyncServiceStub, Sata::UpdateMethod>(
              "update", errors, kInput + "{controller_number, hba_type, vm}", "void",
              Input(
                  {{"vm", Str("vm-1")}, {"hba_type", Str("ahci")}, {"controller_number", Int(2)}}),
              Nothing(),
              [](auto& stub, const auto& result) {
                stub.Update("vm-1", Sata::HbaType::FromText("ahci"), 2, nullptr, result);
              }),
          Operation<Sata::AsyncServiceStub, Sata::DeleteMethod>(
              "delete", errors, kInput + "{controller_number, vm}", "void",
              Input({{"vm", Str("vm-1")}, {"controller_number", Int(3)}}), Nothing(),
              [](auto& stub, const auto& result) { stub.Delete("vm-1", 3, nullptr, result); }),
          Operation<Sata::AsyncServiceStub, Sata::ListMethod>(
              "list", errors, kInput + "{filter, vm}",
              "list<structure com.korvan.tavo.vm.device.sata_controller.summary{label}>",
              Input({{"vm", Str("vm-1")},
                     {"filter", Some(Struct("com.korvan.tavo.vm.device.sata_controller.filter_spec",
                                            {{"labels", Some(Set({}))}}))}}),
              List({}), [](auto& stub, const auto& result) {
                auto filter = Quil::MakeOptionalPtr<Sata::FilterSpec>();
                filter->labels.emplace();
                stub.List("vm-1", filter, nullptr, result);
              })}});
  }
  services.push_back(
      {"com.korvan.tavo.vm.device.scsi_controller",
       &BindRelay<Scsi::AsyncServiceBinder, Scsi::AsyncServiceStub>,
       {Operation<Scsi::AsyncServiceStub, Scsi::AddMethod>(
           "add", {"not_found", "not_allowed_in_current_state", "already_exists", "error"},
           kInput + "{controller_number, hba_type, vm_id}", "void",
           Input({{"vm_id", Str("vm-1")},
                  {"hba_type", Str("HXSCSI")},
                  {"controller_number", Int(1)}}),
           Nothing(), [](auto& stub, const auto& result) {
             stub.Add("vm-1", Scsi::HbaType::HXSCSI, 1, nullptr, result);
           })}});
  services.push_back(
      {"com.korvan.tavo.vm.dock",
       &BindRelay<Dock::AsyncServiceBinder, Dock::AsyncServiceStub>,
       {Operation<Dock::AsyncServiceStub, Dock::LoadMethod>(
           "load", {"error"}, kInput + "{vm_id}", "void", Input({{"vm_id", Str("vm-1")}}),
           Nothing(),
           [](auto& stub, const auto& result) { stub.Load("vm-1", nullptr, result); })}});
  {
    const Texts errors = {"not_found", "not_allowed_in_current_state", "error"};
    const DataValuePtr vmId = Input({{"vm_id", Str("vm-1")}});
    services.push_back(
        {"com.korvan.tavo.vm.power",
         &BindRelay<Power::AsyncServiceBinder, Power::AsyncServiceStub>,
         {Operation<Power::AsyncServiceStub, Power::GetMethod>(
              "get", {"not_found", "error"}, kInput + "{vm_id}", "string", vmId, Str("RUNNING"),
              [](auto& stub, const auto& result) { stub.Get("vm-1", nullptr, result); }),
          Operation<Power::AsyncServiceStub, Power::SwitchOnMethod>(
              "switch_on", errors, kInput + "{paused, soft, vm_id}", "void",
              Input({{"vm_id", Str("vm-1")},
                     {"paused", Some(Bool(true))},
                     {"soft", Some(Bool(false))}}),
              Nothing(),
              [](auto& stub, const auto& result) {
                stub.SwitchOn("vm-1", true, false, nullptr, result);
              }),
          Operation<Power::AsyncServiceStub, Power::SwitchOffMethod>(
              "switch_off", errors, kInput + "{vm_id}", "void", vmId, Nothing(),
              [](auto& stub, const auto& result) { stub.SwitchOff("vm-1", nullptr, result); }),
          Operation<Power::AsyncServiceStub, Power::ResetMethod>(
              "reset", errors, kInput + "{vm_id}", "void", vmId, Nothing(),
              [](auto& stub, const auto& result) { stub.Reset("vm-1", nullptr, result); }),
          Operation<Power::AsyncServiceStub, Power::SuspendMethod>(
              "suspend", errors, kInput + "{vm_id}", "void", vmId, Nothing(),
              [](auto& stub, const auto& result) { stub.Suspend("vm-1", nullptr, result); })}});
  }
  services.push_back(
      {"com.korvan.tavo.vm.nask",
       &BindRelay<Nask::AsyncServiceBinder, Nask::AsyncServiceStub>,
       {Operation<Nask::AsyncServiceStub, Nask::CreateMethod>(
            "create", {"error"}, kInput + "{spec}", "void",
            Input({{"spec",
                    Struct("com.korvan.tavo.vm.nask.create_spec", {{"vm", Str("vm-1")},
                                                                   {"guest_OS", Str("other-64")},
                                                                   {"hw_version", None()}})}}),
            Nothing(),
            [](auto& stub, const auto& result) {
              auto spec = std::make_shared<Nask::CreateSpec>();
              spec->vm = "vm-1";
              spec->guestOS = "other-64";
              stub.Create(spec, nullptr, result);
            }),
        Operation<Nask::AsyncServiceStub, Nask::DeleteMethod>(
            "delete", {"not_found", "not_allowed_in_current_state", "error"}, kInput + "{vm}",
            "void", Input({{"vm", Str("vm-1")}}), Nothing(),
            [](auto& stub, const auto& result) { stub.Delete("vm-1", nullptr, result); })}});
  return services;
}

TEST(CatalogueTest, EveryOperationIsDeclaredBoundAndCalledAsDescribed) {
  const std::vector<ServiceCase> services = Services();
  std::size_t operations = 0;
  for (const ServiceCase& service : services) operations += service.operations.size();
  ASSERT_EQ(services.size(), 10u);
  ASSERT_EQ(operations, 25u);

  for (const ServiceCase& service : services) {
    SCOPED_TRACE(service.wire);
    AnsweringProvider relay;
    AsyncActivation relayDefaults;
    const auto api = service.bindRelay(std::make_shared<AsyncApiStub>(relay, relayDefaults));
    ASSERT_NE(api, nullptr);
    ASSERT_NE(api->GetIdentifier(), nullptr);
    EXPECT_EQ(api->GetIdentifier()->GetName(), service.wire);

    // The binder lists the methods in the order of the interface.
    Texts bound, declared;
    for (const auto& method : api->GetMethods()) bound.push_back(method->methodName());
    for (const OperationCase& operation : service.operations) declared.push_back(operation.wire);
    EXPECT_EQ(bound, declared);

    Quil::Provider::LocalApiProvider local;
    ASSERT_TRUE(local.Register(api));
    RecordingProvider client(local);
    AsyncActivation clientDefaults;

    for (std::size_t i = 0; i < service.operations.size(); ++i) {
      const OperationCase& operation = service.operations[i];
      SCOPED_TRACE(operation.wire);
      EXPECT_EQ(operation.interfaceName(), service.wire);
      EXPECT_EQ(operation.methodName(), operation.wire);

      Texts errors;
      for (const std::string& error : operation.errors) {
        errors.push_back("com.korvan.quil.std.errors." + error);
      }
      const auto errorDefs = operation.errorDefs();
      EXPECT_EQ(ErrorNames(errorDefs), errors);
      const DataDefinitionPtr input = operation.inputDef();
      const DataDefinitionPtr output = operation.outputDef();
      EXPECT_EQ(Shape(input), operation.input);
      EXPECT_EQ(Shape(output), operation.output);
      // Built anew by every call, and what the binding holds.
      EXPECT_NE(operation.inputDef(), input);
      if (i < api->GetMethods().size()) {
        const auto& method = *api->GetMethods()[i];
        EXPECT_TRUE(Quil::Data::Equals(method.inputDefinition().get(), input.get()));
        EXPECT_TRUE(Quil::Data::Equals(method.outputDefinition().get(), output.get()));
        ASSERT_EQ(method.errorDefinitions().size(), errorDefs.size());
        for (std::size_t e = 0; e < errorDefs.size(); ++e) {
          EXPECT_TRUE(Quil::Data::Equals(method.errorDefinitions()[e].get(), errorDefs[e].get()));
        }
      }

      // Client stub -> provider -> binder -> implementation (a second stub) -> relay, and back.
      relay.answer = operation.answer;
      client.inputs.clear();
      relay.inputs.clear();
      relay.methods.clear();
      const Outcome outcome = operation.call(client, clientDefaults);
      ASSERT_EQ(client.inputs.size(), 1u);
      ASSERT_NE(client.inputs[0], nullptr);
      EXPECT_EQ(*client.inputs[0], *operation.sent) << Quil::Data::ToText(client.inputs[0].get());
      EXPECT_EQ(FieldNames(client.inputs[0]), FieldNames(operation.sent))
          << "the stub fills the input record in parameter order";
      EXPECT_EQ(relay.methods, Texts{service.wire + " " + operation.wire});
      ASSERT_EQ(relay.inputs.size(), 1u);
      ASSERT_NE(relay.inputs[0], nullptr);
      EXPECT_EQ(*relay.inputs[0], *operation.sent)
          << "the implementation received: " << Quil::Data::ToText(relay.inputs[0].get());
      EXPECT_EQ(outcome.error, "");
      ASSERT_NE(outcome.value, nullptr);
      EXPECT_EQ(*outcome.value, *operation.answer) << Quil::Data::ToText(outcome.value.get());
    }
  }
}

}  // namespace
}  // namespace Catalogue
