// The cpus and memory services of the simulated host: a machine's CPU and memory settings, read
// and changed under the rules described in <tavo/simhost/host.h>.
#pragma once

#include <memory>
#include <string>

#include <tavo/vm/compute/cpus.h>
#include <tavo/vm/compute/memory.h>

#include "inventory.h"
#include "refusal.h"

namespace Tavo::SimHost {

namespace CpusSvc = Vm::Compute::CpusSvc;
namespace MemorySvc = Vm::Compute::MemorySvc;

// Why no machine `vm` can have these settings, whatever its state (InvalidArgument), or none.
Verdict CheckCpuValues(const std::string& vm, const CpuSettings& settings);
Verdict CheckMemoryValues(const std::string& vm, const MemorySettings& settings);

class CpusService final : public CpusSvc::AsyncServiceInterface {
 public:
  explicit CpusService(std::shared_ptr<HostCore> core);

  void Get(const std::string& vm, std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const CpusSvc::GetMethod::ResultCbType& result) override;
  void Update(const std::string& vm, std::shared_ptr<const CpusSvc::UpdateSpec> updateSpec,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const CpusSvc::UpdateMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors getErrors_ = DeclaredErrors::Of<CpusSvc::GetMethod>();
  const DeclaredErrors updateErrors_ = DeclaredErrors::Of<CpusSvc::UpdateMethod>();
};

class MemoryService final : public MemorySvc::AsyncServiceInterface {
 public:
  explicit MemoryService(std::shared_ptr<HostCore> core);

  void Get(const std::string& vm, std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const MemorySvc::GetMethod::ResultCbType& result) override;
  void Update(const std::string& vm, std::shared_ptr<const MemorySvc::UpdateSpec> updateSpec,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const MemorySvc::UpdateMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors getErrors_ = DeclaredErrors::Of<MemorySvc::GetMethod>();
  const DeclaredErrors updateErrors_ = DeclaredErrors::Of<MemorySvc::UpdateMethod>();
};

}  // namespace Tavo::SimHost
