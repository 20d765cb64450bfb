#include "device_services.h"

#include <algorithm>
#include <set>
#include <utility>

#include "slots.h"

namespace Tavo::SimHost {
namespace {

// An unset filter field admits everything, a set one only its members (none when empty).
template <typename T>
bool Admits(const boost::optional<std::set<T>>& allowed, const T& value) {
  return !allowed || allowed->count(value) != 0;
}

// The backing of a new CD-ROM as the host keeps it, or why it cannot be kept.
Verdict CheckBacking(const CdromSvc::BackingInfo& backing) {
  switch (backing.type.value()) {
    case CdromSvc::BackingType::ATAPI:
    case CdromSvc::BackingType::RAW:
      if (backing.deviceName.value_or("").empty()) {
        return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.cdrom.device.name.empty",
                      "A CD-ROM backed by {1} needs the name of a host device.",
                      backing.type.ToText());
      }
      return boost::none;
    case CdromSvc::BackingType::IMAGE:
      if (backing.isoFile && backing.isoFile->empty()) {
        return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.cdrom.iso.file.empty",
                      "A CD-ROM backed by IMAGE names an ISO file or none (an empty drive); an "
                      "empty file name is neither.");
      }
      return boost::none;
    case CdromSvc::BackingType::_UNKNOWN:
      break;
  }
  return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.cdrom.backing.unknown",
                "The CD-ROM backing type {1} is unknown; it is ATAPI, IMAGE or RAW.",
                backing.type.ToText());
}

template <typename Record>
Record* FindController(std::vector<Record>& controllers, std::int64_t number) {
  const auto found = std::find_if(controllers.begin(), controllers.end(),
                                  [number](const Record& each) { return each.number == number; });
  return found != controllers.end() ? &*found : nullptr;
}

Refusal ControllerNotFound(const MachineRecord& machine, Bus bus, std::int64_t number) {
  return Refuse(Refusal::Kind::kNotFound, "tavo.simhost.controller.not.found",
                "The virtual machine {1} has no {2}.", machine.vm, ControllerName(bus, number));
}

Refusal UnknownAdapterType(std::string_view bus, const std::string& text, std::string_view known) {
  return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.controller.type.unknown",
                "The {1} adapter type {2} is unknown; it is {3}.", std::string(bus), text,
                std::string(known));
}

// Why a controller numbered `number` cannot be added to `machine` on `bus`, or none.
template <typename Record>
Verdict CheckNewController(MachineRecord& machine, std::vector<Record>& controllers, Bus bus,
                           std::int64_t number, std::string_view action) {
  if (number < 0 || number >= kControllersPerBus) {
    return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.controller.number.range",
                  "The controller number {1} is outside 0 to {2}.", std::to_string(number),
                  std::to_string(kControllersPerBus - 1));
  }
  if (Verdict refused = RequirePower(machine, {Runtime::STOPPED}, action)) return refused;
  if (FindController(controllers, number) != nullptr) {
    return Refuse(Refusal::Kind::kAlreadyExists, "tavo.simhost.controller.already.exists",
                  "The virtual machine {1} has a {2} already.", machine.vm,
                  ControllerName(bus, number));
  }
  return boost::none;
}

// Inserts `controller` keeping `controllers` ordered by number.
template <typename Record>
void InsertController(std::vector<Record>& controllers, Record controller) {
  const auto before = std::find_if(controllers.begin(), controllers.end(), [&](const Record& each) {
    return each.number > controller.number;
  });
  controllers.insert(before, std::move(controller));
}

std::string Label(std::string_view prefix, std::int64_t number) {
  return std::string(prefix) + std::to_string(number);
}

}  // namespace

CdromService::CdromService(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

void CdromService::Add(const std::string& vm, std::shared_ptr<const CdromSvc::BackingInfo> backing,
                       const std::string& device,
                       std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                       const CdromSvc::AddMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused<std::string>(addErrors_, MachineNotFound(vm));
    if (Verdict refused = CheckBacking(*backing)) return Refused<std::string>(addErrors_, *refused);
    if (Verdict refused =
            RequirePower(*machine, {Runtime::STOPPED, Runtime::RUNNING}, "adding a CD-ROM")) {
      return Refused<std::string>(addErrors_, *refused);
    }
    CdromRecord cdrom;
    if (Verdict refused =
            PlaceDevice(*machine, device, {Bus::kIde, Bus::kSata}, "CD-ROM", cdrom.device)) {
      return Refused<std::string>(addErrors_, *refused);
    }
    cdrom.cdrom = "cdrom-" + std::to_string(state.nextCdrom++);
    cdrom.backingType = backing->type;
    cdrom.deviceName = backing->deviceName;
    cdrom.isoFile = backing->isoFile;
    std::string identifier = cdrom.cdrom;
    machine->cdroms.push_back(std::move(cdrom));
    ConfigurationChanged(*machine);
    return Answer<std::string>::Value(std::move(identifier));
  });
  core_->delivery.Send(result, std::move(answer));
}

