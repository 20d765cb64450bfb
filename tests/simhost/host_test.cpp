#include <tavo/simhost/host.h>
#include <tavo/simhost/state.h>

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

// Answers given at once arrive before the call returns: the dispatch fuzz target checks that.
TEST(SimHostTest, TheWorkerAnswersFromOneThreadInCallOrder) {
  const auto caller = std::this_thread::get_id();
  auto create = [](Vm::NaskSvc::AsyncServiceInterface& nask, const std::string& vm, auto check) {
    nask.Create(Make<Vm::NaskSvc::CreateSpec>([&](auto& s) {
                  s.vm = vm;
                  s.guestOS = "linux";
                }),
                nullptr,
                Vm::NaskSvc::CreateMethod::ResultCbType(
                    [check](boost::optional<Void> value, Quil::Data::ErrorValuePtr,
                            boost::optional<Quil::Data::NativeError>,
                            Quil::Progress) { check(value.has_value()); }));
  };
  // Worker: delivered from one other thread, in call order; the destructor delivers what is
  // queued. Implementations that outlive the host answer on the calling thread.
  std::vector<int> order;
  std::set<std::thread::id> threads;
  std::shared_ptr<Vm::NaskSvc::AsyncServiceInterface> survivor;
  {
    Host host(Delivery::Worker);
    survivor = host.Nask();
    for (int i = 0; i < 200; ++i) {
      create(*survivor, "vm-" + std::to_string(i % 150), [&, i](bool ok) {
        EXPECT_EQ(ok, i < 150);
        threads.insert(std::this_thread::get_id());
        order.push_back(i);
      });
    }
  }
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), caller);
  bool answered = false;
  create(*survivor, "vm-late", [&](bool ok) { answered = ok; });
  EXPECT_TRUE(answered);
}

TEST(SimHostTest, RegistrationIsAllOrNothing) {
  // Against a provider that already serves one service, nothing of the host stays registered.
  Host first;
  Host second;
  Quil::Provider::LocalApiProvider partial;
  ASSERT_TRUE(partial.Register(PowerSvc::AsyncServiceBinder::BindImplementation(first.Power())));
  EXPECT_FALSE(second.RegisterWith(partial));
  EXPECT_EQ(partial.Find("com.korvan.tavo.vm.compute.cpus"), nullptr);
  EXPECT_EQ(partial.Find("com.korvan.tavo.vm.nask"), nullptr);
}

TEST(SimHostTest, ConcurrentClientsKeepTheInventoryConsistent) {
  for (const Delivery mode : {Delivery::Immediate, Delivery::Worker}) {
    SCOPED_TRACE(mode == Delivery::Worker ? "worker" : "immediate");
    Deployment d(HostOptions{mode});
    ASSERT_EQ(Outcome(d.client.Create("shared")), "ok");
    for (int n = 0; n < 4; ++n) {
      ASSERT_EQ(Outcome(d.client.Await(&Scsi::Add, "shared", ScsiSvc::HbaType::LSILOGIC, n)), "ok");
    }
    constexpr int kRounds = 30;
    struct Work {
      std::map<std::string, std::pair<std::string, std::string>> kept;  // vm -> (cdrom, disk)
      std::set<std::string> cdroms, sharedDisks;
      int racesWon = 0;
    } work[2];
    auto run = [&](int t) {
      Client c(d.provider);
      Work& mine = work[t];
      for (int i = 0; i < kRounds; ++i) {
        const std::string vm = "t" + std::to_string(t) + "-vm" + std::to_string(i);
        EXPECT_EQ(Outcome(c.Create(vm)), "ok");
        EXPECT_EQ(Outcome(c.UpdateCpus(vm, 2, 1, true)), "ok");
        EXPECT_EQ(Outcome(c.UpdateMemory(vm, 2048)), "ok");
        EXPECT_EQ(Outcome(c.Await(&Sata::Add, vm, SataSvc::HbaType::AHCI, 0)), "ok");
        const std::string disk = c.AddDisk(vm, "").value();
        EXPECT_EQ(Outcome(c.AddAdapter(vm, "lan")), "ok");
        EXPECT_EQ(Outcome(c.Await(&Power::SwitchOn, vm, false, false)), "ok");
        const std::string cdrom = c.AddCdrom(vm, std::string("x.iso")).value();
        EXPECT_EQ(Outcome(c.UpdateCpus(vm, 4)), "ok");
        mine.cdroms.insert(cdrom);
        mine.sharedDisks.insert(c.AddDisk("shared", "").value());
        // Both threads create the same machine: exactly one of them wins.
        if (Outcome(c.Create("race-" + std::to_string(i))) == "ok") ++mine.racesWon;
        if (i % 5 == 4) {
          EXPECT_EQ(Outcome(c.Await(&Power::SwitchOff, vm)), "ok");
          EXPECT_EQ(Outcome(c.Await(&Nask::Delete, vm)), "ok");
        } else {
          mine.kept[vm] = {cdrom, disk};
        }
      }
    };
    std::thread other(run, 1);
    run(0);
    other.join();

    // One device per slot, one controller per number and bus, CD-ROM identifiers and disk names
    // once on the host: what a state file must hold, so the loader's checks apply.
    Tavo::SimHost::HostState reloaded;
    std::string fault;
    EXPECT_TRUE(
        Tavo::SimHost::StateFromJson(Tavo::SimHost::StateToJson(d.host.State()), reloaded, fault))
        << fault;
    const InventorySnapshot snapshot = d.host.Snapshot();
    EXPECT_EQ(work[0].racesWon + work[1].racesWon, kRounds);
    std::set<std::string> expected = {"shared"}, present, cdroms = work[0].cdroms,
                          sharedDisks = work[0].sharedDisks, stored;
    for (int i = 0; i < kRounds; ++i) expected.insert("race-" + std::to_string(i));
    for (const auto& [vm, devices] : work[0].kept) expected.insert(vm);
    for (const auto& [vm, devices] : work[1].kept) expected.insert(vm);
    for (const MachineRecord& machine : snapshot.machines) present.insert(machine.vm);
    EXPECT_EQ(present, expected);
    // Identifiers of deleted machines were not reused; every disk answered is the one stored.
    cdroms.insert(work[1].cdroms.begin(), work[1].cdroms.end());
    EXPECT_EQ(cdroms.size(), 2u * kRounds);
    sharedDisks.insert(work[1].sharedDisks.begin(), work[1].sharedDisks.end());
    ASSERT_NE(snapshot.Find("shared"), nullptr);
    for (const auto& each : snapshot.Find("shared")->disks) stored.insert(each.disk);
    EXPECT_EQ(stored, sharedDisks);
    EXPECT_EQ(stored.size(), 2u * kRounds);
    for (const Work& each : work) {
      for (const auto& [vm, devices] : each.kept) {
        const MachineRecord* machine = snapshot.Find(vm);
        ASSERT_NE(machine, nullptr);
        EXPECT_EQ(machine->power, Runtime::RUNNING);
        EXPECT_EQ(machine->cpus.count, 4);
        EXPECT_EQ(machine->memory.sizeMiB, 2048);
        ASSERT_TRUE(machine->cdroms.size() == 1 && machine->disks.size() == 1 &&
                    machine->networkAdapters.size() == 1);
        EXPECT_EQ(machine->cdroms[0].cdrom, devices.first);
        EXPECT_EQ(machine->disks[0].disk + "@" + machine->disks[0].device,
                  devices.second + "@sata0:0");
      }
    }
  }
}

}  // namespace
}  // namespace SimHostTesting
