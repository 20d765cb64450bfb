// What the simulated host's tests share: a client of the ten services whose blocking calls take one
// line each, a host registered with a provider of its own, and a scratch directory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
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
using Cpus = CpusSvc::AsyncServiceStub;
using Memory = MemorySvc::AsyncServiceStub;
using Cdrom = CdromSvc::AsyncServiceStub;
using Disk = DiskSvc::AsyncServiceStub;
using Network = NetworkSvc::AsyncServiceStub;
using Sata = SataSvc::AsyncServiceStub;
using Scsi = ScsiSvc::AsyncServiceStub;
using Dock = Vm::DockSvc::AsyncServiceStub;
using Power = PowerSvc::AsyncServiceStub;
using Nask = Vm::NaskSvc::AsyncServiceStub;
using Quil::Void;
using Quil::Client::Reply;
using Runtime = PowerSvc::Runtime;
using Texts = std::vector<std::string>;

// "ok" for a success, else the error's name without "com.korvan.quil.std.errors.".
template <typename R>
std::string Outcome(const Reply<R>& reply) {
  constexpr std::string_view kPrefix = "com.korvan.quil.std.errors.";
  if (reply.error() == nullptr) return "ok";
  const std::string_view name = reply.error()->GetName();
  return std::string(name.substr(0, kPrefix.size()) == kPrefix ? name.substr(kPrefix.size())
                                                               : name);
}

// The rendered text of the error's first message; empty when there is none.
inline std::string MessageOf(const Quil::Data::ErrorValuePtr& error) {
  const Quil::MessageList messages = error ? error->GetMessages() : Quil::MessageList();
  return messages.empty() ? "" : messages.front().defaultMessage;
}
template <typename R>
std::string Message(const Reply<R>& reply) {
  return MessageOf(reply.error());
}

// "<outcome>: <message>", for failures.
template <typename R>
std::string Failure(const Reply<R>& reply) {
  return Outcome(reply) + ": " + Message(reply);
}

template <typename R>
R ReplyOf(const Quil::AsyncResult<R>&);  // only named in decltype

// A shared structure filled by `fill`, for specs and filters.
template <typename T, typename Fill>
std::shared_ptr<T> Make(Fill&& fill) {
  auto made = std::make_shared<T>();
  fill(*made);
  return made;
}

// Every call goes through the stubs; one client per thread, since calls without an activation
// share the client's default one.
class Client {
 public:
  explicit Client(Quil::Provider::ApiProvider& provider)
      : apiStub_(std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults_)),
        stubs_(Cpus(apiStub_), Memory(apiStub_), Cdrom(apiStub_), Disk(apiStub_), Network(apiStub_),
               Sata(apiStub_), Scsi(apiStub_), Dock(apiStub_), Power(apiStub_), Nask(apiStub_)) {}

  template <typename Stub>
  Stub& stub() {
    return std::get<Stub>(stubs_);
  }

  // Calls `operation` with `args`, the default activation and a result object; waits for the reply.
  template <typename Stub, typename... Params, typename... Args>
  auto Await(void (Stub::*operation)(Params...), Args&&... args) {
    using Result = std::tuple_element_t<sizeof...(Params) - 1, std::tuple<Params...>>;
    auto [result, answer] =
        Quil::Client::MakeFutureResult<decltype(ReplyOf(std::declval<Result>()))>();
    (stub<Stub>().*operation)(std::forward<Args>(args)..., nullptr, result);
    return answer.get();
  }

  Reply<Void> Create(const std::string& vm) {
    return Await(&Nask::Create, Make<Vm::NaskSvc::CreateSpec>([&](auto& s) {
      s.vm = vm;
      s.guestOS = "linux";
    }));
  }
  Reply<Void> UpdateCpus(const std::string& vm, boost::optional<std::int64_t> count,
                         boost::optional<std::int64_t> coresPerSocket = boost::none,
                         boost::optional<bool> hotAdd = boost::none) {
    return Await(&Cpus::Update, vm, Make<CpusSvc::UpdateSpec>([&](auto& s) {
      s.count = count;
      s.coresPerSocket = coresPerSocket;
      s.hotAddEnabled = hotAdd;
    }));
  }
  Reply<Void> UpdateMemory(const std::string& vm, boost::optional<std::int64_t> size,
                           boost::optional<bool> hotAdd = boost::none) {
    return Await(&Memory::Update, vm, Make<MemorySvc::UpdateSpec>([&](auto& s) {
      s.size = size;
      s.hotAddEnabled = hotAdd;
    }));
  }
  // An IMAGE drive of `iso` (empty when none) in `device`, or the first free slot.
  Reply<std::string> AddCdrom(const std::string& vm, boost::optional<std::string> iso = boost::none,
                              const std::string& device = "") {
    return Await(&Cdrom::Add, vm, Make<CdromSvc::BackingInfo>([&](auto& b) {
      b.type = CdromSvc::BackingType::IMAGE;
      b.isoFile = iso;
    }),
                 device);
  }
  Reply<std::string> AddDisk(const std::string& vm, const std::string& disk,
                             const std::string& device = "") {
    return Await(&Disk::Add, Make<DiskSvc::AddSpec>([&](auto& s) {
      s.vm = vm;
      s.disk = disk;
      s.device = device;
    }));
  }
  Reply<Void> AddAdapter(const std::string& vm, const std::string& network,
                         NetworkSvc::VirtualDev adapter = NetworkSvc::VirtualDev::E1000,
                         const std::string& device = "") {
    return Await(&Network::Add, Make<NetworkSvc::AddSpec>([&](auto& s) {
      s.vm = vm;
      s.network = network;
      s.adapter = adapter;
      s.device = device;
    }));
  }

 private:
  Quil::Core::AsyncActivation defaults_;
  std::shared_ptr<Quil::Stub::AsyncApiStub> apiStub_;
  std::tuple<Cpus, Memory, Cdrom, Disk, Network, Sata, Scsi, Dock, Power, Nask> stubs_;
};

// A host registered with a provider of its own, and a client over that provider.
struct Deployment {
  explicit Deployment(Tavo::SimHost::HostOptions options = {}) : host(options) {
    EXPECT_TRUE(host.RegisterWith(provider));
  }

  Tavo::SimHost::Host host;
  Quil::Provider::LocalApiProvider provider;
  Client client{provider};
};

// A copy of the machine `vm` as the host holds it now; a default record after a failed assertion
// when there is none.
inline Tavo::SimHost::MachineRecord Machine(const Tavo::SimHost::Host& host,
                                            const std::string& vm) {
  const Tavo::SimHost::InventorySnapshot snapshot = host.Snapshot();
  const Tavo::SimHost::MachineRecord* machine = snapshot.Find(vm);
  EXPECT_NE(machine, nullptr) << vm;
  return machine != nullptr ? *machine : Tavo::SimHost::MachineRecord{};
}

// `label(item)` for each item of a list, in order.
template <typename List, typename Label>
Texts Labels(const List& list, Label&& label) {
  Texts texts;
  for (const auto& each : list) texts.push_back(label(*each));
  return texts;
}

inline std::string Contents(const std::filesystem::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A directory of its own under the system's temporary directory, removed at the end.
class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavo-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
};

}  // namespace SimHostTesting
