// The host's one inventory of virtual machines, shared by the ten services, and the rules about
// machines that several services check. Changes go through Inventory::Change, which saves them
// (HostOptions::persist) before their answer leaves, or undoes them when saving fails.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include <quil/data/value.h>

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
  const MachineRecord* Find(std::string_view vm) const;
};

// The error that answers a change the host could not save: "tavo.simhost.state.not.saved".
Quil::Data::ErrorValuePtr NotSaved(const std::string& failure);

class Inventory {
 public:
  using Persist = std::function<bool(const HostState& state, std::string& failure)>;

  // Starts from `initial` (consistent, see CheckState).
  Inventory(const HostState& initial, Persist persist);

  // Runs `work` on the state under the inventory's lock and returns the answer it returns.
  // `work` must not call back into the host.
  template <typename Work>
  auto Read(Work&& work) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::forward<Work>(work)(std::as_const(state_));
  }

  // The same for `work` that may change the state; a refusal must leave it as it was. Any other
  // answer is returned only once the state is saved; when saving fails the state is put back and
  // the answer becomes NotSaved.
  template <typename Work>
  auto Change(Work&& work) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!persist_) return std::forward<Work>(work)(state_);
    InventoryState before = state_;
    auto answer = std::forward<Work>(work)(state_);
    if (answer.refused()) return answer;
    std::string failure;
    if (Save(failure)) return answer;
    state_ = std::move(before);
    return decltype(answer)::Refused(NotSaved(failure));
  }

  InventorySnapshot Snapshot() const;
  HostState State() const;

 private:
  bool Save(std::string& failure) const;  // under mutex_

  mutable std::mutex mutex_;
  InventoryState state_;
  const Persist persist_;
};

// What every service shares: the inventory and the way answers are delivered.
struct HostCore {
  explicit HostCore(const HostOptions& options);

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
