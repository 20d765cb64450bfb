#include "inventory.h"

#include <utility>

namespace Tavo::SimHost {

MachineRecord* InventoryState::Find(std::string_view vm) {
  const auto found = machines.find(vm);
  return found != machines.end() ? &found->second : nullptr;
}

InventorySnapshot Inventory::Snapshot() const {
  InventorySnapshot snapshot;
  std::lock_guard<std::mutex> lock(mutex_);
  snapshot.machines.reserve(state_.machines.size());
  for (const auto& [name, machine] : state_.machines) snapshot.machines.push_back(machine);
  return snapshot;
}

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
