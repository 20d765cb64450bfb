#include "demo_scenario.h"

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <boost/optional.hpp>

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

#include <quil/client/future_result.h>
#include <quil/core/activation.h>
#include <quil/std/errors.h>
#include <quil/stub/invoker.h>

namespace TavoDemo {
namespace {

namespace Vm = Com::Korvan::Tavo::Vm;
namespace CpusSvc = Vm::Compute::CpusSvc;
namespace MemorySvc = Vm::Compute::MemorySvc;
namespace CdromSvc = Vm::Device::CdromSvc;
namespace DiskSvc = Vm::Device::DiskSvc;
namespace NetworkSvc = Vm::Device::NetworkSvc;
namespace SataSvc = Vm::Device::SataControllerSvc;
namespace ScsiSvc = Vm::Device::ScsiControllerSvc;
namespace NaskSvc = Vm::NaskSvc;
namespace PowerSvc = Vm::PowerSvc;
namespace DockSvc = Vm::DockSvc;
namespace Errors = Com::Korvan::Quil::Std::Errors;
using Quil::Void;
using Quil::Client::Reply;
using CpusInfo = std::shared_ptr<const CpusSvc::Info>;
using MemoryInfo = std::shared_ptr<const MemorySvc::Properties>;
using Cdroms = CdromSvc::ListMethod::ResultType;
using CdromFilter = Quil::OptionalPtr<const CdromSvc::FilterSpec>;

// One stub per service, all over one API stub. Calls that pass no activation of their own take a
// copy of `defaults`, which the API stub refers to and which is therefore declared before it.
struct Stubs {
  explicit Stubs(Quil::Provider::ApiProvider& provider)
      : api(std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults)) {}

  Quil::Core::AsyncActivation defaults;
  std::shared_ptr<Quil::Stub::AsyncApiStub> api;
  NaskSvc::AsyncServiceStub nask{api};
  PowerSvc::AsyncServiceStub power{api};
  CpusSvc::AsyncServiceStub cpus{api};
  MemorySvc::AsyncServiceStub memory{api};
  SataSvc::AsyncServiceStub sata{api};
  ScsiSvc::AsyncServiceStub scsi{api};
  DiskSvc::AsyncServiceStub disk{api};
  NetworkSvc::AsyncServiceStub network{api};
  CdromSvc::AsyncServiceStub cdrom{api};
  DockSvc::AsyncServiceStub dock{api};
};

// Makes the call `call(result)` and waits for its answer, whichever thread delivers it.
template <typename R, typename Call>
Reply<R> Await(Call&& call) {
  auto [result, answer] = Quil::Client::MakeFutureResult<R>();
  call(result);
  return answer.get();
}

std::string Describe(const Quil::Data::ErrorValuePtr& error) {
  return error == nullptr ? "an answer with neither value nor error"
                          : std::string(error->GetName());
}

// The transcript: one numbered line per step, and the count of steps that went wrong.
class Transcript {
 public:
  // A step that should succeed: prints `describe(value)`; right when `check(value)` holds.
  template <typename R, typename DescribeValue, typename Check>
  void Expect(const std::string& asked, const Reply<R>& reply, DescribeValue describe,
              Check check) {
    if (!reply.ok()) {
      Line(asked, "FAILED with " + Describe(reply.error()), false);
      PrintMessages(reply.error());
      return;
    }
    const bool right = check(reply.value());
    Line(asked, describe(reply.value()) + (right ? "" : "  (NOT what was expected)"), right);
  }

  void Expect(const std::string& asked, const Reply<Void>& reply) {
    Expect(
        asked, reply, [](const Void&) { return std::string("done"); },
        [](const Void&) { return true; });
  }

  // A step that should be refused with the error `errorName`: prints the error and its messages.
  template <typename R>
  void ExpectRefusal(const std::string& asked, const Reply<R>& reply, std::string_view errorName) {
    if (reply.ok()) {
      Line(asked, "accepted, though it should have been refused", false);
      return;
    }
    const Quil::Data::ErrorValuePtr& error = reply.error();
    // A refusal that says nothing about why is not the expected answer either.
    const bool right =
        error != nullptr && error->GetName() == errorName && !error->GetMessages().empty();
    Line(asked,
         std::string(right ? "refused, as expected: " : "refused, WRONGLY: ") + Describe(error),
         right);
    PrintMessages(error);
  }

  int failures() const { return failures_; }
  int steps() const { return steps_; }

 private:
  void Line(const std::string& asked, const std::string& answer, bool right) {
    ++steps_;
    if (!right) ++failures_;
    std::printf("%2d. %s: %s\n", steps_, asked.c_str(), answer.c_str());
  }