void CdromService::List(const std::string& vm,
                        const Quil::OptionalPtr<const CdromSvc::FilterSpec>& filter,
                        std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                        const CdromSvc::ListMethod::ResultCbType& result) {
  using Summaries = CdromSvc::ListMethod::ResultType;
  auto answer = core_->inventory.Read([&](const InventoryState& state) {
    const MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused<Summaries>(listErrors_, MachineNotFound(vm));
    Summaries summaries;
    for (const CdromRecord& cdrom : machine->cdroms) {
      if (filter != nullptr && !(Admits(filter->cdroms, cdrom.cdrom) &&
                                 Admits(filter->backingTypes, cdrom.backingType) &&
                                 Admits(filter->devices, cdrom.device))) {
        continue;
      }
      auto summary = std::make_shared<CdromSvc::Summary>();
      summary->cdrom = cdrom.cdrom;
      summary->backingType = cdrom.backingType;
      summary->device = cdrom.device;
      summaries.push_back(std::move(summary));
    }
    return Answer<Summaries>::Value(std::move(summaries));
  });
  core_->delivery.Send(result, std::move(answer));
}

void CdromService::Delete(const std::string& vm, const std::string& device,
                          std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                          const CdromSvc::DeleteMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused(deleteErrors_, MachineNotFound(vm));
    if (!ParseSlot(device)) {
      return Refused(deleteErrors_, MalformedDevice(device));
    }
    if (Verdict refused =
            RequirePower(*machine, {Runtime::STOPPED, Runtime::RUNNING}, "removing a CD-ROM")) {
      return Refused(deleteErrors_, *refused);
    }
    auto& cdroms = machine->cdroms;
    const auto found = std::find_if(cdroms.begin(), cdroms.end(),
                                    [&](const CdromRecord& each) { return each.device == device; });
    if (found == cdroms.end()) {
      return Refused(deleteErrors_,
                     Refuse(Refusal::Kind::kNotFound, "tavo.simhost.cdrom.not.found",
                            "The virtual machine {1} has no CD-ROM in {2}.", vm, device));
    }
    cdroms.erase(found);
    ConfigurationChanged(*machine);
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

DiskService::DiskService(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

void DiskService::Add(std::shared_ptr<const DiskSvc::AddSpec> spec,
                      std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                      const DiskSvc::AddMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(spec->vm);
    if (machine == nullptr) return Refused<std::string>(addErrors_, MachineNotFound(spec->vm));
    if (Verdict refused = RequirePower(*machine, {Runtime::STOPPED}, "adding a disk")) {
      return Refused<std::string>(addErrors_, *refused);
    }
    const auto owner = state.diskOwners.find(spec->disk);
    if (owner != state.diskOwners.end()) {
      return Refused<std::string>(
          addErrors_, Refuse(Refusal::Kind::kAlreadyExists, "tavo.simhost.disk.already.attached",
                             "The virtual disk {1} is attached to the virtual machine {2} already.",
                             spec->disk, owner->second));
    }
    DiskRecord disk;
    if (Verdict refused = PlaceDevice(*machine, spec->device, {Bus::kScsi, Bus::kSata, Bus::kIde},
                                      "disk", disk.device)) {
      return Refused<std::string>(addErrors_, *refused);
    }
    disk.disk = spec->disk;
    // Host-made names skip any a client chose meanwhile.
    while (disk.disk.empty() || state.diskOwners.count(disk.disk) != 0) {
      disk.disk = "disk-" + std::to_string(state.nextDisk++);
    }
    state.diskOwners.emplace(disk.disk, machine->vm);
    std::string name = disk.disk;
    machine->disks.push_back(std::move(disk));
    ConfigurationChanged(*machine);
    return Answer<std::string>::Value(std::move(name));
  });
  core_->delivery.Send(result, std::move(answer));
}

