// The host's one inventory of virtual machines, shared by the ten services, and the rules about
// machines that several services check.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include <tavo/simhost/host.h>

#include "delivery.h"
#include "refusal.h"

namespace Tavo::SimHost {

using Runtime = Vm::PowerSvc::Runtime;

struct InventoryState {
  std::map<std::string, MachineRecord, std::less<>> machines;
  // Virtual disk name -> the machine it is attached to; disk names are unique on the host.
  std::map<std::string, std::string, std::less<>> diskOwners;
  std::uint64_t nextCdrom = 1;
  std::uint64_t nextDisk = 1;

  // The machine `vm`, or null.
  MachineRecord* Find(std::string_view vm);
};

class Inventory {
 public:
  // Runs `work` on the state under the inventory's lock and returns what it returns. `work` must
  // not call back into the host.
  template <typename Work>
  auto Locked(Work&& work) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::forward<Work>(work)(state_);
  }

  InventorySnapshot Snapshot() const;

 private:
  mutable std::mutex mutex_;
  InventoryState state_;
};

// What every service shares: the inventory and the way answers are delivered.
struct HostCore {
  explicit HostCore(HostOptions::Delivery mode) : delivery(mode) {}

  Inventory inventory;
  Delivery delivery;
};

// The answer that refuses a call of an operation declaring `errors`.
template <typename R = Quil::Void>
Answer<R> Refused(const DeclaredErrors& errors, const Refusal& refusal) {
  return Answer<R>::Refused(errors.ToErrorValue(refusal));
}

// NotFound: the machine `vm` does not exist.
Refusal MachineNotFound(const std::string& vm);

// NotAllowedInCurrentState unless `machine` is in one of the `allowed` states; `action` names what
// was asked for in the message ("reset", "adding a disk").
Verdict RequirePower(const MachineRecord& machine, std::initializer_list<Runtime::Enum> allowed,
                     std::string_view action);

// Records that the configuration of `machine` changed: a STOPPED machine needs loading again,
// a powered-on one applies the change at once.
void ConfigurationChanged(MachineRecord& machine);

}  // namespace Tavo::SimHost
