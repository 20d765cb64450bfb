#include <tavo/simhost/host.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <quil/type_info.h>

#include <tavo/simhost/state.h>

#include "compute_services.h"
#include "device_services.h"
#include "inventory.h"
#include "machine_services.h"

namespace Tavo::SimHost {

namespace {

const HostOptions& Checked(const HostOptions& options) {
  std::string error;
  if (options.initial != nullptr && !CheckState(*options.initial, error)) {
    throw std::invalid_argument("the initial state of the simulated host is inconsistent: " +
                                error);
  }
  return options;
}

}  // namespace

Host::Host(HostOptions options)
    : core_(std::make_shared<HostCore>(Checked(options))),
      cpus_(std::make_shared<CpusService>(core_)),
      memory_(std::make_shared<MemoryService>(core_)),
      cdrom_(std::make_shared<CdromService>(core_)),
      disk_(std::make_shared<DiskService>(core_)),
      network_(std::make_shared<NetworkService>(core_)),
      sataController_(std::make_shared<SataControllerService>(core_)),
      scsiController_(std::make_shared<ScsiControllerService>(core_)),
      dock_(std::make_shared<DockService>(core_)),
      power_(std::make_shared<PowerService>(core_)),
      nask_(std::make_shared<NaskService>(core_)) {}

// The services may outlive the host inside a provider; they then answer on the calling thread.
Host::~Host() { core_->delivery.Stop(); }

bool Host::RegisterWith(Quil::Provider::LocalApiProvider& provider) {
  const std::shared_ptr<const Quil::Provider::AsyncApiInterface> bindings[] = {
      CpusSvc::AsyncServiceBinder::BindImplementation(cpus_),
      MemorySvc::AsyncServiceBinder::BindImplementation(memory_),
      CdromSvc::AsyncServiceBinder::BindImplementation(cdrom_),
      DiskSvc::AsyncServiceBinder::BindImplementation(disk_),
      NetworkSvc::AsyncServiceBinder::BindImplementation(network_),
      SataControllerSvc::AsyncServiceBinder::BindImplementation(sataController_),
      ScsiControllerSvc::AsyncServiceBinder::BindImplementation(scsiController_),
      DockSvc::AsyncServiceBinder::BindImplementation(dock_),
      PowerSvc::AsyncServiceBinder::BindImplementation(power_),
      NaskSvc::AsyncServiceBinder::BindImplementation(nask_),
  };
  const std::string names[] = {
      Quil::TypeInfo<CpusSvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<MemorySvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<CdromSvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<DiskSvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<NetworkSvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<SataControllerSvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<ScsiControllerSvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<DockSvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<PowerSvc::AsyncServiceInterface>::name(),
      Quil::TypeInfo<NaskSvc::AsyncServiceInterface>::name(),
  };
  std::size_t registered = 0;
  for (; registered < std::size(bindings); ++registered) {
    if (!provider.Register(bindings[registered])) break;
  }
  if (registered == std::size(bindings)) return true;
  // All or nothing: a half-registered host would answer some services and not others.
  while (registered > 0) provider.Unregister(names[--registered]);
  return false;
}

std::shared_ptr<CpusSvc::AsyncServiceInterface> Host::Cpus() const { return cpus_; }
std::shared_ptr<MemorySvc::AsyncServiceInterface> Host::Memory() const { return memory_; }
std::shared_ptr<CdromSvc::AsyncServiceInterface> Host::Cdrom() const { return cdrom_; }
std::shared_ptr<DiskSvc::AsyncServiceInterface> Host::Disk() const { return disk_; }
std::shared_ptr<NetworkSvc::AsyncServiceInterface> Host::Network() const { return network_; }
std::shared_ptr<SataControllerSvc::AsyncServiceInterface> Host::SataController() const {
  return sataController_;
}
std::shared_ptr<ScsiControllerSvc::AsyncServiceInterface> Host::ScsiController() const {
  return scsiController_;
}
std::shared_ptr<DockSvc::AsyncServiceInterface> Host::Dock() const { return dock_; }
std::shared_ptr<PowerSvc::AsyncServiceInterface> Host::Power() const { return power_; }
std::shared_ptr<NaskSvc::AsyncServiceInterface> Host::Nask() const { return nask_; }

InventorySnapshot Host::Snapshot() const { return core_->inventory.Snapshot(); }
HostState Host::State() const { return core_->inventory.State(); }

}  // namespace Tavo::SimHost