void DiskService::List(const std::string& vm,
                       const Quil::OptionalPtr<const DiskSvc::FilterSpec>& filter,
                       std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                       const DiskSvc::ListMethod::ResultCbType& result) {
  using ListResult = std::shared_ptr<const DiskSvc::ListResult>;
  auto answer = core_->inventory.Read([&](const InventoryState& state) {
    const MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused<ListResult>(listErrors_, MachineNotFound(vm));
    auto listed = std::make_shared<DiskSvc::ListResult>();
    for (const DiskRecord& disk : machine->disks) {
      if (filter != nullptr &&
          !(Admits(filter->disks, disk.disk) && Admits(filter->devices, disk.device))) {
        continue;
      }
      auto summary = std::make_shared<DiskSvc::Summary>();
      summary->disk = disk.disk;
      summary->device = disk.device;
      listed->list.push_back(std::move(summary));
    }
    return Answer<ListResult>::Value(std::move(listed));
  });
  core_->delivery.Send(result, std::move(answer));
}

NetworkService::NetworkService(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

void NetworkService::Add(std::shared_ptr<const NetworkSvc::AddSpec> spec,
                         std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                         const NetworkSvc::AddMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(spec->vm);
    if (machine == nullptr) return Refused(addErrors_, MachineNotFound(spec->vm));
    if (spec->adapter.value() == NetworkSvc::VirtualDev::_UNKNOWN) {
      return Refused(addErrors_,
                     Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.adapter.type.unknown",
                            "The network adapter type {1} is unknown; it is TORVEN, FLINDR, "
                            "FLINDR3, KRDMA, E1000 or E1000E.",
                            spec->adapter.ToText()));
    }
    if (spec->network.empty()) {
      return Refused(addErrors_,
                     Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.adapter.network.empty",
                            "A network adapter needs the network it connects to."));
    }
    if (Verdict refused = RequirePower(*machine, {Runtime::STOPPED, Runtime::RUNNING},
                                       "adding a network adapter")) {
      return Refused(addErrors_, *refused);
    }
    NetworkAdapterRecord adapter;
    if (Verdict refused = PlaceAdapter(*machine, spec->device, adapter.device)) {
      return Refused(addErrors_, *refused);
    }
    adapter.network = spec->network;
    adapter.adapter = spec->adapter;
    machine->networkAdapters.push_back(std::move(adapter));
    ConfigurationChanged(*machine);
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

void NetworkService::List(const std::string& vm,
                          const Quil::OptionalPtr<const NetworkSvc::FilterSpec>& filter,
                          std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                          const NetworkSvc::ListMethod::ResultCbType& result) {
  using ListResult = std::shared_ptr<const NetworkSvc::ListResult>;
  auto answer = core_->inventory.Read([&](const InventoryState& state) {
    const MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused<ListResult>(listErrors_, MachineNotFound(vm));
    auto listed = std::make_shared<NetworkSvc::ListResult>();
    for (const NetworkAdapterRecord& adapter : machine->networkAdapters) {
      if (filter != nullptr &&
          !(Admits(filter->networks, adapter.network) && Admits(filter->devices, adapter.device) &&
            Admits(filter->adapters, adapter.adapter))) {
        continue;
      }
      auto summary = std::make_shared<NetworkSvc::Summary>();
      summary->id = adapter.network;
      summary->adapter = adapter.adapter;
      summary->device = adapter.device;
      listed->list.push_back(std::move(summary));
    }
    return Answer<ListResult>::Value(std::move(listed));
  });
  core_->delivery.Send(result, std::move(answer));
}