  // Each message as the caller reads it: its identifier and its rendered text.
  static void PrintMessages(const Quil::Data::ErrorValuePtr& error) {
    if (error == nullptr) return;
    for (const Quil::BaseMessage& message : error->GetMessages()) {
      std::printf("      [%s] %s\n", message.id.c_str(), message.defaultMessage.c_str());
    }
  }

  int steps_ = 0;
  int failures_ = 0;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string DescribeCpus(const CpusInfo& info) {
  return std::to_string(info->count) + " CPUs, " + std::to_string(info->coresPerSocket) +
         " cores per socket, hot add " + (info->hotAddEnabled ? "on" : "off") + ", hot remove " +
         (info->hotRemoveEnabled ? "on" : "off");
}

std::string DescribeMemory(const MemoryInfo& memory) {
  return std::to_string(memory->size) + " MiB, hot add " + (memory->hotAddEnabled ? "on" : "off");
}

std::string DescribeState(const PowerSvc::Runtime& state) { return state.ToText(); }

std::string DescribeCdroms(const Cdroms& cdroms) {
  std::string text = std::to_string(cdroms.size()) + (cdroms.size() == 1 ? " CD-ROM" : " CD-ROMs");
  for (const auto& cdrom : cdroms) {
    text += ", " + cdrom->cdrom + " (" + cdrom->backingType.ToText() + ") on " + cdrom->device;
  }
  return text;
}

// The whole scenario. Each call is one line: the stub's operation with its parameters, no
// activation of its own (nullptr: the stub's defaults) and the result object that Await waits on.
void Run(Stubs& stubs, Transcript& transcript, const std::string& vm) {
  const auto done = [](const auto&) { return true; };

  auto machine = std::make_shared<NaskSvc::CreateSpec>();
  machine->vm = vm;
  machine->guestOS = "debian12_64";
  auto created = Await<Void>([&](auto& r) { stubs.nask.Create(machine, nullptr, r); });
  transcript.Expect("nask create " + vm + " (guest OS " + machine->guestOS + ")", created);

  auto cpus = std::make_shared<CpusSvc::UpdateSpec>();
  cpus->count = 4;
  cpus->coresPerSocket = 2;
  cpus->hotAddEnabled = true;
  auto cpusSet = Await<Void>([&](auto& r) { stubs.cpus.Update(vm, cpus, nullptr, r); });
  transcript.Expect("cpus update to 4 CPUs in sockets of 2 cores, hot add on", cpusSet);
  auto cpusRead = Await<CpusInfo>([&](auto& r) { stubs.cpus.Get(vm, nullptr, r); });
  transcript.Expect("cpus get", cpusRead, DescribeCpus, [](const CpusInfo& info) {
    return info->count == 4 && info->coresPerSocket == 2 && info->hotAddEnabled &&
           !info->hotRemoveEnabled;
  });

  auto memory = std::make_shared<MemorySvc::UpdateSpec>();
  memory->size = 4096;
  memory->hotAddEnabled = true;
  auto memorySet = Await<Void>([&](auto& r) { stubs.memory.Update(vm, memory, nullptr, r); });
  transcript.Expect("memory update to 4096 MiB, hot add on", memorySet);
  auto memoryRead = Await<MemoryInfo>([&](auto& r) { stubs.memory.Get(vm, nullptr, r); });
  transcript.Expect("memory get", memoryRead, DescribeMemory, [](const MemoryInfo& properties) {
    return properties->size == 4096 && properties->hotAddEnabled;
  });

  auto sata =
      Await<Void>([&](auto& r) { stubs.sata.Add(vm, SataSvc::HbaType::AHCI, 0, nullptr, r); });
  transcript.Expect("sata_controller add controller 0 (AHCI)", sata);
  auto scsi =
      Await<Void>([&](auto& r) { stubs.scsi.Add(vm, ScsiSvc::HbaType::LSILOGIC, 0, nullptr, r); });
  transcript.Expect("scsi_controller add controller 0 (LSILOGIC)", scsi);

  auto disk = std::make_shared<DiskSvc::AddSpec>();
  disk->vm = vm;
  disk->disk = "demo-vm-system";
  disk->device = "scsi0:0";
  auto diskAdded = Await<std::string>([&](auto& r) { stubs.disk.Add(disk, nullptr, r); });
  transcript.Expect("disk add " + disk->disk + " on " + disk->device, diskAdded, Quoted,
                    [&](const std::string& name) { return name == disk->disk; });

  auto adapter = std::make_shared<NetworkSvc::AddSpec>();
  adapter->vm = vm;
  adapter->network = "vm-network";
  adapter->adapter = NetworkSvc::VirtualDev::E1000E;
  auto adapterAdded = Await<Void>([&](auto& r) { stubs.network.Add(adapter, nullptr, r); });
  transcript.Expect("network add an E1000E adapter on " + adapter->network + ", first free slot",
                    adapterAdded);

  auto image = std::make_shared<CdromSvc::BackingInfo>();
  image->type = CdromSvc::BackingType::IMAGE;
  image->isoFile = "/isos/debian-12-netinst.iso";
  auto imageAdded =
      Await<std::string>([&](auto& r) { stubs.cdrom.Add(vm, image, "sata0:0", nullptr, r); });
  transcript.Expect("cdrom add " + *image->isoFile + " on sata0:0", imageAdded, Quoted, done);
  const std::string imageCdrom = imageAdded.ok() ? imageAdded.value() : "";
  auto drive = std::make_shared<CdromSvc::BackingInfo>();
  drive->type = CdromSvc::BackingType::ATAPI;
  drive->deviceName = "/dev/sr0";
  auto driveAdded =
      Await<std::string>([&](auto& r) { stubs.cdrom.Add(vm, drive, "", nullptr, r); });
  transcript.Expect("cdrom add host drive " + *drive->deviceName + ", first free slot", driveAdded,
                    Quoted, [&](const std::string& id) { return id != imageCdrom; });

  auto on =
      Await<Void>([&](auto& r) { stubs.power.SwitchOn(vm, boost::none, boost::none, nullptr, r); });
  transcript.Expect("power switch_on", on);
  auto state = Await<PowerSvc::Runtime>([&](auto& r) { stubs.power.Get(vm, nullptr, r); });
  transcript.Expect("power get", state, DescribeState,
                    [](const PowerSvc::Runtime& now) { return now == PowerSvc::Runtime::RUNNING; });

  auto imagesOnly = std::make_shared<CdromSvc::FilterSpec>();
  imagesOnly->backingTypes = std::set<CdromSvc::BackingType>{CdromSvc::BackingType::IMAGE};
  auto listed =
      Await<Cdroms>([&](auto& r) { stubs.cdrom.List(vm, CdromFilter(imagesOnly), nullptr, r); });
  transcript.Expect("cdrom list, image-backed only", listed, DescribeCdroms,
                    [&](const Cdroms& found) {
                      return found.size() == 1 && found[0]->cdrom == imageCdrom &&
                             found[0]->backingType == CdromSvc::BackingType::IMAGE &&
                             found[0]->device == "sata0:0";
                    });

  // What a running machine refuses, each answered with an error that says why.
  auto deleteRunning = Await<Void>([&](auto& r) { stubs.nask.Delete(vm, nullptr, r); });
  transcript.ExpectRefusal("nask delete " + vm + " while it runs", deleteRunning,
                           Errors::NotAllowedInCurrentState::kWireName);
  auto smaller = std::make_shared<MemorySvc::UpdateSpec>();
  smaller->size = 2048;
  auto shrunk = Await<Void>([&](auto& r) { stubs.memory.Update(vm, smaller, nullptr, r); });
  transcript.ExpectRefusal("memory update to 2048 MiB while it runs", shrunk,
                           Errors::NotAllowedInCurrentState::kWireName);

  auto off = Await<Void>([&](auto& r) { stubs.power.SwitchOff(vm, nullptr, r); });
  transcript.Expect("power switch_off", off);
  state = Await<PowerSvc::Runtime>([&](auto& r) { stubs.power.Get(vm, nullptr, r); });
  transcript.Expect("power get", state, DescribeState,
                    [](const PowerSvc::Runtime& now) { return now == PowerSvc::Runtime::STOPPED; });
  auto loaded = Await<Void>([&](auto& r) { stubs.dock.Load(vm, nullptr, r); });
  transcript.Expect("dock load " + vm + " (its configuration, now that it is stopped)", loaded);
  auto deleted = Await<Void>([&](auto& r) { stubs.nask.Delete(vm, nullptr, r); });
  transcript.Expect("nask delete " + vm, deleted);
  state = Await<PowerSvc::Runtime>([&](auto& r) { stubs.power.Get(vm, nullptr, r); });
  transcript.ExpectRefusal("power get after the delete", state, Errors::NotFound::kWireName);
}

}  // namespace

ScenarioOutcome RunScenario(Quil::Provider::ApiProvider& provider, const std::string& vm) {
  Stubs stubs(provider);
  Transcript transcript;
  Run(stubs, transcript, vm);
  return {transcript.steps(), transcript.failures()};
}

int Report(const ScenarioOutcome& outcome) {
  if (outcome.failures != 0) {
    std::printf("demo FAILED: %d of %d steps did not answer as they should\n", outcome.failures,
                outcome.steps);
    return 1;
  }
  std::printf("demo finished: all %d steps answered as they should\n", outcome.steps);
  return 0;
}

}  // namespace TavoDemo
