#include "cpus_server.h"

#include <utility>

#include <quil/std/errors.h>

namespace Example {
namespace {

namespace Errors = Com::Korvan::Quil::Std::Errors;

Quil::Data::ErrorValuePtr MachineNotFound(const std::string& vm) {
  return Errors::MakeErrorValue<Errors::NotFound>("tavo.example.vm.not.found",
                                                  "The virtual machine {1} does not exist.", vm);
}

// Why a machine cannot run with `settings`, or null when it can.
Quil::Data::ErrorValuePtr RefuseSettings(const std::string& vm, const CpusSvc::Info& settings) {
  const std::string count = std::to_string(settings.count);
  const std::string cores = std::to_string(settings.coresPerSocket);
  if (settings.count < 1) {
    return Errors::MakeErrorValue<Errors::InvalidArgument>(
        "tavo.example.cpus.count.too.small",
        "The virtual machine {1} needs at least one CPU; {2} were asked for.", vm, count);
  }
  if (settings.coresPerSocket < 1 || settings.count % settings.coresPerSocket != 0) {
    return Errors::MakeErrorValue<Errors::InvalidArgument>(
        "tavo.example.cpus.sockets.uneven",
        "The virtual machine {1} cannot split {2} CPUs into sockets of {3} cores.", vm, count,
        cores);
  }
  return nullptr;
}

}  // namespace

CpusServer::CpusServer(std::map<std::string, CpusSvc::Info> machines)
    : machines_(std::move(machines)) {}

void CpusServer::Get(const std::string& vm,
                     std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                     const CpusSvc::GetMethod::ResultCbType& result) {
  std::shared_ptr<const CpusSvc::Info> settings;
  {
    std::lock_guard lock(mutex_);
    const auto found = machines_.find(vm);
    if (found != machines_.end()) settings = std::make_shared<CpusSvc::Info>(found->second);
  }
  if (settings == nullptr) {
    result.error(MachineNotFound(vm));
    return;
  }
  result(settings);
}

void CpusServer::Update(const std::string& vm,
                        std::shared_ptr<const CpusSvc::UpdateSpec> updateSpec,
                        std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                        const CpusSvc::UpdateMethod::ResultCbType& result) {
  Quil::Data::ErrorValuePtr refused;
  {
    std::lock_guard lock(mutex_);
    const auto found = machines_.find(vm);
    if (found == machines_.end()) {
      refused = MachineNotFound(vm);
    } else {
      // Only what the update spec sets changes; the rest stays as it is.
      CpusSvc::Info settings = found->second;
      settings.count = updateSpec->count.value_or(settings.count);
      settings.coresPerSocket = updateSpec->coresPerSocket.value_or(settings.coresPerSocket);
      settings.hotAddEnabled = updateSpec->hotAddEnabled.value_or(settings.hotAddEnabled);
      settings.hotRemoveEnabled = updateSpec->hotRemoveEnabled.value_or(settings.hotRemoveEnabled);
      refused = RefuseSettings(vm, settings);
      if (refused == nullptr) found->second = std::move(settings);
    }
  }
  if (refused != nullptr) {
    result.error(std::move(refused));
    return;
  }
  result();
}

bool ServeCpus(Quil::Provider::LocalApiProvider& provider,
               std::map<std::string, CpusSvc::Info> machines) {
  return provider.Register(CpusSvc::AsyncServiceBinder::BindImplementation(
      std::make_shared<CpusServer>(std::move(machines))));
}

}  // namespace Example
