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

std::shared_ptr<::Quil::Provider::InterfaceRegistry> DescribeServices() {
  return std::make_shared<::Quil::Provider::InterfaceRegistry>(
      std::vector<std::shared_ptr<const ::Quil::Provider::AsyncApiInterface>>{
          Compute::CpusSvc::AsyncServiceBinder::Describe(),
          Compute::MemorySvc::AsyncServiceBinder::Describe(),
          Device::CdromSvc::AsyncServiceBinder::Describe(),
          Device::DiskSvc::AsyncServiceBinder::Describe(),
          Device::NetworkSvc::AsyncServiceBinder::Describe(),
          Device::SataControllerSvc::AsyncServiceBinder::Describe(),
          Device::ScsiControllerSvc::AsyncServiceBinder::Describe(),
          DockSvc::AsyncServiceBinder::Describe(),
          PowerSvc::AsyncServiceBinder::Describe(),
          NaskSvc::AsyncServiceBinder::Describe()});
}

std::vector<::Quil::Provider::ServiceFacts> DescribeServiceFacts() {
  return {Compute::CpusSvc::AsyncServiceBinder::DescribeFacts(),
          Compute::MemorySvc::AsyncServiceBinder::DescribeFacts(),
          Device::CdromSvc::AsyncServiceBinder::DescribeFacts(),
          Device::DiskSvc::AsyncServiceBinder::DescribeFacts(),
          Device::NetworkSvc::AsyncServiceBinder::DescribeFacts(),
          Device::SataControllerSvc::AsyncServiceBinder::DescribeFacts(),
          Device::ScsiControllerSvc::AsyncServiceBinder::DescribeFacts(),
          DockSvc::AsyncServiceBinder::DescribeFacts(),
          PowerSvc::AsyncServiceBinder::DescribeFacts(),
          NaskSvc::AsyncServiceBinder::DescribeFacts()};
}

}  // namespace Com::Korvan::Tavo::Vm
