// The device services of the simulated host: CD-ROMs, disks, network adapters, SATA and SCSI
// controllers of a machine, under the rules described in <tavo/simhost/host.h>.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavo/vm/device/cdrom.h>
#include <tavo/vm/device/disk.h>
#include <tavo/vm/device/network.h>
#include <tavo/vm/device/sata_controller.h>
#include <tavo/vm/device/scsi_controller.h>

#include "inventory.h"
#include "refusal.h"

namespace Tavo::SimHost {

namespace CdromSvc = Vm::Device::CdromSvc;
namespace DiskSvc = Vm::Device::DiskSvc;
namespace NetworkSvc = Vm::Device::NetworkSvc;
namespace SataControllerSvc = Vm::Device::SataControllerSvc;
namespace ScsiControllerSvc = Vm::Device::ScsiControllerSvc;

class CdromService final : public CdromSvc::AsyncServiceInterface {
 public:
  explicit CdromService(std::shared_ptr<HostCore> core);

  void Add(const std::string& vm, std::shared_ptr<const CdromSvc::BackingInfo> backing,
           const std::string& device, std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const CdromSvc::AddMethod::ResultCbType& result) override;
  void List(const std::string& vm, const Quil::OptionalPtr<const CdromSvc::FilterSpec>& filter,
            std::shared_ptr<Quil::Core::AsyncActivation> activation,
            const CdromSvc::ListMethod::ResultCbType& result) override;
  void Delete(const std::string& vm, const std::string& device,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const CdromSvc::DeleteMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors addErrors_ = DeclaredErrors::Of<CdromSvc::AddMethod>();
  const DeclaredErrors listErrors_ = DeclaredErrors::Of<CdromSvc::ListMethod>();
  const DeclaredErrors deleteErrors_ = DeclaredErrors::Of<CdromSvc::DeleteMethod>();
};

class DiskService final : public DiskSvc::AsyncServiceInterface {
 public:
  explicit DiskService(std::shared_ptr<HostCore> core);

  void Add(std::shared_ptr<const DiskSvc::AddSpec> spec,
           std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const DiskSvc::AddMethod::ResultCbType& result) override;
  void List(const std::string& vm, const Quil::OptionalPtr<const DiskSvc::FilterSpec>& filter,
            std::shared_ptr<Quil::Core::AsyncActivation> activation,
            const DiskSvc::ListMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors addErrors_ = DeclaredErrors::Of<DiskSvc::AddMethod>();
  const DeclaredErrors listErrors_ = DeclaredErrors::Of<DiskSvc::ListMethod>();
};

class NetworkService final : public NetworkSvc::AsyncServiceInterface {
 public:
  explicit NetworkService(std::shared_ptr<HostCore> core);

  void Add(std::shared_ptr<const NetworkSvc::AddSpec> spec,
           std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const NetworkSvc::AddMethod::ResultCbType& result) override;
  void List(const std::string& vm, const Quil::OptionalPtr<const NetworkSvc::FilterSpec>& filter,
            std::shared_ptr<Quil::Core::AsyncActivation> activation,
            const NetworkSvc::ListMethod::ResultCbType& result) override;
  void Remove(const std::string& vm, const std::string& device,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const NetworkSvc::RemoveMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors addErrors_ = DeclaredErrors::Of<NetworkSvc::AddMethod>();
  const DeclaredErrors listErrors_ = DeclaredErrors::Of<NetworkSvc::ListMethod>();
  const DeclaredErrors removeErrors_ = DeclaredErrors::Of<NetworkSvc::RemoveMethod>();
};

class SataControllerService final : public SataControllerSvc::AsyncServiceInterface {
 public:
  explicit SataControllerService(std::shared_ptr<HostCore> core);

  void Add(const std::string& vm, const SataControllerSvc::HbaType& hbaType,
           const std::int64_t& controllerNumber,
           std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const SataControllerSvc::AddMethod::ResultCbType& result) override;
  void Update(const std::string& vm, const SataControllerSvc::HbaType& hbaType,
              const std::int64_t& controllerNumber,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const SataControllerSvc::UpdateMethod::ResultCbType& result) override;
  void Delete(const std::string& vm, const std::int64_t& controllerNumber,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const SataControllerSvc::DeleteMethod::ResultCbType& result) override;
  void List(const std::string& vm,
            const Quil::OptionalPtr<const SataControllerSvc::FilterSpec>& filter,
            std::shared_ptr<Quil::Core::AsyncActivation> activation,
            const SataControllerSvc::ListMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors addErrors_ = DeclaredErrors::Of<SataControllerSvc::AddMethod>();
  const DeclaredErrors updateErrors_ = DeclaredErrors::Of<SataControllerSvc::UpdateMethod>();
  const DeclaredErrors deleteErrors_ = DeclaredErrors::Of<SataControllerSvc::DeleteMethod>();
  const DeclaredErrors listErrors_ = DeclaredErrors::Of<SataControllerSvc::ListMethod>();
};

class ScsiControllerService final : public ScsiControllerSvc::AsyncServiceInterface {
 public:
  explicit ScsiControllerService(std::shared_ptr<HostCore> core);

  void Add(const std::string& vmId, const ScsiControllerSvc::HbaType& hbaType,
           const std::int64_t& controllerNumber,
           std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const ScsiControllerSvc::AddMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors addErrors_ = DeclaredErrors::Of<ScsiControllerSvc::AddMethod>();
};

}  // namespace Tavo::SimHost