void NetworkService::Remove(const std::string& vm, const std::string& device,
                            std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                            const NetworkSvc::RemoveMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused(removeErrors_, MachineNotFound(vm));
    if (Verdict refused = RequirePower(*machine, {Runtime::STOPPED, Runtime::RUNNING},
                                       "removing a network adapter")) {
      return Refused(removeErrors_, *refused);
    }
    auto& adapters = machine->networkAdapters;
    const auto found =
        std::find_if(adapters.begin(), adapters.end(),
                     [&](const NetworkAdapterRecord& each) { return each.device == device; });
    if (found == adapters.end()) {
      return Refused(removeErrors_,
                     Refuse(Refusal::Kind::kNotFound, "tavo.simhost.adapter.not.found",
                            "The virtual machine {1} has no network adapter {2}.", vm, device));
    }
    adapters.erase(found);
    ConfigurationChanged(*machine);
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

SataControllerService::SataControllerService(std::shared_ptr<HostCore> core)
    : core_(std::move(core)) {}

void SataControllerService::Add(const std::string& vm, const SataControllerSvc::HbaType& hbaType,
                                const std::int64_t& controllerNumber,
                                std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                                const SataControllerSvc::AddMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused(addErrors_, MachineNotFound(vm));
    if (hbaType.value() == SataControllerSvc::HbaType::_UNKNOWN) {
      return Refused(addErrors_, UnknownAdapterType("SATA", hbaType.ToText(), "AHCI"));
    }
    if (Verdict refused = CheckNewController(*machine, machine->sataControllers, Bus::kSata,
                                             controllerNumber, "adding a SATA controller")) {
      return Refused(addErrors_, *refused);
    }
    InsertController(
        machine->sataControllers,
        SataControllerRecord{controllerNumber, hbaType, Label("sata", controllerNumber)});
    ConfigurationChanged(*machine);
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

void SataControllerService::Update(const std::string& vm, const SataControllerSvc::HbaType& hbaType,
                                   const std::int64_t& controllerNumber,
                                   std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                                   const SataControllerSvc::UpdateMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused(updateErrors_, MachineNotFound(vm));
    if (hbaType.value() == SataControllerSvc::HbaType::_UNKNOWN) {
      return Refused(updateErrors_, UnknownAdapterType("SATA", hbaType.ToText(), "AHCI"));
    }
    SataControllerRecord* controller = FindController(machine->sataControllers, controllerNumber);
    if (controller == nullptr) {
      return Refused(updateErrors_, ControllerNotFound(*machine, Bus::kSata, controllerNumber));
    }
    if (Verdict refused =
            RequirePower(*machine, {Runtime::STOPPED}, "changing a SATA controller")) {
      return Refused(updateErrors_, *refused);
    }
    if (controller->hbaType != hbaType) {
      controller->hbaType = hbaType;
      ConfigurationChanged(*machine);
    }
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

void SataControllerService::Delete(const std::string& vm, const std::int64_t& controllerNumber,
                                   std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                                   const SataControllerSvc::DeleteMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused(deleteErrors_, MachineNotFound(vm));
    auto& controllers = machine->sataControllers;
    const SataControllerRecord* controller = FindController(controllers, controllerNumber);
    if (controller == nullptr) {
      return Refused(deleteErrors_, ControllerNotFound(*machine, Bus::kSata, controllerNumber));
    }
    if (Verdict refused =
            RequirePower(*machine, {Runtime::STOPPED}, "deleting a SATA controller")) {
      return Refused(deleteErrors_, *refused);
    }
    const std::vector<std::string> devices = DevicesOn(*machine, Bus::kSata, controllerNumber);
    if (!devices.empty()) {
      std::string held;
      for (const std::string& device : devices) held += (held.empty() ? "" : ", ") + device;
      return Refused(deleteErrors_, Refuse(Refusal::Kind::kNotAllowedInCurrentState,
                                           "tavo.simhost.controller.in.use",
                                           "The {1} of the virtual machine {2} still holds {3}.",
                                           ControllerName(Bus::kSata, controllerNumber), vm, held));
    }
    controllers.erase(controllers.begin() + (controller - controllers.data()));
    ConfigurationChanged(*machine);
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

void SataControllerService::List(
    const std::string& vm, const Quil::OptionalPtr<const SataControllerSvc::FilterSpec>& filter,
    std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
    const SataControllerSvc::ListMethod::ResultCbType& result) {
  using Summaries = SataControllerSvc::ListMethod::ResultType;
  auto answer = core_->inventory.Read([&](const InventoryState& state) {
    const MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused<Summaries>(listErrors_, MachineNotFound(vm));
    Summaries summaries;
    for (const SataControllerRecord& controller : machine->sataControllers) {
      if (filter != nullptr && !Admits(filter->labels, controller.label)) continue;
      auto summary = std::make_shared<SataControllerSvc::Summary>();
      summary->label = controller.label;
      summaries.push_back(std::move(summary));
    }
    return Answer<Summaries>::Value(std::move(summaries));
  });
  core_->delivery.Send(result, std::move(answer));
}

ScsiControllerService::ScsiControllerService(std::shared_ptr<HostCore> core)
    : core_(std::move(core)) {}

void ScsiControllerService::Add(const std::string& vmId, const ScsiControllerSvc::HbaType& hbaType,
                                const std::int64_t& controllerNumber,
                                std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                                const ScsiControllerSvc::AddMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vmId);
    if (machine == nullptr) return Refused(addErrors_, MachineNotFound(vmId));
    if (hbaType.value() == ScsiControllerSvc::HbaType::_UNKNOWN) {
      return Refused(addErrors_,
                     UnknownAdapterType("SCSI", hbaType.ToText(), "LSILOGIC, LSISAS or HXSCSI"));
    }
    if (Verdict refused = CheckNewController(*machine, machine->scsiControllers, Bus::kScsi,
                                             controllerNumber, "adding a SCSI controller")) {
      return Refused(addErrors_, *refused);
    }
    InsertController(
        machine->scsiControllers,
        ScsiControllerRecord{controllerNumber, hbaType, Label("scsi", controllerNumber)});
    ConfigurationChanged(*machine);
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

}  // namespace Tavo::SimHost
