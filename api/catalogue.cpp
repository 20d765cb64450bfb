#include <tavo/vm/catalogue.h>

#include <tavo/vm/compute/cpus.h>
#include <tavo/vm/compute/memory.h>
#include <tavo/vm/device/cdrom.h>
#include <tavo/vm/device/disk.h>
#include <tavo/vm/device/network.h>
#include <tavo/vm/device/sata_controller.h>
#include <tavo/vm/device/scsi_controller.h>
#include <tavo/vm/dock.h>
#include <tavo/vm/nask.h>
#include <tavo/vm/power.h>

namespace Com::Korvan::Tavo::Vm {

// The ten services, once: X(binder of the service).
#define TAVO_VM_SERVICES(X)                        \
  X(Compute::CpusSvc::AsyncServiceBinder)          \
  X(Compute::MemorySvc::AsyncServiceBinder)        \
  X(Device::CdromSvc::AsyncServiceBinder)          \
  X(Device::DiskSvc::AsyncServiceBinder)           \
  X(Device::NetworkSvc::AsyncServiceBinder)        \
  X(Device::SataControllerSvc::AsyncServiceBinder) \
  X(Device::ScsiControllerSvc::AsyncServiceBinder) \
  X(DockSvc::AsyncServiceBinder)                   \
  X(PowerSvc::AsyncServiceBinder)                  \
  X(NaskSvc::AsyncServiceBinder)

#define TAVO_VM_DESCRIBE(Binder) Binder::Describe(),
#define TAVO_VM_DESCRIBE_FACTS(Binder) Binder::DescribeFacts(),

std::shared_ptr<::Quil::Provider::InterfaceRegistry> DescribeServices() {
  return std::make_shared<::Quil::Provider::InterfaceRegistry>(
      std::vector<std::shared_ptr<const ::Quil::Provider::AsyncApiInterface>>{
          TAVO_VM_SERVICES(TAVO_VM_DESCRIBE)});
}

std::vector<::Quil::Provider::ServiceFacts> DescribeServiceFacts() {
  return {TAVO_VM_SERVICES(TAVO_VM_DESCRIBE_FACTS)};
}

}  // namespace Com::Korvan::Tavo::Vm
