// The server side of the cpus example: a cpus service that keeps the CPU settings of a few virtual
// machines in memory, bound into an in-process API provider.
//
// "get" answers a machine's settings; "update" changes the settings its update spec sets, after
// checking that the machine keeps at least one CPU and a whole number of sockets. A machine it
// does not hold is answered with NotFound, a setting it refuses with InvalidArgument.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <tavo/vm/compute/cpus.h>

#include <quil/core/activation.h>
#include <quil/provider/api_provider.h>

namespace Example {

namespace CpusSvc = Com::Korvan::Tavo::Vm::Compute::CpusSvc;

class CpusServer final : public CpusSvc::AsyncServiceInterface {
 public:
  // The machines by identifier, with their settings as the server starts.
  explicit CpusServer(std::map<std::string, CpusSvc::Info> machines);

  void Get(const std::string& vm, std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const CpusSvc::GetMethod::ResultCbType& result) override;
  void Update(const std::string& vm, std::shared_ptr<const CpusSvc::UpdateSpec> updateSpec,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const CpusSvc::UpdateMethod::ResultCbType& result) override;

 private:
  // Calls may arrive on several threads at once; the answers are given after the lock is let go.
  std::mutex mutex_;
  std::map<std::string, CpusSvc::Info> machines_;
};

// Binds a new server holding `machines` and registers it with `provider`; false when the provider
// serves a cpus service already.
bool ServeCpus(Quil::Provider::LocalApiProvider& provider,
               std::map<std::string, CpusSvc::Info> machines);

}  // namespace Example
