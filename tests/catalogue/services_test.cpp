// Every service of the catalogue from one table: wire name, binding order, declared errors, input
// and output definitions, and a call of each operation by a client stub through the in-process
// provider. The bound implementation is the service's own client stub over a provider that records
// what it receives: an argument passed to the wrong parameter shows in what that second stub sends.
#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <sstream>
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
using Quil::Provider::ApiProvider;
using Quil::Provider::AsyncApiInterface;
using Quil::Stub::AsyncApiStub;

// Error names separated by spaces.
Texts Words(const std::string& text) {
  Texts words;
  std::istringstream stream(text);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

// "structure com.korvan.quil.operation_input{...}" with the fields of `sent` by name.
std::string InputShape(const DataValuePtr& sent) {
  Texts fields = FieldNames(sent);
  std::sort(fields.begin(), fields.end());
  std::string shape = "structure com.korvan.quil.operation_input{";
  for (std::size_t i = 0; i < fields.size(); ++i) shape += (i ? ", " : "") + fields[i];
  return shape + "}";
}

struct OperationCase {
  std::string wire;
  std::string errors;  // declared, in order, without "com.korvan.quil.std.errors."
  std::string output;  // Shape of the output definition
  DataValuePtr sent;   // the input the call sends; its fields are the input definition's
  DataValuePtr answer;
  // Checks the method class against the row and the method as bound.
  std::function<void(const OperationCase& row, const std::string& service,
                     const Quil::Provider::AsyncApiMethod& bound)>
      checkDefinitions;
  // Calls through a client stub; the answer converted to a value.
  std::function<DataValuePtr(ApiProvider& provider, AsyncActivation& defaults)> call;
};

template <typename M>
void CheckDefinitions(const OperationCase& row, const std::string& service,
                      const Quil::Provider::AsyncApiMethod& bound) {
  EXPECT_EQ(Quil::TypeInfo<typename M::Interface>::name(), service);
  EXPECT_EQ(M::methodName(), row.wire);
  Texts errors;
  for (const std::string& error : Words(row.errors)) {
    errors.push_back("com.korvan.quil.std.errors." + error);
  }
  const auto errorDefs = M::errorDefs();
  EXPECT_EQ(ErrorNames(errorDefs), errors);
  const DataDefinitionPtr input = M::inputDef();
  EXPECT_EQ(Shape(input), InputShape(row.sent));
  EXPECT_EQ(Shape(M::outputDef()), row.output);
  EXPECT_NE(M::inputDef(), input) << "built anew by every call";
  EXPECT_TRUE(Quil::Data::Equals(bound.inputDefinition().get(), input.get()));
  EXPECT_TRUE(Quil::Data::Equals(bound.outputDefinition().get(), M::outputDef().get()));
  ASSERT_EQ(bound.errorDefinitions().size(), errorDefs.size());
  for (std::size_t e = 0; e < errorDefs.size(); ++e) {
    EXPECT_TRUE(Quil::Data::Equals(bound.errorDefinitions()[e].get(), errorDefs[e].get()));
  }
}

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
OperationCase Operation(std::string wire, std::string errors, std::string output, DataValuePtr sent,
                        DataValuePtr answer,
                        std::function<void(Stub&, const typename M::ResultCbType&)> invoke) {
  auto call = [invoke](ApiProvider& provider, AsyncActivation& defaults) -> DataValuePtr {
    Stub stub(std::make_shared<AsyncApiStub>(provider, defaults));
    auto [result, reply] = Quil::Client::MakeFutureResult<typename M::ResultType>();
    invoke(stub, result);
    if (reply.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return nullptr;
    auto answer = reply.get();
    EXPECT_TRUE(answer.ok()) << (answer.error() ? answer.error()->GetName() : "");
    MessageList messages;
    return answer.ok() ? ToValue(answer.value(), messages) : nullptr;
  };
  return {std::move(wire),
          std::move(errors),
          std::move(output),
          std::move(sent),
          std::move(answer),
          &CheckDefinitions<M>,
          call};
}

// A row whose output is void.
template <typename Stub, typename M>
OperationCase Void(std::string wire, std::string errors, DataValuePtr sent,
                   std::function<void(Stub&, const typename M::ResultCbType&)> invoke) {
  return Operation<Stub, M>(std::move(wire), std::move(errors), "void", std::move(sent),
                            Quil::Data::VoidValue::GetInstance(), std::move(invoke));
}

const std::string kState = "not_found not_allowed_in_current_state error";
const std::string kControllerAdd = "not_found not_allowed_in_current_state already_exists error";
const std::string kRead =
    "error not_found resource_inaccessible service_unavailable unauthenticated unauthorized";
const std::string kUpdate =
    "error not_found invalid_argument not_allowed_in_current_state resource_busy "
    "resource_inaccessible service_unavailable unauthenticated unauthorized";
const std::string kPrefix = "com.korvan.tavo.vm.";

std::vector<ServiceCase> Services() {
  const DataValuePtr vm = Input({{"vm", Str("vm-1")}});
  const DataValuePtr vmId = Input({{"vm_id", Str("vm-1")}});
  const std::string cpuInfo = kPrefix + "compute.cpus.info";
  const std::string memory = kPrefix + "compute.memory.properties";
  const std::string cdrom = kPrefix + "device.cdrom.";
  const std::string disk = kPrefix + "device.disk.";
  const std::string network = kPrefix + "device.network.";
  const std::string sata = kPrefix + "device.sata_controller.";
  using CpusStub = Cpus::AsyncServiceStub;
  using MemoryStub = Memory::AsyncServiceStub;
  using CdromStub = Cdrom::AsyncServiceStub;
  using DiskStub = Disk::AsyncServiceStub;
  using NetworkStub = Network::AsyncServiceStub;
  using SataStub = Sata::AsyncServiceStub;
  using PowerStub = Power::AsyncServiceStub;
  using NaskStub = Nask::AsyncServiceStub;
  return {
      {kPrefix + "compute.cpus",
       &BindRelay<Cpus::AsyncServiceBinder, CpusStub>,
       {Operation<CpusStub, Cpus::GetMethod>(
            "get", kRead,
            "structure " + cpuInfo +
                "{cores_per_socket, count, hot_add_enabled, hot_remove_enabled}",
            vm,
            Struct(cpuInfo, {{"count", Int(4)},
                             {"cores_per_socket", Int(2)},
                             {"hot_add_enabled", Bool(true)},
                             {"hot_remove_enabled", Bool(false)}}),
            [](auto& stub, const auto& result) { stub.Get("vm-1", nullptr, result); }),
        Void<CpusStub, Cpus::UpdateMethod>(
            "update", kUpdate,
            Input({{"vm", Str("vm-1")},
                   {"update_spec", Struct(kPrefix + "compute.cpus.update_spec",
                                          {{"count", Some(Int(8))},
                                           {"cores_per_socket", None()},
                                           {"hot_add_enabled", None()},
                                           {"hot_remove_enabled", Some(Bool(true))}})}}),
            [](auto& stub, const auto& result) {
              auto spec = std::make_shared<Cpus::UpdateSpec>();
              spec->count = 8;
              spec->hotRemoveEnabled = true;
              stub.Update("vm-1", spec, nullptr, result);
            })}},
      {kPrefix + "compute.memory",
       &BindRelay<Memory::AsyncServiceBinder, MemoryStub>,
       {Operation<MemoryStub, Memory::GetMethod>(
            "get", kRead, "structure " + memory + "{hot_add_enabled, size}", vm,
            Struct(memory, {{"size", Int(4096)}, {"hot_add_enabled", Bool(true)}}),
            [](auto& stub, const auto& result) { stub.Get("vm-1", nullptr, result); }),
        Void<MemoryStub, Memory::UpdateMethod>(
            "update", kUpdate,
            Input({{"vm", Str("vm-2")},
                   {"update_spec", Struct(kPrefix + "compute.memory.update_spec",
                                          {{"size", Some(Int(2048))}, {"hot_add_enabled", None()}})}}),
            [](auto& stub, const auto& result) {
              auto spec = std::make_shared<Memory::UpdateSpec>();
              spec->size = 2048;
              stub.Update("vm-2", spec, nullptr, result);
            })}},
      {kPrefix + "device.cdrom",
       &BindRelay<Cdrom::AsyncServiceBinder, CdromStub>,
       {Operation<CdromStub, Cdrom::AddMethod>(
            "add",
            "not_found not_allowed_in_current_state invalid_argument already_exists "
            "unable_to_allocate_resource error",
            "string",
            Input({{"vm", Str("vm-1")},
                   {"backing", Struct(cdrom + "backing_info", {{"type", Str("ATAPI")},
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
        Operation<CdromStub, Cdrom::ListMethod>(
            "list", kState, "list<structure " + cdrom + "summary{backing_type, cdrom, device}>",
            Input({{"vm", Str("vm-1")},
                   {"filter", Some(Struct(cdrom + "filter_spec",
                                          {{"cdroms", None()},
                                           {"backing_types", Some(Set({Str("IMAGE"), Str("TAPE")}))},
                                           {"devices", None()}}))}}),
            List({Struct(cdrom + "summary", {{"cdrom", Str("cdrom-1")},
                                             {"backing_type", Str("RAW")},
                                             {"device", Str("ide0:0")}})}),
            [](auto& stub, const auto& result) {
              auto filter = Quil::MakeOptionalPtr<Cdrom::FilterSpec>();
              filter->backingTypes = std::set<Cdrom::BackingType>{
                  Cdrom::BackingType::FromText("TAPE"), Cdrom::BackingType::IMAGE};
              stub.List("vm-1", filter, nullptr, result);
            }),
        Void<CdromStub, Cdrom::DeleteMethod>(
            "delete", "not_found not_allowed_in_current_state invalid_argument error",
            Input({{"vm", Str("vm-1")}, {"device", Str("ide0:1")}}),
            [](auto& stub, const auto& result) { stub.Delete("vm-1", "ide0:1", nullptr, result); })}},
      {kPrefix + "device.disk",
       &BindRelay<Disk::AsyncServiceBinder, DiskStub>,
       {Operation<DiskStub, Disk::AddMethod>(
            "add",
            "already_exists error invalid_argument not_allowed_in_current_state not_found "
            "unable_to_allocate_resource",
            "string",
            Input({{"spec", Struct(disk + "add_spec", {{"vm", Str("vm-1")},
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
        Operation<DiskStub, Disk::ListMethod>(
            "list", kState, "structure " + disk + "list_result{list}",
            Input({{"vm", Str("vm-1")}, {"filter", None()}}),
            Struct(disk + "list_result",
                   {{"list", List({Struct(disk + "summary", {{"disk", Str("disk-3")},
                                                             {"device", Str("scsi0:3")}})})}}),
            [](auto& stub, const auto& result) { stub.List("vm-1", nullptr, nullptr, result); })}},
      {kPrefix + "device.network",
       &BindRelay<Network::AsyncServiceBinder, NetworkStub>,
       {Void<NetworkStub, Network::AddMethod>(
            "add", "already_exists not_found error",
            Input({{"spec", Struct(network + "add_spec", {{"vm", Str("vm-1")},
                                                          {"network", Str("net-1")},
                                                          {"adapter", Str("FLINDR3")},
                                                          {"device", Str("eth0")}})}}),
            [](auto& stub, const auto& result) {
              auto spec = std::make_shared<Network::AddSpec>();
              spec->vm = "vm-1";
              spec->network = "net-1";
              spec->adapter = Network::VirtualDev::FLINDR3;
              spec->device = "eth0";
              stub.Add(spec, nullptr, result);
            }),
        Operation<NetworkStub, Network::ListMethod>(
            "list", kState, "structure " + network + "list_result{list}",
            Input({{"vm", Str("vm-1")},
                   {"filter", Some(Struct(network + "filter_spec",
                                          {{"networks", None()},
                                           {"devices", None()},
                                           {"adapters", Some(Set({Str("TORVEN"), Str("E1000E")}))}}))}}),
            Struct(network + "list_result", {{"list", List({})}}),
            [](auto& stub, const auto& result) {
              auto filter = Quil::MakeOptionalPtr<Network::FilterSpec>();
              filter->adapters = std::set<Network::VirtualDev>{Network::VirtualDev::E1000E,
                                                               Network::VirtualDev::TORVEN};
              stub.List("vm-1", filter, nullptr, result);
            }),
        Void<NetworkStub, Network::RemoveMethod>(
            "remove", kState, Input({{"vm", Str("vm-1")}, {"device", Str("eth0")}}),
            [](auto& stub, const auto& result) { stub.Remove("vm-1", "eth0", nullptr, result); })}},
      {kPrefix + "device.sata_controller",
       &BindRelay<Sata::AsyncServiceBinder, SataStub>,
       {Void<SataStub, Sata::AddMethod>(
            "add", kControllerAdd,
            Input({{"vm", Str("vm-1")}, {"hba_type", Str("AHCI")}, {"controller_number", Int(0)}}),
            [](auto& stub, const auto& result) {
              stub.Add("vm-1", Sata::HbaType::AHCI, 0, nullptr, result);
            }),
        Void<SataStub, Sata::UpdateMethod>(
            "update", kState,
            Input({{"vm", Str("vm-1")}, {"hba_type", Str("ahci")}, {"controller_number", Int(2)}}),
            [](auto& stub, const auto& result) {
              stub.Update("vm-1", Sata::HbaType::FromText("ahci"), 2, nullptr, result);
            }),
        Void<SataStub, Sata::DeleteMethod>(
            "delete", kState, Input({{"vm", Str("vm-1")}, {"controller_number", Int(3)}}),
            [](auto& stub, const auto& result) { stub.Delete("vm-1", 3, nullptr, result); }),
        Operation<SataStub, Sata::ListMethod>(
            "list", kState, "list<structure " + sata + "summary{label}>",
            Input({{"vm", Str("vm-1")},
                   {"filter", Some(Struct(sata + "filter_spec", {{"labels", Some(Set({}))}}))}}),
            List({}),
            [](auto& stub, const auto& result) {
              auto filter = Quil::MakeOptionalPtr<Sata::FilterSpec>();
              filter->labels.emplace();
              stub.List("vm-1", filter, nullptr, result);
            })}},
      {kPrefix + "device.scsi_controller",
       &BindRelay<Scsi::AsyncServiceBinder, Scsi::AsyncServiceStub>,
       {Void<Scsi::AsyncServiceStub, Scsi::AddMethod>(
           "add", kControllerAdd,
           Input({{"vm_id", Str("vm-1")}, {"hba_type", Str("HXSCSI")}, {"controller_number", Int(1)}}),
           [](auto& stub, const auto& result) {
             stub.Add("vm-1", Scsi::HbaType::HXSCSI, 1, nullptr, result);
           })}},
      {kPrefix + "dock",
       &BindRelay<Dock::AsyncServiceBinder, Dock::AsyncServiceStub>,
       {Void<Dock::AsyncServiceStub, Dock::LoadMethod>(
           "load", "error", vmId,
           [](auto& stub, const auto& result) { stub.Load("vm-1", nullptr, result); })}},
      {kPrefix + "power",
       &BindRelay<Power::AsyncServiceBinder, PowerStub>,
       {Operation<PowerStub, Power::GetMethod>(
            "get", "not_found error", "string", vmId, Str("RUNNING"),
            [](auto& stub, const auto& result) { stub.Get("vm-1", nullptr, result); }),
        Void<PowerStub, Power::SwitchOnMethod>(
            "switch_on", kState,
            Input({{"vm_id", Str("vm-1")}, {"paused", Some(Bool(true))}, {"soft", Some(Bool(false))}}),
            [](auto& stub, const auto& result) {
              stub.SwitchOn("vm-1", true, false, nullptr, result);
            }),
        Void<PowerStub, Power::SwitchOffMethod>(
            "switch_off", kState, vmId,
            [](auto& stub, const auto& result) { stub.SwitchOff("vm-1", nullptr, result); }),
        Void<PowerStub, Power::ResetMethod>(
            "reset", kState, vmId,
            [](auto& stub, const auto& result) { stub.Reset("vm-1", nullptr, result); }),
        Void<PowerStub, Power::SuspendMethod>(
            "suspend", kState, vmId,
            [](auto& stub, const auto& result) { stub.Suspend("vm-1", nullptr, result); })}},
      {kPrefix + "nask",
       &BindRelay<Nask::AsyncServiceBinder, NaskStub>,
       {Void<NaskStub, Nask::CreateMethod>(
            "create", "error",
            Input({{"spec", Struct(kPrefix + "nask.create_spec", {{"vm", Str("vm-1")},
                                                                  {"guest_OS", Str("other-64")},
                                                                  {"hw_version", None()}})}}),
            [](auto& stub, const auto& result) {
              auto spec = std::make_shared<Nask::CreateSpec>();
              spec->vm = "vm-1";
              spec->guestOS = "other-64";
              stub.Create(spec, nullptr, result);
            }),
        Void<NaskStub, Nask::DeleteMethod>(
            "delete", kState, vm,
            [](auto& stub, const auto& result) { stub.Delete("vm-1", nullptr, result); })}},
  };
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
    AsyncActivation relayDefaults, clientDefaults;
    const auto api = service.bindRelay(std::make_shared<AsyncApiStub>(relay, relayDefaults));
    ASSERT_NE(api, nullptr);
    ASSERT_NE(api->GetIdentifier(), nullptr);
    EXPECT_EQ(api->GetIdentifier()->GetName(), service.wire);
    // The binder lists the methods in the order of the interface.
    Texts bound, declared;
    for (const auto& method : api->GetMethods()) bound.push_back(method->methodName());
    for (const OperationCase& operation : service.operations) declared.push_back(operation.wire);
    ASSERT_EQ(bound, declared);
    Quil::Provider::LocalApiProvider local;
    ASSERT_TRUE(local.Register(api));

    for (std::size_t i = 0; i < service.operations.size(); ++i) {
      const OperationCase& operation = service.operations[i];
      SCOPED_TRACE(operation.wire);
      operation.checkDefinitions(operation, service.wire, *api->GetMethods()[i]);

      // Client stub -> provider -> binder -> implementation (a second stub) -> relay, and back.
      relay.answer = operation.answer;
      relay.inputs.clear();
      relay.methods.clear();
      const DataValuePtr value = operation.call(local, clientDefaults);
      EXPECT_EQ(relay.methods, Texts{service.wire + " " + operation.wire});
      ASSERT_EQ(relay.inputs.size(), 1u);
      ASSERT_NE(relay.inputs[0], nullptr);
      EXPECT_EQ(*relay.inputs[0], *operation.sent) << Quil::Data::ToText(relay.inputs[0].get());
      EXPECT_EQ(FieldNames(relay.inputs[0]), FieldNames(operation.sent))
          << "the stub fills the input record in parameter order";
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(*value, *operation.answer) << Quil::Data::ToText(value.get());
    }
  }
}

}  // namespace
}  // namespace Catalogue
