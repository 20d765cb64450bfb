// Every service from one table: wire name, binding order, declared errors, input and output
// definitions, and a call of each operation by a client stub through the in-process provider. The
// bound implementation is the service's own client stub over a recording provider, so an argument
// passed to the wrong parameter shows in what that second stub sends, and what the binder decodes
// wrongly (an enumeration text, an empty set) shows in what that stub encodes again; and the
// facts beside the definitions. Then the structure metadata.
#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/client/future_result.h>
#include <quil/metadata.h>
#include <quil/provider/service_facts.h>
#include <quil/stub/invoker.h>
#include <tavo/vm/catalogue.h>
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

#include "binding/test_support.h"

namespace Catalogue {
namespace {

using namespace ::Quil::Data::Testing;
using Quil::MessageList;
using Quil::Data::DataDefinitionPtr;

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
using Quil::Provider::AsyncApiMethod;
using Quil::Stub::AsyncApiStub;

// Answers every invocation with `answer` and keeps what it was invoked with.
class AnsweringProvider final : public ApiProvider {
 public:
  void Invoke(std::shared_ptr<const Quil::Core::MethodIdentifier> method, DataValuePtr input,
              std::shared_ptr<AsyncActivation> /*activation*/,
              const Quil::Core::AsyncApiResultCb& callback) override {
    methods.push_back(method->GetInterface()->GetName() + " " + method->GetName());
    inputs.push_back(std::move(input));
    callback(Quil::Core::MethodResult::Create(answer, nullptr), Quil::kFinalProgress, nullptr);
  }

