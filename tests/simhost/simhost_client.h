// What the simulated host's tests share: a client of the ten services over an API provider, whose
// blocking calls each take one line, and a host registered with a provider of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include <quil/client/future_result.h>
#include <quil/core/activation.h>
#include <quil/provider/api_provider.h>
#include <quil/stub/invoker.h>
#include <quil/types.h>

#include <tavo/simhost/host.h>

namespace SimHostTesting {

namespace Vm = ::Com::Korvan::Tavo::Vm;
namespace CpusSvc = Vm::Compute::CpusSvc;
namespace MemorySvc = Vm::Compute::MemorySvc;
namespace CdromSvc = Vm::Device::CdromSvc;
namespace DiskSvc = Vm::Device::DiskSvc;
namespace NetworkSvc = Vm::Device::NetworkSvc;
namespace SataSvc = Vm::Device::SataControllerSvc;
namespace ScsiSvc = Vm::Device::ScsiControllerSvc;
namespace PowerSvc = Vm::PowerSvc;
using Quil::Void;
using Quil::Client::Reply;
using Runtime = PowerSvc::Runtime;

// "ok" for a success, else the error's name without "com.korvan.quil.std.errors.".
std::string OutcomeOf(const Quil::Data::ErrorValuePtr& error);
template <typename R>
std::string Outcome(const Reply<R>& reply) {
  return OutcomeOf(reply.error());
}

// The rendered text of the error's first message; empty when there is none.
std::string MessageOf(const Quil::Data::ErrorValuePtr& error);
template <typename R>
std::string Message(const Reply<R>& reply) {
  return MessageOf(reply.error());
}

using Texts = std::vector<std::string>;

// Every call goes through the stubs; one client per thread, since calls without an activation
// share the client's default one.
class Client {
 public:
  explicit Client(Quil::Provider::ApiProvider& provider);

  Reply<Void> Create(const std::string& vm, const std::string& guestOS = "linux",
                     boost::optional<std::string> hwVersion = boost::none);
  Reply<Void> Delete(const std::string& vm);
  Reply<Void> Load(const std::string& vm);

  Reply<Runtime> Power(const std::string& vm);
  Reply<Void> SwitchOn(const std::string& vm, boost::optional<bool> paused = boost::none,
                       boost::optional<bool> soft = boost::none);
  Reply<Void> SwitchOff(const std::string& vm);
  Reply<Void> Reset(const std::string& vm);
  Reply<Void> Suspend(const std::string& vm);

  Reply<std::shared_ptr<const CpusSvc::Info>> Cpus(const std::string& vm);
  Reply<Void> UpdateCpus(const std::string& vm, boost::optional<std::int64_t> count,
                         boost::optional<std::int64_t> coresPerSocket = boost::none,
                         boost::optional<bool> hotAdd = boost::none,
                         boost::optional<bool> hotRemove = boost::none);
  Reply<std::shared_ptr<const MemorySvc::Properties>> Memory(const std::string& vm);
  Reply<Void> UpdateMemory(const std::string& vm, boost::optional<std::int64_t> size,
                           boost::optional<bool> hotAdd = boost::none);

  // An IMAGE backing when `isoFile` is given or `type` is IMAGE, else `deviceName`'s.
  Reply<std::string> AddCdrom(const std::string& vm, CdromSvc::BackingType type,
                              boost::optional<std::string> name, const std::string& device = "");
  Reply<CdromSvc::ListMethod::ResultType> ListCdroms(
      const std::string& vm, Quil::OptionalPtr<const CdromSvc::FilterSpec> filter = {});
  Reply<Void> DeleteCdrom(const std::string& vm, const std::string& device);

  Reply<std::string> AddDisk(const std::string& vm, const std::string& disk,
                             const std::string& device = "");
  Reply<std::shared_ptr<const DiskSvc::ListResult>> ListDisks(
      const std::string& vm, Quil::OptionalPtr<const DiskSvc::FilterSpec> filter = {});

  Reply<Void> AddAdapter(const std::string& vm, const std::string& network,
                         NetworkSvc::VirtualDev adapter, const std::string& device = "");
  Reply<std::shared_ptr<const NetworkSvc::ListResult>> ListAdapters(
      const std::string& vm, Quil::OptionalPtr<const NetworkSvc::FilterSpec> filter = {});
  Reply<Void> RemoveAdapter(const std::string& vm, const std::string& device);

  Reply<Void> AddSata(const std::string& vm, std::int64_t number,
                      SataSvc::HbaType type = SataSvc::HbaType::AHCI);
  Reply<Void> UpdateSata(const std::string& vm, std::int64_t number,
                         SataSvc::HbaType type = SataSvc::HbaType::AHCI);
  Reply<Void> DeleteSata(const std::string& vm, std::int64_t number);
  Reply<SataSvc::ListMethod::ResultType> ListSata(
      const std::string& vm, Quil::OptionalPtr<const SataSvc::FilterSpec> filter = {});

  Reply<Void> AddScsi(const std::string& vm, std::int64_t number,
                      ScsiSvc::HbaType type = ScsiSvc::HbaType::LSILOGIC);

 private:
  Quil::Core::AsyncActivation defaults_;
  std::shared_ptr<Quil::Stub::AsyncApiStub> apiStub_;
  CpusSvc::AsyncServiceStub cpus_;
  MemorySvc::AsyncServiceStub memory_;
  CdromSvc::AsyncServiceStub cdrom_;
  DiskSvc::AsyncServiceStub disk_;
  NetworkSvc::AsyncServiceStub network_;
  SataSvc::AsyncServiceStub sata_;
  ScsiSvc::AsyncServiceStub scsi_;
  Vm::DockSvc::AsyncServiceStub dock_;
  PowerSvc::AsyncServiceStub power_;
  Vm::NaskSvc::AsyncServiceStub nask_;
};

// A host registered with a provider of its own, and a client over that provider.
struct Deployment {
  explicit Deployment(Tavo::SimHost::HostOptions options = {});

  Tavo::SimHost::Host host;
  Quil::Provider::LocalApiProvider provider;
  Client client{provider};
};

// A copy of the machine `vm` as the host holds it now; a default record (with an empty
// identifier) after a failed test assertion when there is none.
Tavo::SimHost::MachineRecord Machine(const Tavo::SimHost::Host& host, const std::string& vm);

// The identifiers or labels in a list answer, in order.
Texts Identifiers(const CdromSvc::ListMethod::ResultType& list);
Texts Identifiers(const DiskSvc::ListResult& list);
Texts Identifiers(const NetworkSvc::ListResult& list);  // "<device>@<network>"
Texts Identifiers(const SataSvc::ListMethod::ResultType& list);

}  // namespace SimHostTesting
