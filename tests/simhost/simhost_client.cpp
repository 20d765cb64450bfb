#include "simhost/simhost_client.h"

#include <string_view>
#include <utility>

#include <gtest/gtest.h>

namespace SimHostTesting {
namespace {

// One blocking call: `invoke` receives the result object and starts the call.
template <typename R, typename Invoke>
Reply<R> Call(Invoke&& invoke) {
  auto [result, answer] = Quil::Client::MakeFutureResult<R>();
  invoke(result);
  return answer.get();
}

}  // namespace

std::string OutcomeOf(const Quil::Data::ErrorValuePtr& error) {
  constexpr std::string_view kPrefix = "com.korvan.quil.std.errors.";
  if (error == nullptr) return "ok";
  const std::string& name = error->GetName();
  return name.compare(0, kPrefix.size(), kPrefix) == 0 ? name.substr(kPrefix.size()) : name;
}

std::string MessageOf(const Quil::Data::ErrorValuePtr& error) {
  if (error == nullptr) return "";
  const Quil::MessageList messages = error->GetMessages();
  return messages.empty() ? "" : messages.front().defaultMessage;
}

Client::Client(Quil::Provider::ApiProvider& provider)
    : apiStub_(std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults_)),
      cpus_(apiStub_),
      memory_(apiStub_),
      cdrom_(apiStub_),
      disk_(apiStub_),
      network_(apiStub_),
      sata_(apiStub_),
      scsi_(apiStub_),
      dock_(apiStub_),
      power_(apiStub_),
      nask_(apiStub_) {}

Reply<Void> Client::Create(const std::string& vm, const std::string& guestOS,
                           boost::optional<std::string> hwVersion) {
  auto spec = std::make_shared<Vm::NaskSvc::CreateSpec>();
  spec->vm = vm;
  spec->guestOS = guestOS;
  spec->hwVersion = std::move(hwVersion);
  return Call<Void>([&](const auto& result) { nask_.Create(spec, nullptr, result); });
}

Reply<Void> Client::Delete(const std::string& vm) {
  return Call<Void>([&](const auto& result) { nask_.Delete(vm, nullptr, result); });
}

Reply<Void> Client::Load(const std::string& vm) {
  return Call<Void>([&](const auto& result) { dock_.Load(vm, nullptr, result); });
}

Reply<Runtime> Client::Power(const std::string& vm) {
  return Call<Runtime>([&](const auto& result) { power_.Get(vm, nullptr, result); });
}

Reply<Void> Client::SwitchOn(const std::string& vm, boost::optional<bool> paused,
                             boost::optional<bool> soft) {
  return Call<Void>(
      [&](const auto& result) { power_.SwitchOn(vm, paused, soft, nullptr, result); });
}

Reply<Void> Client::SwitchOff(const std::string& vm) {
  return Call<Void>([&](const auto& result) { power_.SwitchOff(vm, nullptr, result); });
}

Reply<Void> Client::Reset(const std::string& vm) {
  return Call<Void>([&](const auto& result) { power_.Reset(vm, nullptr, result); });
}

Reply<Void> Client::Suspend(const std::string& vm) {
  return Call<Void>([&](const auto& result) { power_.Suspend(vm, nullptr, result); });
}

Reply<std::shared_ptr<const CpusSvc::Info>> Client::Cpus(const std::string& vm) {
  return Call<std::shared_ptr<const CpusSvc::Info>>(
      [&](const auto& result) { cpus_.Get(vm, nullptr, result); });
}

Reply<Void> Client::UpdateCpus(const std::string& vm, boost::optional<std::int64_t> count,
                               boost::optional<std::int64_t> coresPerSocket,
                               boost::optional<bool> hotAdd, boost::optional<bool> hotRemove) {
  auto spec = std::make_shared<CpusSvc::UpdateSpec>();
  spec->count = count;
  spec->coresPerSocket = coresPerSocket;
  spec->hotAddEnabled = hotAdd;
  spec->hotRemoveEnabled = hotRemove;
  return Call<Void>([&](const auto& result) { cpus_.Update(vm, spec, nullptr, result); });
}

Reply<std::shared_ptr<const MemorySvc::Properties>> Client::Memory(const std::string& vm) {
  return Call<std::shared_ptr<const MemorySvc::Properties>>(
      [&](const auto& result) { memory_.Get(vm, nullptr, result); });
}

Reply<Void> Client::UpdateMemory(const std::string& vm, boost::optional<std::int64_t> size,
                                 boost::optional<bool> hotAdd) {
  auto spec = std::make_shared<MemorySvc::UpdateSpec>();
  spec->size = size;
  spec->hotAddEnabled = hotAdd;
  return Call<Void>([&](const auto& result) { memory_.Update(vm, spec, nullptr, result); });
}

Reply<std::string> Client::AddCdrom(const std::string& vm, CdromSvc::BackingType type,
                                    boost::optional<std::string> name, const std::string& device) {
  auto backing = std::make_shared<CdromSvc::BackingInfo>();
  backing->type = type;
  (type == CdromSvc::BackingType::IMAGE ? backing->isoFile : backing->deviceName) = std::move(name);
  return Call<std::string>(
      [&](const auto& result) { cdrom_.Add(vm, backing, device, nullptr, result); });
}