  DataValuePtr answer;
  Texts methods;  // "<interface> <method>"
  std::vector<DataValuePtr> inputs;
};

// Error names, from words without their prefix or from definitions.
Texts Errors(const std::string& words) {
  Texts names;
  std::istringstream stream(words);
  for (std::string word; stream >> word;) names.push_back("com.korvan.quil.std.errors." + word);
  return names;
}
Texts Errors(const std::vector<DataDefinitionPtr>& definitions) {
  Texts names;
  for (const DataDefinitionPtr& definition : definitions) {
    const auto* structure = dynamic_cast<const Quil::Data::StructDefinition*>(definition.get());
    names.push_back(structure != nullptr ? structure->GetName() : "?");
  }
  return names;
}

// Whether `definition` is a string, perhaps under optional, list and set wrappers.
bool HoldsString(DataDefinitionPtr definition) {
  for (;;) {
    if (const auto* optional =
            dynamic_cast<const Quil::Data::OptionalDefinition*>(definition.get())) {
      definition = optional->GetElementType();
    } else if (const auto* list =
                   dynamic_cast<const Quil::Data::ListDefinition*>(definition.get())) {
      definition = list->GetElementType();
    } else {
      return definition != nullptr && definition->GetType() == Quil::Data::DataType::STRING;
    }
  }
}

struct OperationCase {
  std::string wire, errors;  // errors: declared, in order
  std::string sent;          // the fields of the input the call sends, as text, in order
  std::string output;        // the output definition as text
  DataValuePtr answer;
  // Checks the method class against the row, the method as bound and the input it received.
  std::function<void(const OperationCase&, const std::string& service, const AsyncApiMethod&,
                     const DataValuePtr& received)>
      checkDefinitions;
  // Calls through a client stub; the answer converted back to a value.
  std::function<DataValuePtr(ApiProvider&, AsyncActivation&)> call;
};

template <typename M>
void CheckDefinitions(const OperationCase& row, const std::string& service,
                      const AsyncApiMethod& bound, const DataValuePtr& received) {
  EXPECT_EQ(Quil::TypeInfo<typename M::Interface>::name(), service);
  EXPECT_EQ(M::methodName(), row.wire);
  EXPECT_EQ(Errors(M::errorDefs()), Errors(row.errors));
  EXPECT_EQ(Errors(bound.errorDefinitions()), Errors(row.errors));
  const DataDefinitionPtr input = M::inputDef();
  const auto* structure = dynamic_cast<const Quil::Data::StructDefinition*>(input.get());
  ASSERT_NE(structure, nullptr);
  Texts declared, sent;  // by name
  for (const auto& field : structure->GetFields()) declared.push_back(field.first);
  dynamic_cast<const Quil::Data::CompoundValue&>(*received).ForEachField(
      [&sent](const auto& field) { sent.emplace_back(field.name); });
  std::sort(sent.begin(), sent.end());
  EXPECT_EQ(declared, sent);
  EXPECT_EQ(Quil::Data::ToText(M::outputDef().get()), row.output);
  EXPECT_NE(M::inputDef(), input) << "built anew by every call";
  EXPECT_TRUE(Quil::Data::Equals(bound.inputDefinition().get(), input.get()));
  EXPECT_TRUE(Quil::Data::Equals(bound.outputDefinition().get(), M::outputDef().get()));
}

// One row: `invoke` calls the operation with the arguments of `sent`. No `answer`: void.
template <typename Stub, typename M>
OperationCase Op(std::string wire, std::string errors, std::string sent,
                 std::function<void(Stub&, const typename M::ResultCbType&)> invoke,
                 std::string output = "void", DataValuePtr answer = nullptr) {
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
  if (answer == nullptr) answer = Quil::Data::VoidValue::GetInstance();
  return {wire, errors, sent, output, answer, &CheckDefinitions<M>, call};
}

struct ServiceCase {
  std::string wire;
  // Binds the service's client stub over `relay` as the implementation.
  std::shared_ptr<const AsyncApiInterface> (*bindRelay)(std::shared_ptr<AsyncApiStub> relay);
  std::vector<OperationCase> operations;
};

template <typename Binder, typename Stub>
std::shared_ptr<const AsyncApiInterface> BindRelay(std::shared_ptr<AsyncApiStub> relay) {
  return Binder::BindImplementation(std::make_shared<Stub>(std::move(relay)));
}

const std::string kState = "not_found not_allowed_in_current_state error";
const std::string kControllerAdd = "not_found not_allowed_in_current_state already_exists error";
const std::string kRead =
    "error not_found resource_inaccessible service_unavailable unauthenticated unauthorized";
const std::string kUpdate =
    "error not_found invalid_argument not_allowed_in_current_state resource_busy "
    "resource_inaccessible service_unavailable unauthenticated unauthorized";
const std::string kVm = "com.korvan.tavo.vm.";

std::vector<ServiceCase> Services() {
  const std::string vm = R"(vm: "vm-1")", vmId = R"(vm_id: "vm-1")";
  const std::string cpuInfo = kVm + "compute.cpus.info", memory = kVm + "compute.memory.properties";
  const std::string cdrom = kVm + "device.cdrom.", disk = kVm + "device.disk.";
  using CpusStub = Cpus::AsyncServiceStub;
  using MemoryStub = Memory::AsyncServiceStub;
  using CdromStub = Cdrom::AsyncServiceStub;
  using DiskStub = Disk::AsyncServiceStub;
  using NetworkStub = Network::AsyncServiceStub;
  using SataStub = Sata::AsyncServiceStub;
  using ScsiStub = Scsi::AsyncServiceStub;
  using PowerStub = Power::AsyncServiceStub;
  using NaskStub = Nask::AsyncServiceStub;
  return {
      {kVm + "compute.cpus",
       &BindRelay<Cpus::AsyncServiceBinder, CpusStub>,
       {Op<CpusStub, Cpus::GetMethod>(
            "get", kRead, vm, [](auto& s, const auto& r) { s.Get("vm-1", nullptr, r); },
            "structure " + cpuInfo +
                "{cores_per_socket: integer, count: integer, "
                "hot_add_enabled: boolean, hot_remove_enabled: boolean}",
            Struct(cpuInfo, {{"count", Int(4)},
                             {"cores_per_socket", Int(2)},
                             {"hot_add_enabled", Bool(true)},
                             {"hot_remove_enabled", Bool(false)}})),
        Op<CpusStub, Cpus::UpdateMethod>(
            "update", kUpdate,
            R"(vm: "vm-1", update_spec: com.korvan.tavo.vm.compute.cpus.update_spec{count: none, )"
            R"(cores_per_socket: none, hot_add_enabled: none, hot_remove_enabled: none})",
            [](auto& s, const auto& r) {
              s.Update("vm-1", std::make_shared<Cpus::UpdateSpec>(), nullptr, r);
            })}},
      {kVm + "compute.memory",
       &BindRelay<Memory::AsyncServiceBinder, MemoryStub>,
       {Op<MemoryStub, Memory::GetMethod>(
            "get", kRead, vm, [](auto& s, const auto& r) { s.Get("vm-1", nullptr, r); },
            "structure " + memory + "{hot_add_enabled: boolean, size: integer}",
            Struct(memory, {{"size", Int(4096)}, {"hot_add_enabled", Bool(true)}})),
        Op<MemoryStub, Memory::UpdateMethod>(
            "update", kUpdate,
            R"(vm: "vm-2", update_spec: com.korvan.tavo.vm.compute.memory.update_spec{)"
            R"(size: none, hot_add_enabled: none})",
            [](auto& s, const auto& r) {
              s.Update("vm-2", std::make_shared<Memory::UpdateSpec>(), nullptr, r);
            })}},
      {kVm + "device.cdrom",
       &BindRelay<Cdrom::AsyncServiceBinder, CdromStub>,
       {Op<CdromStub, Cdrom::AddMethod>(
            "add",
            "not_found not_allowed_in_current_state invalid_argument already_exists "
            "unable_to_allocate_resource error",
            R"(vm: "vm-1", backing: com.korvan.tavo.vm.device.cdrom.backing_info{type: "ATAPI", )"
            R"(device_name: some("/dev/cdrom"), iso_file: none}, device: "ide0:1")",
            [](auto& s, const auto& r) {
              auto backing = std::make_shared<Cdrom::BackingInfo>();
              backing->type = Cdrom::BackingType::ATAPI;
              backing->deviceName = "/dev/cdrom";
              s.Add("vm-1", backing, "ide0:1", nullptr, r);
            },
            "string", Str("cdrom-7")),
        Op<CdromStub, Cdrom::ListMethod>(
            "list", kState,
            R"(vm: "vm-1", filter: some(com.korvan.tavo.vm.device.cdrom.filter_spec{cdroms: none, )"
            R"(backing_types: none, devices: none}))",
            [](auto& s, const auto& r) {
              s.List("vm-1", Quil::MakeOptionalPtr<Cdrom::FilterSpec>(), nullptr, r);
            },
            "list<structure " + cdrom +
                "summary{backing_type: string, cdrom: string, device: string}>",
            List({Struct(cdrom + "summary", {{"cdrom", Str("cdrom-1")},
                                             {"backing_type", Str("RAW")},
                                             {"device", Str("ide0:0")}})})),
        Op<CdromStub, Cdrom::DeleteMethod>(
            "delete", "not_found not_allowed_in_current_state invalid_argument error",
            R"(vm: "vm-1", device: "ide0:1")",
            [](auto& s, const auto& r) { s.Delete("vm-1", "ide0:1", nullptr, r); })}},
      {kVm + "device.disk",
       &BindRelay<Disk::AsyncServiceBinder, DiskStub>,
       {Op<DiskStub, Disk::AddMethod>(
            "add",
            "already_exists error invalid_argument not_allowed_in_current_state not_found "
            "unable_to_allocate_resource",
            R"(spec: com.korvan.tavo.vm.device.disk.add_spec{vm: "", disk: "", device: ""})",
            [](auto& s, const auto& r) { s.Add(std::make_shared<Disk::AddSpec>(), nullptr, r); },
            "string", Str("scsi0:3")),
        Op<DiskStub, Disk::ListMethod>(
            "list", kState, R"(vm: "vm-1", filter: none)",
            [](auto& s, const auto& r) { s.List("vm-1", nullptr, nullptr, r); },
            "structure " + disk + "list_result{list: list<structure " + disk +
                "summary{device: string, disk: string}>}",
            Struct(disk + "list_result", {{"list", List({})}}))}},
      {kVm + "device.network",
       &BindRelay<Network::AsyncServiceBinder, NetworkStub>,
       {Op<NetworkStub, Network::AddMethod>(
            "add", "already_exists not_found error",
            R"(spec: com.korvan.tavo.vm.device.network.add_spec{vm: "vm-1", network: "net-1", )"
            R"(adapter: "FLINDR3", device: "eth0"})",
            [](auto& s, const auto& r) {
              auto spec = std::make_shared<Network::AddSpec>();
              spec->vm = "vm-1";
              spec->network = "net-1";
              spec->adapter = Network::VirtualDev::FLINDR3;
              spec->device = "eth0";
              s.Add(spec, nullptr, r);
            }),
        Op<NetworkStub, Network::ListMethod>(
            "list", kState,
            // An empty set stays apart from an unset one both ways.
            R"(vm: "vm-1", filter: some(com.korvan.tavo.vm.device.network.filter_spec{)"
            R"(networks: some(set[]), devices: none, adapters: none}))",
            [](auto& s, const auto& r) {
              auto filter = std::make_shared<Network::FilterSpec>();
              filter->networks.emplace();
              s.List("vm-1", Quil::OptionalPtr<const Network::FilterSpec>(filter), nullptr, r);
            },
            "structure " + kVm + "device.network.list_result{list: list<structure " + kVm +
                "device.network.summary{adapter: string, device: string, id: string}>}",
            Struct(kVm + "device.network.list_result", {{"list", List({})}})),
        Op<NetworkStub, Network::RemoveMethod>(
            "remove", kState, R"(vm: "vm-1", device: "eth0")",
            [](auto& s, const auto& r) { s.Remove("vm-1", "eth0", nullptr, r); })}},
      {kVm + "device.sata_controller",
       &BindRelay<Sata::AsyncServiceBinder, SataStub>,
       {Op<SataStub, Sata::AddMethod>(
            "add", kControllerAdd, R"(vm: "vm-1", hba_type: "AHCI", controller_number: 0)",
            [](auto& s, const auto& r) { s.Add("vm-1", Sata::HbaType::AHCI, 0, nullptr, r); }),
        Op<SataStub, Sata::UpdateMethod>(
            "update", kState, R"(vm: "vm-1", hba_type: "ahci", controller_number: 2)",
            [](auto& s, const auto& r) {
              s.Update("vm-1", Sata::HbaType::FromText("ahci"), 2, nullptr, r);
            }),
        Op<SataStub, Sata::DeleteMethod>(
            "delete", kState, R"(vm: "vm-1", controller_number: 3)",
            [](auto& s, const auto& r) { s.Delete("vm-1", 3, nullptr, r); }),
        Op<SataStub, Sata::ListMethod>(
            "list", kState, R"(vm: "vm-1", filter: none)",
            [](auto& s, const auto& r) { s.List("vm-1", nullptr, nullptr, r); },
            "list<structure " + kVm + "device.sata_controller.summary{label: string}>", List({}))}},
      {kVm + "device.scsi_controller",
       &BindRelay<Scsi::AsyncServiceBinder, ScsiStub>,
       // Adapter types the service does not know pass unvalidated, as "ahci" does for SATA.
       {Op<ScsiStub, Scsi::AddMethod>(
           "add", kControllerAdd, R"(vm_id: "vm-1", hba_type: "BUSLOGIC", controller_number: 1)",
           [](auto& s, const auto& r) {
             s.Add("vm-1", Scsi::HbaType::FromText("BUSLOGIC"), 1, nullptr, r);
           })}},
      {kVm + "dock",
       &BindRelay<Dock::AsyncServiceBinder, Dock::AsyncServiceStub>,
       {Op<Dock::AsyncServiceStub, Dock::LoadMethod>(
           "load", "error", vmId, [](auto& s, const auto& r) { s.Load("vm-1", nullptr, r); })}},
      {kVm + "power",
       &BindRelay<Power::AsyncServiceBinder, PowerStub>,
       {Op<PowerStub, Power::GetMethod>(
            "get", "not_found error", vmId,
            [](auto& s, const auto& r) { s.Get("vm-1", nullptr, r); }, "string", Str("RUNNING")),
        Op<PowerStub, Power::SwitchOnMethod>(
            "switch_on", kState, R"(vm_id: "vm-1", paused: some(true), soft: some(false))",
            [](auto& s, const auto& r) { s.SwitchOn("vm-1", true, false, nullptr, r); }),
        Op<PowerStub, Power::SwitchOffMethod>(
            "switch_off", kState, vmId,
            [](auto& s, const auto& r) { s.SwitchOff("vm-1", nullptr, r); }),
        Op<PowerStub, Power::ResetMethod>(
            "reset", kState, vmId, [](auto& s, const auto& r) { s.Reset("vm-1", nullptr, r); }),
        Op<PowerStub, Power::SuspendMethod>(
            "suspend", kState, vmId,
            [](auto& s, const auto& r) { s.Suspend("vm-1", nullptr, r); })}},
      {kVm + "nask",
       &BindRelay<Nask::AsyncServiceBinder, NaskStub>,
       {Op<NaskStub, Nask::CreateMethod>(
            "create", "error",
            R"(spec: com.korvan.tavo.vm.nask.create_spec{vm: "", guest_OS: "", hw_version: none})",
            [](auto& s, const auto& r) {
              s.Create(std::make_shared<Nask::CreateSpec>(), nullptr, r);
            }),
        Op<NaskStub, Nask::DeleteMethod>(
            "delete", kState, vm, [](auto& s, const auto& r) { s.Delete("vm-1", nullptr, r); })}},
  };
}

TEST(CatalogueTest, EveryOperationIsDeclaredBoundAndCalledAsDescribed) {
  const std::vector<ServiceCase> services = Services();
  std::size_t operations = 0;
  for (const ServiceCase& service : services) operations += service.operations.size();
  ASSERT_EQ(services.size(), 10u);
  ASSERT_EQ(operations, 25u);
  const std::vector<Quil::Provider::ServiceFacts> allFacts =
      Com::Korvan::Tavo::Vm::DescribeServiceFacts();
  std::size_t enumeratedMembers = 0;

  for (const ServiceCase& service : services) {
    SCOPED_TRACE(service.wire);
    AnsweringProvider relay;
    AsyncActivation relayDefaults, clientDefaults;
    const auto api = service.bindRelay(std::make_shared<AsyncApiStub>(relay, relayDefaults));
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(api->GetIdentifier()->GetName(), service.wire);
    Texts bound, declared;  // the binder lists the methods in the order of the interface
    for (const auto& method : api->GetMethods()) bound.push_back(method->methodName());
    for (const OperationCase& operation : service.operations) declared.push_back(operation.wire);
    ASSERT_EQ(bound, declared);
    Quil::Provider::LocalApiProvider local;
    ASSERT_TRUE(local.Register(api));

    for (std::size_t i = 0; i < service.operations.size(); ++i) {
      const OperationCase& operation = service.operations[i];
      SCOPED_TRACE(operation.wire);
      // Client stub -> provider -> binder -> implementation (a second stub) -> relay, and back.
      relay.answer = operation.answer;
      relay.inputs.clear();
      relay.methods.clear();
      const DataValuePtr value = operation.call(local, clientDefaults);
      EXPECT_EQ(relay.methods, Texts{service.wire + " " + operation.wire});
      ASSERT_EQ(relay.inputs.size(), 1u);
      // The text keeps the field order: the stub fills the input record in parameter order.
      EXPECT_EQ(Quil::Data::ToText(relay.inputs[0].get()),
                "com.korvan.quil.operation_input{" + operation.sent + "}");
      operation.checkDefinitions(operation, service.wire, *api->GetMethods()[i], relay.inputs[0]);
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(*value, *operation.answer) << Quil::Data::ToText(value.get());
    }

    // The parameters and results the facts give an enumeration are strings of the checked
    // definitions (the tool's tests read the facts of structure fields).
    const auto facts = std::find_if(allFacts.begin(), allFacts.end(), [&service](const auto& f) {
      return f.interfaceName == service.wire;
    });
    ASSERT_NE(facts, allFacts.end());
    for (const Quil::Provider::EnumeratedMember& member : facts->operationMembers) {
      SCOPED_TRACE(member.owner + " " + member.member);
      const auto method = api->FindMethod(member.owner);
      ASSERT_NE(method, nullptr);
      const auto& input =
          dynamic_cast<const Quil::Data::StructDefinition&>(*method->inputDefinition());
      EXPECT_TRUE(HoldsString(member.member.empty() ? method->outputDefinition()
                                                    : input.GetField(member.member)));
      EXPECT_NE(facts->FindEnumeration(member.enumeration), nullptr);
      ++enumeratedMembers;
    }
  }
  EXPECT_EQ(enumeratedMembers, 4u);  // SATA "add" and "update", SCSI "add", power "get"
}

TEST(MetadataTest, NineFactoriesDescribeTheIdentifierFields) {
  using Quil::Metadata::StructInfo;
  using Entries = std::vector<std::pair<std::string, std::string>>;  // key, resource type
  const std::string vm = "com.korvan.tavo.resources.VirtualMachine";
  const std::string disk = "com.korvan.tavo.resources.VirtualDisk";
  const std::string network = "com.korvan.tavo.resources.NetworkId";
  const std::string cdrom = "Resources.VIRTUAL_CDROM";
  const std::vector<std::tuple<std::shared_ptr<StructInfo> (*)(), std::string, Entries>> factories =
      {
          {&StructInfo::Create<Cdrom::FilterSpec>, "device.Cdrom.FilterSpec", {{"cdroms", cdrom}}},
          {&StructInfo::Create<Cdrom::Summary>, "device.Cdrom.Summary", {{"cdrom", cdrom}}},
          {&StructInfo::Create<Disk::Summary>, "device.Disk.Summary", {{"disk", disk}}},
          {&StructInfo::Create<Disk::FilterSpec>, "device.Disk.FilterSpec", {{"disks", disk}}},
          {&StructInfo::Create<Disk::AddSpec>, "device.Disk.AddSpec", {{"disk", disk}, {"vm", vm}}},
          {&StructInfo::Create<Network::Summary>, "device.Network.Summary", {{"id", network}}},
          {&StructInfo::Create<Network::FilterSpec>,
           "device.Network.FilterSpec",
           {{"networks", network}}},
          {&StructInfo::Create<Network::AddSpec>,
           "device.Network.AddSpec",
           {{"network", network}, {"vm", vm}}},
          {&StructInfo::Create<Nask::CreateSpec>, "Nask.CreateSpec", {{"vm", vm}}},
      };
  for (const auto& [create, name, expected] : factories) {
    SCOPED_TRACE(name);
    const std::shared_ptr<StructInfo> info = create();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->name == "com.korvan.tavo.vm." + name && info->number == 0 && !info->extra);
    Entries entries;  // in key order, as the map holds them
    for (const auto& [key, field] : info->fields) {
      entries.emplace_back(key, field->resourceType);
      EXPECT_TRUE(field->number == 0 && !field->flag && field->fields.empty() && !field->extra);
    }
    EXPECT_EQ(entries, expected);
    // Built anew by every call: distinct objects, equal contents.
    const std::shared_ptr<StructInfo> again = create();
    EXPECT_NE(again, info);
    EXPECT_EQ(*again, *info);
    EXPECT_NE(again->fields.begin()->second, info->fields.begin()->second);
  }
}

}  // namespace
}  // namespace Catalogue
