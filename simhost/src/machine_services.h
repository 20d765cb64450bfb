// The services of the simulated host that act on whole machines: power, nask (create and delete)
// and dock (load), under the rules described in <tavo/simhost/host.h>.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include <boost/optional.hpp>

#include <tavo/vm/dock.h>
#include <tavo/vm/nask.h>
#include <tavo/vm/power.h>

#include "inventory.h"
#include "refusal.h"

namespace Tavo::SimHost {

namespace PowerSvc = Vm::PowerSvc;
namespace NaskSvc = Vm::NaskSvc;
namespace DockSvc = Vm::DockSvc;

class PowerService final : public PowerSvc::AsyncServiceInterface {
 public:
  explicit PowerService(std::shared_ptr<HostCore> core);

  void Get(const std::string& vmId, std::shared_ptr<Quil::Core::AsyncActivation> activation,
           const PowerSvc::GetMethod::ResultCbType& result) override;
  void SwitchOn(const std::string& vmId, const boost::optional<bool>& paused,
                const boost::optional<bool>& soft,
                std::shared_ptr<Quil::Core::AsyncActivation> activation,
                const PowerSvc::SwitchOnMethod::ResultCbType& result) override;
  void SwitchOff(const std::string& vmId, std::shared_ptr<Quil::Core::AsyncActivation> activation,
                 const PowerSvc::SwitchOffMethod::ResultCbType& result) override;
  void Reset(const std::string& vmId, std::shared_ptr<Quil::Core::AsyncActivation> activation,
             const PowerSvc::ResetMethod::ResultCbType& result) override;
  void Suspend(const std::string& vmId, std::shared_ptr<Quil::Core::AsyncActivation> activation,
               const PowerSvc::SuspendMethod::ResultCbType& result) override;

 private:
  // Moves the machine from one of the `from` states to `to`.
  void Transition(const std::string& vmId, std::initializer_list<Runtime::Enum> from,
                  Runtime::Enum to, std::string_view action, const DeclaredErrors& errors,
                  const Quil::AsyncResult<Quil::Void>& result);

  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors getErrors_ = DeclaredErrors::Of<PowerSvc::GetMethod>();
  const DeclaredErrors switchOnErrors_ = DeclaredErrors::Of<PowerSvc::SwitchOnMethod>();
  const DeclaredErrors switchOffErrors_ = DeclaredErrors::Of<PowerSvc::SwitchOffMethod>();
  const DeclaredErrors resetErrors_ = DeclaredErrors::Of<PowerSvc::ResetMethod>();
  const DeclaredErrors suspendErrors_ = DeclaredErrors::Of<PowerSvc::SuspendMethod>();
};

class NaskService final : public NaskSvc::AsyncServiceInterface {
 public:
  explicit NaskService(std::shared_ptr<HostCore> core);

  void Create(std::shared_ptr<const NaskSvc::CreateSpec> spec,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const NaskSvc::CreateMethod::ResultCbType& result) override;
  void Delete(const std::string& vm, std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const NaskSvc::DeleteMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors createErrors_ = DeclaredErrors::Of<NaskSvc::CreateMethod>();
  const DeclaredErrors deleteErrors_ = DeclaredErrors::Of<NaskSvc::DeleteMethod>();
};

class DockService final : public DockSvc::AsyncServiceInterface {
 public:
  explicit DockService(std::shared_ptr<HostCore> core);

  void Load(const std::string& vmId, std::shared_ptr<Quil::Core::AsyncActivation> activation,
            const DockSvc::LoadMethod::ResultCbType& result) override;

 private:
  const std::shared_ptr<HostCore> core_;
  const DeclaredErrors loadErrors_ = DeclaredErrors::Of<DockSvc::LoadMethod>();
};

}  // namespace Tavo::SimHost