Reply<CdromSvc::ListMethod::ResultType> Client::ListCdroms(
    const std::string& vm, Quil::OptionalPtr<const CdromSvc::FilterSpec> filter) {
  return Call<CdromSvc::ListMethod::ResultType>(
      [&](const auto& result) { cdrom_.List(vm, filter, nullptr, result); });
}

Reply<Void> Client::DeleteCdrom(const std::string& vm, const std::string& device) {
  return Call<Void>([&](const auto& result) { cdrom_.Delete(vm, device, nullptr, result); });
}

Reply<std::string> Client::AddDisk(const std::string& vm, const std::string& disk,
                                   const std::string& device) {
  auto spec = std::make_shared<DiskSvc::AddSpec>();
  spec->vm = vm;
  spec->disk = disk;
  spec->device = device;
  return Call<std::string>([&](const auto& result) { disk_.Add(spec, nullptr, result); });
}

Reply<std::shared_ptr<const DiskSvc::ListResult>> Client::ListDisks(
    const std::string& vm, Quil::OptionalPtr<const DiskSvc::FilterSpec> filter) {
  return Call<std::shared_ptr<const DiskSvc::ListResult>>(
      [&](const auto& result) { disk_.List(vm, filter, nullptr, result); });
}

Reply<Void> Client::AddAdapter(const std::string& vm, const std::string& network,
                               NetworkSvc::VirtualDev adapter, const std::string& device) {
  auto spec = std::make_shared<NetworkSvc::AddSpec>();
  spec->vm = vm;
  spec->network = network;
  spec->adapter = std::move(adapter);
  spec->device = device;
  return Call<Void>([&](const auto& result) { network_.Add(spec, nullptr, result); });
}

Reply<std::shared_ptr<const NetworkSvc::ListResult>> Client::ListAdapters(
    const std::string& vm, Quil::OptionalPtr<const NetworkSvc::FilterSpec> filter) {
  return Call<std::shared_ptr<const NetworkSvc::ListResult>>(
      [&](const auto& result) { network_.List(vm, filter, nullptr, result); });
}

Reply<Void> Client::RemoveAdapter(const std::string& vm, const std::string& device) {
  return Call<Void>([&](const auto& result) { network_.Remove(vm, device, nullptr, result); });
}

Reply<Void> Client::AddSata(const std::string& vm, std::int64_t number, SataSvc::HbaType type) {
  return Call<Void>([&](const auto& result) { sata_.Add(vm, type, number, nullptr, result); });
}

Reply<Void> Client::UpdateSata(const std::string& vm, std::int64_t number, SataSvc::HbaType type) {
  return Call<Void>([&](const auto& result) { sata_.Update(vm, type, number, nullptr, result); });
}

Reply<Void> Client::DeleteSata(const std::string& vm, std::int64_t number) {
  return Call<Void>([&](const auto& result) { sata_.Delete(vm, number, nullptr, result); });
}

Reply<SataSvc::ListMethod::ResultType> Client::ListSata(
    const std::string& vm, Quil::OptionalPtr<const SataSvc::FilterSpec> filter) {
  return Call<SataSvc::ListMethod::ResultType>(
      [&](const auto& result) { sata_.List(vm, filter, nullptr, result); });
}

Reply<Void> Client::AddScsi(const std::string& vm, std::int64_t number, ScsiSvc::HbaType type) {
  return Call<Void>([&](const auto& result) { scsi_.Add(vm, type, number, nullptr, result); });
}

Deployment::Deployment(Tavo::SimHost::HostOptions options) : host(options) {
  EXPECT_TRUE(host.RegisterWith(provider));
}

Tavo::SimHost::MachineRecord Machine(const Tavo::SimHost::Host& host, const std::string& vm) {
  const Tavo::SimHost::InventorySnapshot snapshot = host.Snapshot();
  const Tavo::SimHost::MachineRecord* machine = snapshot.Find(vm);
  EXPECT_NE(machine, nullptr) << vm;
  return machine != nullptr ? *machine : Tavo::SimHost::MachineRecord{};
}

Texts Identifiers(const CdromSvc::ListMethod::ResultType& list) {
  Texts texts;
  for (const auto& each : list) texts.push_back(each->cdrom + "@" + each->device);
  return texts;
}

Texts Identifiers(const DiskSvc::ListResult& list) {
  Texts texts;
  for (const auto& each : list.list) texts.push_back(each->disk + "@" + each->device);
  return texts;
}

Texts Identifiers(const NetworkSvc::ListResult& list) {
  Texts texts;
  for (const auto& each : list.list) texts.push_back(each->device + "@" + each->id);
  return texts;
}

Texts Identifiers(const SataSvc::ListMethod::ResultType& list) {
  Texts texts;
  for (const auto& each : list) texts.push_back(each->label);
  return texts;
}

}  // namespace SimHostTesting
