#include "inventory.h"

#include <exception>
#include <utility>

#include <quil/std/errors.h>

namespace Tavo::SimHost {
namespace {

namespace Errors = ::Com::Korvan::Quil::Std::Errors;

HostState StateOf(const InventoryState& state) {
  HostState saved;
  saved.inventory.machines.reserve(state.machines.size());
  for (const auto& [name, machine] : state.machines) saved.inventory.machines.push_back(machine);
  saved.nextCdrom = state.nextCdrom;
  saved.nextDisk = state.nextDisk;
  return saved;
}

}  // namespace

MachineRecord* InventoryState::Find(std::string_view vm) {
  const auto found = machines.find(vm);
  return found != machines.end() ? &found->second : nullptr;
}

const MachineRecord* InventoryState::Find(std::string_view vm) const {
  const auto found = machines.find(vm);
  return found != machines.end() ? &found->second : nullptr;
}

Quil::Data::ErrorValuePtr NotSaved(const std::string& failure) {
  // Every operation declares Error, and no other standard error says "the host broke".
  return Errors::ToErrorValue(Errors::MakeError<Errors::Error>(Quil::MakeMessage(
      "tavo.simhost.state.not.saved",
      "The host could not save its state, so the change was undone: {1}", failure)));
}

Inventory::Inventory(const HostState& initial, Persist persist) : persist_(std::move(persist)) {
  for (const MachineRecord& machine : initial.inventory.machines) {
    for (const DiskRecord& disk : machine.disks) state_.diskOwners.emplace(disk.disk, machine.vm);
    state_.machines.emplace(machine.vm, machine);
  }
  state_.nextCdrom = initial.nextCdrom;
  state_.nextDisk = initial.nextDisk;
}

InventorySnapshot Inventory::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return StateOf(state_).inventory;
}

HostState Inventory::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return StateOf(state_);
}

bool Inventory::Save(std::string& failure) const {
  try {
    if (persist_(StateOf(state_), failure)) return true;
  } catch (const std::exception& thrown) {
    failure = thrown.what();  // an exception here would leave the change in and the call unanswered
  }
  if (failure.empty()) failure = "the state store gave no reason";
  return false;
}

HostCore::HostCore(const HostOptions& options)
    : inventory(options.initial != nullptr ? *options.initial : HostState{}, options.persist),
      delivery(options.delivery) {}

Refusal MachineNotFound(const std::string& vm) {
  return Refuse(Refusal::Kind::kNotFound, "tavo.simhost.vm.not.found",
                "The virtual machine {1} does not exist.", vm);
}

Verdict RequirePower(const MachineRecord& machine, std::initializer_list<Runtime::Enum> allowed,
                     std::string_view action) {
  std::string needed;
  for (const Runtime::Enum state : allowed) {
    if (machine.power == state) return boost::none;
    if (!needed.empty()) needed += " or ";
    needed += Runtime(state).ToText();
  }
  return Refuse(Refusal::Kind::kNotAllowedInCurrentState, "tavo.simhost.vm.power.state",
                "The virtual machine {1} is {2}; {3} needs {4}.", machine.vm,
                machine.power.ToText(), std::string(action), needed);
}

void ConfigurationChanged(MachineRecord& machine) {
  if (machine.power == Runtime::STOPPED) machine.loaded = false;
}

}  // namespace Tavo::SimHost
