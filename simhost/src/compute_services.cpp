#include "compute_services.h"

#include <utility>

namespace Tavo::SimHost {
namespace {

constexpr std::int64_t kMaxCpus = 64;
constexpr std::int64_t kMemoryGranuleMiB = 4;
constexpr std::int64_t kMaxMemoryMiB = 1048576;

template <typename... Args>
Refusal WhileRunning(const MachineRecord& machine, std::string id, std::string_view text,
                     const Args&... args) {
  return Refuse(Refusal::Kind::kNotAllowedInCurrentState, std::move(id), text, machine.vm, args...);
}

bool Same(const CpuSettings& a, const CpuSettings& b) {
  return a.count == b.count && a.coresPerSocket == b.coresPerSocket &&
         a.hotAddEnabled == b.hotAddEnabled && a.hotRemoveEnabled == b.hotRemoveEnabled;
}

bool Same(const MemorySettings& a, const MemorySettings& b) {
  return a.sizeMiB == b.sizeMiB && a.hotAddEnabled == b.hotAddEnabled;
}

// Why `machine` cannot take the CPU settings `next`, or none.
Verdict CheckCpus(const MachineRecord& machine, const CpuSettings& next) {
  if (Verdict refused = CheckCpuValues(machine.vm, next)) return refused;
  const CpuSettings& now = machine.cpus;
  if (Same(next, now)) return boost::none;
  const bool flagsChange =
      next.hotAddEnabled != now.hotAddEnabled || next.hotRemoveEnabled != now.hotRemoveEnabled;
  if (Verdict refused =
          RequirePower(machine, {Runtime::STOPPED, Runtime::RUNNING}, "changing the CPUs")) {
    return refused;
  }
  if (machine.power == Runtime::STOPPED) return boost::none;
  if (flagsChange) {
    return WhileRunning(machine, "tavo.simhost.cpus.hotplug.running",
                        "The virtual machine {1} is RUNNING; its CPU hot add and hot remove "
                        "settings change only while it is STOPPED.");
  }
  if (next.coresPerSocket != now.coresPerSocket) {
    return WhileRunning(machine, "tavo.simhost.cpus.cores.running",
                        "The virtual machine {1} is RUNNING; its cores per socket change only "
                        "while it is STOPPED.");
  }
  const std::string from = std::to_string(now.count);
  const std::string count = std::to_string(next.count);
  if (next.count > now.count && !now.hotAddEnabled) {
    return WhileRunning(machine, "tavo.simhost.cpus.hot.add.disabled",
                        "The virtual machine {1} is RUNNING without CPU hot add; its CPUs can go "
                        "from {2} to {3} only while it is STOPPED.",
                        from, count);
  }
  if (next.count < now.count && !now.hotRemoveEnabled) {
    return WhileRunning(machine, "tavo.simhost.cpus.hot.remove.disabled",
                        "The virtual machine {1} is RUNNING without CPU hot remove; its CPUs can "
                        "go from {2} to {3} only while it is STOPPED.",
                        from, count);
  }
  return boost::none;
}

// Why `machine` cannot take the memory settings `next`, or none.
Verdict CheckMemory(const MachineRecord& machine, const MemorySettings& next) {
  if (Verdict refused = CheckMemoryValues(machine.vm, next)) return refused;
  const std::string size = std::to_string(next.sizeMiB);
  const MemorySettings& now = machine.memory;
  if (Same(next, now)) return boost::none;
  const bool flagChanges = next.hotAddEnabled != now.hotAddEnabled;
  if (Verdict refused =
          RequirePower(machine, {Runtime::STOPPED, Runtime::RUNNING}, "changing the memory")) {
    return refused;
  }
  if (machine.power == Runtime::STOPPED) return boost::none;
  if (flagChanges) {
    return WhileRunning(machine, "tavo.simhost.memory.hotplug.running",
                        "The virtual machine {1} is RUNNING; its memory hot add setting changes "
                        "only while it is STOPPED.");
  }
  const std::string from = std::to_string(now.sizeMiB);
  if (next.sizeMiB < now.sizeMiB) {
    return WhileRunning(machine, "tavo.simhost.memory.shrink.running",
                        "The virtual machine {1} is RUNNING; its memory can shrink from {2} to {3} "
                        "MiB only while it is STOPPED.",
                        from, size);
  }
  if (!now.hotAddEnabled) {
    return WhileRunning(machine, "tavo.simhost.memory.hot.add.disabled",
                        "The virtual machine {1} is RUNNING without memory hot add; its memory "
                        "can grow from {2} to {3} MiB only while it is STOPPED.",
                        from, size);
  }
  return boost::none;
}

}  // namespace

CpusService::CpusService(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

void CpusService::Get(const std::string& vm,
                      std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                      const CpusSvc::GetMethod::ResultCbType& result) {
  using Info = std::shared_ptr<const CpusSvc::Info>;
  auto answer = core_->inventory.Read([&](const InventoryState& state) {
    const MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused<Info>(getErrors_, MachineNotFound(vm));
    auto info = std::make_shared<CpusSvc::Info>();
    info->count = machine->cpus.count;
    info->coresPerSocket = machine->cpus.coresPerSocket;
    info->hotAddEnabled = machine->cpus.hotAddEnabled;
    info->hotRemoveEnabled = machine->cpus.hotRemoveEnabled;
    return Answer<Info>::Value(std::move(info));
  });
  core_->delivery.Send(result, std::move(answer));
}

void CpusService::Update(const std::string& vm,
                         std::shared_ptr<const CpusSvc::UpdateSpec> updateSpec,
                         std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                         const CpusSvc::UpdateMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused(updateErrors_, MachineNotFound(vm));
    CpuSettings next = machine->cpus;
    next.count = updateSpec->count.value_or(next.count);
    next.coresPerSocket = updateSpec->coresPerSocket.value_or(next.coresPerSocket);
    next.hotAddEnabled = updateSpec->hotAddEnabled.value_or(next.hotAddEnabled);
    next.hotRemoveEnabled = updateSpec->hotRemoveEnabled.value_or(next.hotRemoveEnabled);
    if (Verdict refused = CheckCpus(*machine, next)) return Refused(updateErrors_, *refused);
    if (!Same(next, machine->cpus)) {
      machine->cpus = next;
      ConfigurationChanged(*machine);
    }
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

MemoryService::MemoryService(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

void MemoryService::Get(const std::string& vm,
                        std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                        const MemorySvc::GetMethod::ResultCbType& result) {
  using Properties = std::shared_ptr<const MemorySvc::Properties>;
  auto answer = core_->inventory.Read([&](const InventoryState& state) {
    const MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused<Properties>(getErrors_, MachineNotFound(vm));
    auto properties = std::make_shared<MemorySvc::Properties>();
    properties->size = machine->memory.sizeMiB;
    properties->hotAddEnabled = machine->memory.hotAddEnabled;
    return Answer<Properties>::Value(std::move(properties));
  });
  core_->delivery.Send(result, std::move(answer));
}

void MemoryService::Update(const std::string& vm,
                           std::shared_ptr<const MemorySvc::UpdateSpec> updateSpec,
                           std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                           const MemorySvc::UpdateMethod::ResultCbType& result) {
  auto answer = core_->inventory.Change([&](InventoryState& state) {
    MachineRecord* machine = state.Find(vm);
    if (machine == nullptr) return Refused(updateErrors_, MachineNotFound(vm));
    MemorySettings next = machine->memory;
    next.sizeMiB = updateSpec->size.value_or(next.sizeMiB);
    next.hotAddEnabled = updateSpec->hotAddEnabled.value_or(next.hotAddEnabled);
    if (Verdict refused = CheckMemory(*machine, next)) return Refused(updateErrors_, *refused);
    if (!Same(next, machine->memory)) {
      machine->memory = next;
      ConfigurationChanged(*machine);
    }
    return Done(nullptr);
  });
  core_->delivery.Send(result, std::move(answer));
}

Verdict CheckCpuValues(const std::string& vm, const CpuSettings& next) {
  const std::string count = std::to_string(next.count);
  const std::string cores = std::to_string(next.coresPerSocket);
  if (next.count < 1 || next.count > kMaxCpus) {
    return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.cpus.count.range",
                  "The virtual machine {1} cannot have {2} CPUs; it takes 1 to {3}.", vm, count,
                  std::to_string(kMaxCpus));
  }
  if (next.coresPerSocket < 1) {
    return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.cpus.cores.range",
                  "The virtual machine {1} cannot have {2} cores per socket; it needs at least 1.",
                  vm, cores);
  }
  if (next.count % next.coresPerSocket != 0) {
    return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.cpus.sockets.uneven",
                  "The virtual machine {1} cannot split {2} CPUs into sockets of {3} cores.", vm,
                  count, cores);
  }
  return boost::none;
}

Verdict CheckMemoryValues(const std::string& vm, const MemorySettings& next) {
  if (next.sizeMiB < kMemoryGranuleMiB || next.sizeMiB > kMaxMemoryMiB ||
      next.sizeMiB % kMemoryGranuleMiB != 0) {
    return Refuse(Refusal::Kind::kInvalidArgument, "tavo.simhost.memory.size",
                  "The virtual machine {1} cannot have {2} MiB of memory; it takes a multiple of "
                  "{3} MiB from {3} to {4}.",
                  vm, std::to_string(next.sizeMiB), std::to_string(kMemoryGranuleMiB),
                  std::to_string(kMaxMemoryMiB));
  }
  return boost::none;
}

}  // namespace Tavo::SimHost
