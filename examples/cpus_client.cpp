// The short example: a client calls the in-memory cpus service of cpus_server.h through the
// service's typed stub and an in-process API provider, prints what every call answered, and exits
// with 0 only when each answer was the expected one. (host_demo.cpp drives all ten services.)
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include <boost/optional.hpp>

#include <quil/client/future_result.h>
#include <quil/core/activation.h>
#include <quil/error_names.h>
#include <quil/provider/api_provider.h>
#include <quil/stub/invoker.h>

#include "cpus_server.h"

namespace {

namespace CpusSvc = Example::CpusSvc;
using InfoPtr = std::shared_ptr<const CpusSvc::Info>;

// Blocking calls: the in-process provider answers before the stub returns.
Quil::Client::Reply<InfoPtr> Get(CpusSvc::AsyncServiceStub& cpus, const std::string& vm) {
  auto [result, answer] = Quil::Client::MakeFutureResult<InfoPtr>();
  cpus.Get(vm, nullptr, result);
  return answer.get();
}

Quil::Client::Reply<Quil::Void> Update(CpusSvc::AsyncServiceStub& cpus, const std::string& vm,
                                       boost::optional<std::int64_t> count,
                                       boost::optional<std::int64_t> coresPerSocket) {
  auto spec = std::make_shared<CpusSvc::UpdateSpec>();
  spec->count = count;
  spec->coresPerSocket = coresPerSocket;
  auto [result, answer] = Quil::Client::MakeFutureResult<Quil::Void>();
  cpus.Update(vm, spec, nullptr, result);
  return answer.get();
}

void Print(const Quil::Data::ErrorValuePtr& error) {
  if (error == nullptr) {
    std::printf("no answer\n");
    return;
  }
  // The error's name, then each message as the caller reads it: identifier and rendered text.
  const std::string_view name = error->GetName();
  std::printf("%.*s\n", static_cast<int>(name.size()), name.data());
  for (const Quil::BaseMessage& message : error->GetMessages()) {
    std::printf("    [%s] %s\n", message.id.c_str(), message.defaultMessage.c_str());
  }
}

void Print(const Quil::Client::Reply<InfoPtr>& reply) {
  if (!reply.ok()) return Print(reply.error());
  const CpusSvc::Info& info = *reply.value();
  std::printf("%lld CPUs, %lld cores per socket, hot add %s, hot remove %s\n",
              static_cast<long long>(info.count), static_cast<long long>(info.coresPerSocket),
              info.hotAddEnabled ? "on" : "off", info.hotRemoveEnabled ? "on" : "off");
}

void Print(const Quil::Client::Reply<Quil::Void>& reply) {
  if (!reply.ok()) return Print(reply.error());
  std::printf("done\n");
}

// True when `error` is named `name` and carries a message `messageId`.
bool IsError(const Quil::Data::ErrorValuePtr& error, std::string_view name,
             const std::string& messageId) {
  if (error == nullptr || error->GetName() != name) return false;
  for (const Quil::BaseMessage& message : error->GetMessages()) {
    if (message.id == messageId) return true;
  }
  return false;
}

}  // namespace

int main() {
  // Server side: one machine with four CPUs in two sockets.
  Quil::Provider::LocalApiProvider provider;
  CpusSvc::Info vm1;
  vm1.count = 4;
  vm1.coresPerSocket = 2;
  vm1.hotAddEnabled = true;
  if (!Example::ServeCpus(provider, {{"vm-1", vm1}})) return 1;

  // Client side: calls without an activation of their own take a copy of these defaults.
  Quil::Core::AsyncActivation defaults;
  CpusSvc::AsyncServiceStub cpus(std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults));

  bool ok = true;
  std::printf("get vm-1: ");
  auto got = Get(cpus, "vm-1");
  Print(got);
  ok &= got.ok() && got.value()->count == 4;

  std::printf("update vm-1 to 8 CPUs: ");
  auto updated = Update(cpus, "vm-1", 8, boost::none);
  Print(updated);
  ok &= updated.ok();

  std::printf("get vm-1: ");
  got = Get(cpus, "vm-1");
  Print(got);
  ok &= got.ok() && got.value()->count == 8 && got.value()->coresPerSocket == 2;

  std::printf("update vm-1 to 6 CPUs in sockets of 4 cores: ");
  updated = Update(cpus, "vm-1", 6, 4);
  Print(updated);
  ok &= IsError(updated.error(), Quil::ErrorNames::kInvalidArgument,
                "tavo.example.cpus.sockets.uneven");

  std::printf("get vm-9: ");
  got = Get(cpus, "vm-9");
  Print(got);
  ok &= IsError(got.error(), Quil::ErrorNames::kNotFound, "tavo.example.vm.not.found");

  std::printf("%s\n", ok ? "example finished: every call answered as expected" : "example FAILED");
  return ok ? 0 : 1;
}
