#include "machine_services.h"

#include <utility>

namespace Tavo::SimHost {

PowerService::PowerService(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

void PowerService::Get(const std::string& vmId,
                       std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                       const PowerSvc::GetMethod::ResultCbType& result) {
  auto answer = core_->inventory.Read([&](const InventoryState& state) {
    const MachineRecord* machine = state.Find(vmId);
    if (machine == nullptr) return Refused<Runtime>(getErrors_, MachineNotFound(vmId));
    return Answer<Runtime>::Value(machine->power);
  });
  core_->delivery.Send(result, std::move(answer));
}

void PowerService::SwitchOn(const std::string& vmId, const boost::optional<bool>& paused,
                            const boost::optional<bool>& soft,
                            std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                            const PowerSvc::SwitchOnMethod::ResultCbType& result) {
  const bool pausedOn = paused.value_or(false);
  const bool softOn = soft.value_or(false);
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vmId);
    if (machine == nullptr) return Refused(switchOnErrors_, MachineNotFound(vmId));
    // A soft switch-on only resumes; a paused one only boots. Both at once can never hold.
    Verdict refused = RequirePower(*machine, {Runtime::STOPPED, Runtime::SUSPENDED}, "switch_on");
    if (!refused && softOn) {
      refused = RequirePower(*machine, {Runtime::SUSPENDED}, "switch_on with soft");
    }
    if (!refused && pausedOn) {
      refused = RequirePower(*machine, {Runtime::STOPPED}, "switch_on with paused");
    }
    if (refused) return Refused(switchOnErrors_, *refused);
    machine->power = pausedOn ? Runtime::SUSPENDED : Runtime::RUNNING;
    machine->loaded = true;
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

void PowerService::SwitchOff(const std::string& vmId,
                             std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                             const PowerSvc::SwitchOffMethod::ResultCbType& result) {
  Transition(vmId, {Runtime::RUNNING, Runtime::SUSPENDED}, Runtime::STOPPED, "switch_off",
             switchOffErrors_, result);
}

void PowerService::Reset(const std::string& vmId,
                         std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                         const PowerSvc::ResetMethod::ResultCbType& result) {
  Transition(vmId, {Runtime::RUNNING}, Runtime::RUNNING, "reset", resetErrors_, result);
}

void PowerService::Suspend(const std::string& vmId,
                           std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                           const PowerSvc::SuspendMethod::ResultCbType& result) {
  Transition(vmId, {Runtime::RUNNING}, Runtime::SUSPENDED, "suspend", suspendErrors_, result);
}

void PowerService::Transition(const std::string& vmId, std::initializer_list<Runtime::Enum> from,
                              Runtime::Enum to, std::string_view action,
                              const DeclaredErrors& errors,
                              const Quil::AsyncResult<Quil::Void>& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vmId);
    if (machine == nullptr) return Refused(errors, MachineNotFound(vmId));
    if (Verdict refused = RequirePower(*machine, from, action)) return Refused(errors, *refused);
    machine->power = to;
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

NaskService::NaskService(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

void NaskService::Create(std::shared_ptr<const NaskSvc::CreateSpec> spec,
                         std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                         const NaskSvc::CreateMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    if (spec->vm.empty()) {
      return Refused(createErrors_,
                     Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.vm.name.empty",
                            "A virtual machine needs a non-empty identifier."));
    }
    if (state.Find(spec->vm) != nullptr) {
      return Refused(createErrors_,
                     Refuse(Refusal::Kind::kAlreadyExists, "tavo.simhost.vm.already.exists",
                            "The virtual machine {1} already exists.", spec->vm));
    }
    MachineRecord machine;
    machine.vm = spec->vm;
    machine.guestOS = spec->guestOS;
    machine.hwVersion = spec->hwVersion;
    state.machines.emplace(spec->vm, std::move(machine));
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

void NaskService::Delete(const std::string& vm,
                         std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                         const NaskSvc::DeleteMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    const MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused(deleteErrors_, MachineNotFound(vm));
    if (Verdict refused = RequirePower(*machine, {Runtime::STOPPED}, "delete")) {
      return Refused(deleteErrors_, *refused);
    }
    for (const DiskRecord& disk : machine->disks) state.diskOwners.erase(disk.disk);
    state.machines.erase(vm);
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

DockService::DockService(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

void DockService::Load(const std::string& vmId,
                       std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                       const DockSvc::LoadMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vmId);
    if (machine == nullptr) return Refused(loadErrors_, MachineNotFound(vmId));
    // A powered-on machine runs its configuration already; loading would replace it under it.
    if (Verdict refused = RequirePower(*machine, {Runtime::STOPPED}, "load")) {
      return Refused(loadErrors_, *refused);
    }
    machine->loaded = true;
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

}  // namespace Tavo::SimHost
