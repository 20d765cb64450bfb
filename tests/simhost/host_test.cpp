#include <tavo/simhost/host.h>

#include <future>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "simhost/simhost_client.h"

namespace SimHostTesting {
namespace {

using Tavo::SimHost::Host;
using Tavo::SimHost::HostOptions;
using Tavo::SimHost::InventorySnapshot;
using Tavo::SimHost::MachineRecord;
using Delivery = HostOptions::Delivery;

// What must hold whatever happened: one device per slot and one controller per number and bus on
// every machine, CD-ROM identifiers and disk names never twice on the host.
void ExpectConsistent(const InventorySnapshot& snapshot) {
  std::set<std::string> cdroms;
  std::set<std::string> disks;
  for (const MachineRecord& machine : snapshot.machines) {
    SCOPED_TRACE(machine.vm);
    std::set<std::string> slots;
    for (const auto& cdrom : machine.cdroms) {
      EXPECT_TRUE(slots.insert(cdrom.device).second) << cdrom.device;
      EXPECT_TRUE(cdroms.insert(cdrom.cdrom).second) << cdrom.cdrom;
    }
    for (const auto& disk : machine.disks) {
      EXPECT_TRUE(slots.insert(disk.device).second) << disk.device;
      EXPECT_TRUE(disks.insert(disk.disk).second) << disk.disk;
    }
    for (const auto& adapter : machine.networkAdapters) {
      EXPECT_TRUE(slots.insert(adapter.device).second) << adapter.device;
    }
    std::set<std::int64_t> sata;
    for (const auto& controller : machine.sataControllers) {
      EXPECT_TRUE(sata.insert(controller.number).second) << controller.number;
    }
    std::set<std::int64_t> scsi;
    for (const auto& controller : machine.scsiControllers) {
      EXPECT_TRUE(scsi.insert(controller.number).second) << controller.number;
    }
  }
}

TEST(SimHostTest, PowerStateGovernsDeviceChangesAndDeletion) {
  Deployment d;
  Client& c = d.client;
  using Type = CdromSvc::BackingType;
  using Dev = NetworkSvc::VirtualDev;
  ASSERT_EQ(Outcome(c.Create("vm-1")), "ok");
  ASSERT_EQ(Outcome(c.AddSata("vm-1", 0)), "ok");
  ASSERT_EQ(c.AddDisk("vm-1", "", "ide0:0").value(), "disk-1");
  // One device per slot, whatever the service that put it there.
  const auto shared = c.AddCdrom("vm-1", Type::IMAGE, boost::none, "ide0:0");
  EXPECT_EQ(Outcome(shared), "already_exists");
  EXPECT_EQ(Message(shared), "The slot ide0:0 of the virtual machine vm-1 holds disk-1 already.");

  // RUNNING: CD-ROMs and adapters come and go; disks and controllers wait for STOPPED.
  ASSERT_EQ(Outcome(c.SwitchOn("vm-1")), "ok");
  const auto disk = c.AddDisk("vm-1", "");
  EXPECT_EQ(Outcome(disk), "not_allowed_in_current_state");
  EXPECT_EQ(Message(disk), "The virtual machine vm-1 is RUNNING; adding a disk needs STOPPED.");
  EXPECT_EQ(Outcome(c.AddSata("vm-1", 1)), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.UpdateSata("vm-1", 0)), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.DeleteSata("vm-1", 0)), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.AddScsi("vm-1", 0)), "not_allowed_in_current_state");
  EXPECT_EQ(c.AddCdrom("vm-1", Type::IMAGE, std::string("a.iso")).value(), "cdrom-1");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000)), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000)), "ok");
  EXPECT_EQ(Outcome(c.RemoveAdapter("vm-1", "ethernet1")), "ok");
  EXPECT_EQ(Outcome(c.Delete("vm-1")), "not_allowed_in_current_state");
  EXPECT_TRUE(Machine(d.host, "vm-1").loaded);  // hot-plugged changes apply at once

  // SUSPENDED: nothing changes, everything reads.
  ASSERT_EQ(Outcome(c.Suspend("vm-1")), "ok");
  const auto cdrom = c.AddCdrom("vm-1", Type::IMAGE, boost::none);
  EXPECT_EQ(Outcome(cdrom), "not_allowed_in_current_state");
  EXPECT_EQ(Message(cdrom),
            "The virtual machine vm-1 is SUSPENDED; adding a CD-ROM needs STOPPED or RUNNING.");
  const auto adapter = c.AddAdapter("vm-1", "lan", Dev::E1000);
  EXPECT_EQ(Outcome(adapter), "error");  // "add" declares no NotAllowedInCurrentState
  EXPECT_EQ(Message(adapter),
            "The virtual machine vm-1 is SUSPENDED; adding a network adapter needs STOPPED or "
            "RUNNING.");
  EXPECT_EQ(Outcome(c.RemoveAdapter("vm-1", "ethernet0")), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.DeleteCdrom("vm-1", "ide0:1")), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 2048)), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.Delete("vm-1")), "not_allowed_in_current_state");
  EXPECT_EQ(c.ListCdroms("vm-1").value().size(), 1u);
  EXPECT_EQ(c.ListDisks("vm-1").value()->list.size(), 1u);
  EXPECT_EQ(c.ListAdapters("vm-1").value()->list.size(), 1u);
  EXPECT_EQ(c.ListSata("vm-1").value().size(), 1u);
  EXPECT_EQ(c.Cpus("vm-1").value()->count, 1);

  // STOPPED: changes need loading again; deletion takes every device along.
  ASSERT_EQ(Outcome(c.SwitchOff("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.DeleteCdrom("vm-1", "ide0:1")), "ok");
  EXPECT_FALSE(Machine(d.host, "vm-1").loaded);
  ExpectConsistent(d.host.Snapshot());
  EXPECT_EQ(Outcome(c.Delete("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.ListCdroms("vm-1")), "not_found");
  EXPECT_EQ(Outcome(c.ListDisks("vm-1")), "not_found");
  EXPECT_EQ(Outcome(c.ListAdapters("vm-1")), "not_found");
  EXPECT_EQ(Outcome(c.ListSata("vm-1")), "not_found");
  EXPECT_EQ(Outcome(c.Memory("vm-1")), "not_found");
  EXPECT_EQ(Outcome(c.Power("vm-1")), "not_found");
  EXPECT_EQ(Outcome(c.Load("vm-1")), "error");
}

TEST(SimHostTest, AnswersComeAtOnceOrFromTheWorkerInCallOrder) {
  const auto caller = std::this_thread::get_id();
  auto spec = [](const std::string& vm) {
    auto created = std::make_shared<Vm::NaskSvc::CreateSpec>();
    created->vm = vm;
    created->guestOS = "linux";
    return created;
  };
  // Immediate: delivered on the calling thread before the operation returns.
  {
    Host host;
    bool answered = false;
    host.Nask()->Create(spec("vm-1"), nullptr,
                        Vm::NaskSvc::CreateMethod::ResultCbType(
                            [&](boost::optional<Void> value, Quil::Data::ErrorValuePtr error,
                                boost::optional<Quil::Data::NativeError>, Quil::Progress) {
                              EXPECT_TRUE(value.has_value());
                              EXPECT_EQ(error, nullptr);
                              EXPECT_EQ(std::this_thread::get_id(), caller);
                              answered = true;
                            }));
    EXPECT_TRUE(answered);
  }
  // Worker: delivered from one other thread, in call order; the destructor delivers what is
  // queued. Implementations that outlive the host answer on the calling thread.
  std::vector<int> order;
  std::set<std::thread::id> threads;
  std::shared_ptr<Vm::NaskSvc::AsyncServiceInterface> survivor;
  {
    Host host({Delivery::Worker});
    survivor = host.Nask();
    for (int i = 0; i < 200; ++i) {
      host.Nask()->Create(spec("vm-" + std::to_string(i % 150)), nullptr,
                          Vm::NaskSvc::CreateMethod::ResultCbType(
                              [&, i](boost::optional<Void> value, Quil::Data::ErrorValuePtr error,
                                     boost::optional<Quil::Data::NativeError>, Quil::Progress) {
                                EXPECT_EQ(value.has_value(), i < 150);
                                EXPECT_EQ(error == nullptr, i < 150);
                                threads.insert(std::this_thread::get_id());
                                order.push_back(i);
                              }));
    }
  }
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), caller);
  bool answered = false;
  survivor->Create(spec("vm-late"), nullptr,
                   Vm::NaskSvc::CreateMethod::ResultCbType(
                       [&](boost::optional<Void> value, Quil::Data::ErrorValuePtr,
                           boost::optional<Quil::Data::NativeError>, Quil::Progress) {
                         EXPECT_TRUE(value.has_value());
                         answered = true;
                       }));
  EXPECT_TRUE(answered);

  // Through the stubs, the worker's answers reach blocking callers.
  Deployment d(HostOptions{Delivery::Worker});
  Client& c = d.client;
  EXPECT_EQ(Outcome(c.Create("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.Create("vm-1")), "error");
  EXPECT_EQ(Outcome(c.SwitchOn("vm-1")), "ok");
  EXPECT_EQ(c.AddCdrom("vm-1", CdromSvc::BackingType::IMAGE, std::string("a.iso")).value(),
            "cdrom-1");
  EXPECT_EQ(Identifiers(c.ListCdroms("vm-1").value()), (Texts{"cdrom-1@ide0:0"}));
  EXPECT_EQ(c.Power("vm-1").value(), Runtime::RUNNING);
}

TEST(SimHostTest, RegistrationIsAllOrNothing) {
  Quil::Provider::LocalApiProvider provider;
  Host first;
  Host second;
  ASSERT_TRUE(first.RegisterWith(provider));
  EXPECT_FALSE(second.RegisterWith(provider));
  // The first host still serves every service, untouched by the refused registration.
  Client c(provider);
  EXPECT_EQ(Outcome(c.Create("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 8)), "ok");
  EXPECT_EQ(Machine(first, "vm-1").vm, "vm-1");
  EXPECT_TRUE(second.Snapshot().machines.empty());

  // Against a provider that already serves one service, nothing of the host stays registered.
  Quil::Provider::LocalApiProvider partial;
  ASSERT_TRUE(partial.Register(PowerSvc::AsyncServiceBinder::BindImplementation(first.Power())));
  EXPECT_FALSE(second.RegisterWith(partial));
  EXPECT_EQ(partial.Find("com.korvan.tavo.vm.compute.cpus"), nullptr);
  EXPECT_EQ(partial.Find("com.korvan.tavo.vm.nask"), nullptr);
  EXPECT_NE(partial.Find("com.korvan.tavo.vm.power"), nullptr);
}

TEST(SimHostTest, ConcurrentClientsKeepTheInventoryConsistent) {
  for (const Delivery mode : {Delivery::Immediate, Delivery::Worker}) {
    SCOPED_TRACE(mode == Delivery::Worker ? "worker" : "immediate");
    Deployment d(HostOptions{mode});
    ASSERT_EQ(Outcome(d.client.Create("shared")), "ok");
    for (int n = 0; n < 4; ++n) ASSERT_EQ(Outcome(d.client.AddScsi("shared", n)), "ok");

    constexpr int kRounds = 30;
    struct Work {
      std::map<std::string, std::pair<std::string, std::string>> kept;  // vm -> (cdrom, disk)
      std::vector<std::string> cdroms;
      std::vector<std::string> sharedDisks;
      int racesWon = 0;
    };
    Work work[2];
    auto run = [&](int t) {
      Client c(d.provider);
      Work& mine = work[t];
      for (int i = 0; i < kRounds; ++i) {
        const std::string vm = "t" + std::to_string(t) + "-vm" + std::to_string(i);
        EXPECT_EQ(Outcome(c.Create(vm)), "ok");
        EXPECT_EQ(Outcome(c.UpdateCpus(vm, 2, 1, true)), "ok");
        EXPECT_EQ(Outcome(c.UpdateMemory(vm, 2048)), "ok");
        EXPECT_EQ(Outcome(c.AddSata(vm, 0)), "ok");
        const std::string disk = c.AddDisk(vm, "").value();
        EXPECT_EQ(Outcome(c.AddAdapter(vm, "lan", NetworkSvc::VirtualDev::E1000)), "ok");
        EXPECT_EQ(Outcome(c.SwitchOn(vm)), "ok");
        const std::string cdrom =
            c.AddCdrom(vm, CdromSvc::BackingType::IMAGE, std::string("x.iso")).value();
        EXPECT_EQ(Outcome(c.UpdateCpus(vm, 4)), "ok");
        mine.cdroms.push_back(cdrom);
        mine.sharedDisks.push_back(c.AddDisk("shared", "").value());
        // Both threads create the same machine: exactly one of them wins.
        const auto race = c.Create("race-" + std::to_string(i));
        if (Outcome(race) == "ok") ++mine.racesWon;
        if (i % 5 == 4) {
          EXPECT_EQ(Outcome(c.SwitchOff(vm)), "ok");
          EXPECT_EQ(Outcome(c.Delete(vm)), "ok");
        } else {
          mine.kept[vm] = {cdrom, disk};
        }
      }
    };
    std::thread other(run, 1);
    run(0);
    other.join();

    const InventorySnapshot snapshot = d.host.Snapshot();
    ExpectConsistent(snapshot);
    EXPECT_EQ(work[0].racesWon + work[1].racesWon, kRounds);
    std::set<std::string> expected = {"shared"};
    for (int i = 0; i < kRounds; ++i) expected.insert("race-" + std::to_string(i));
    std::set<std::string> cdroms;
    std::set<std::string> sharedDisks;
    for (const Work& each : work) {
      for (const auto& [vm, devices] : each.kept) expected.insert(vm);
      cdroms.insert(each.cdroms.begin(), each.cdroms.end());
      sharedDisks.insert(each.sharedDisks.begin(), each.sharedDisks.end());
    }
    EXPECT_EQ(cdroms.size(), 2u * kRounds);  // identifiers of deleted machines were not reused
    std::set<std::string> present;
    for (const MachineRecord& machine : snapshot.machines) present.insert(machine.vm);
    EXPECT_EQ(present, expected);

    const MachineRecord* shared = snapshot.Find("shared");
    ASSERT_NE(shared, nullptr);
    ASSERT_EQ(shared->disks.size(), 2u * kRounds);
    for (const auto& each : shared->disks) EXPECT_EQ(sharedDisks.count(each.disk), 1u);
    for (const Work& each : work) {
      for (const auto& [vm, devices] : each.kept) {
        const MachineRecord* machine = snapshot.Find(vm);
        ASSERT_NE(machine, nullptr);
        EXPECT_EQ(machine->power, Runtime::RUNNING);
        EXPECT_EQ(machine->cpus.count, 4);
        EXPECT_EQ(machine->memory.sizeMiB, 2048);
        ASSERT_EQ(machine->cdroms.size(), 1u);
        EXPECT_EQ(machine->cdroms[0].cdrom, devices.first);
        ASSERT_EQ(machine->disks.size(), 1u);
        EXPECT_EQ(machine->disks[0].disk, devices.second);
        EXPECT_EQ(machine->disks[0].device, "sata0:0");
        EXPECT_EQ(machine->networkAdapters.size(), 1u);
      }
    }
  }
}

}  // namespace
}  // namespace SimHostTesting
