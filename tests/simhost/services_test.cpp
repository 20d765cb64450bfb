#include <tavo/simhost/host.h>

#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <boost/optional/optional_io.hpp>

#include "simhost/simhost_client.h"

namespace SimHostTesting {
namespace {

using Tavo::SimHost::MachineRecord;

template <typename Filter>
Quil::OptionalPtr<const Filter> Filtered(void (*fill)(Filter&)) {
  auto filter = std::make_shared<Filter>();
  fill(*filter);
  return filter;
}

TEST(SimHostServicesTest, NaskCreatesAndDeletesMachinesAndDockLoadsThem) {
  Deployment d;
  Client& c = d.client;
  EXPECT_EQ(Outcome(c.Create("vm-1", "guest-os", std::string("19"))), "ok");
  const MachineRecord made = Machine(d.host, "vm-1");
  EXPECT_EQ(made.guestOS, "guest-os");
  EXPECT_EQ(made.hwVersion, boost::optional<std::string>("19"));
  EXPECT_EQ(made.power, Runtime::STOPPED);
  EXPECT_FALSE(made.loaded);
  EXPECT_EQ(made.cpus.count, 1);
  EXPECT_EQ(made.cpus.coresPerSocket, 1);
  EXPECT_EQ(made.memory.sizeMiB, 1024);
  EXPECT_FALSE(made.cpus.hotAddEnabled || made.cpus.hotRemoveEnabled || made.memory.hotAddEnabled);

  // "create" declares only Error: the message says what is wrong.
  const auto again = c.Create("vm-1");
  EXPECT_EQ(Outcome(again), "error");
  EXPECT_EQ(Message(again), "The virtual machine vm-1 already exists.");
  EXPECT_EQ(Outcome(c.Create("")), "error");

  // dock "load": STOPPED machines only; a change while STOPPED needs loading again.
  EXPECT_EQ(Outcome(c.Load("vm-1")), "ok");
  EXPECT_TRUE(Machine(d.host, "vm-1").loaded);
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 1)), "ok");  // no change
  EXPECT_TRUE(Machine(d.host, "vm-1").loaded);
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 2)), "ok");
  EXPECT_FALSE(Machine(d.host, "vm-1").loaded);
  const auto unknown = c.Load("vm-9");
  EXPECT_EQ(Outcome(unknown), "error");
  EXPECT_EQ(Message(unknown), "The virtual machine vm-9 does not exist.");

  EXPECT_EQ(Outcome(c.AddDisk("vm-1", "data")), "ok");
  EXPECT_EQ(Outcome(c.SwitchOn("vm-1")), "ok");
  EXPECT_TRUE(Machine(d.host, "vm-1").loaded);
  const auto loadRunning = c.Load("vm-1");
  EXPECT_EQ(Outcome(loadRunning), "error");
  EXPECT_EQ(Message(loadRunning), "The virtual machine vm-1 is RUNNING; load needs STOPPED.");
  const auto deleteRunning = c.Delete("vm-1");
  EXPECT_EQ(Outcome(deleteRunning), "not_allowed_in_current_state");
  EXPECT_EQ(Message(deleteRunning), "The virtual machine vm-1 is RUNNING; delete needs STOPPED.");
  EXPECT_EQ(Outcome(c.Suspend("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.Delete("vm-1")), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.SwitchOff("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.Delete("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.Delete("vm-1")), "not_found");
  EXPECT_TRUE(d.host.Snapshot().machines.empty());

  // Deleting frees the identifier and the disk names it held.
  EXPECT_EQ(Outcome(c.Create("vm-1")), "ok");
  EXPECT_EQ(c.AddDisk("vm-1", "data").value(), "data");
}

TEST(SimHostServicesTest, PowerFollowsItsStateMachine) {
  Deployment d;
  Client& c = d.client;
  ASSERT_EQ(Outcome(c.Create("vm-1")), "ok");
  struct Step {
    const char* operation;
    std::string outcome;
    Runtime after;
    std::string message;
  };
  const Step steps[] = {
      {"reset", "not_allowed_in_current_state", Runtime::STOPPED,
       "The virtual machine vm-1 is STOPPED; reset needs RUNNING."},
      {"suspend", "not_allowed_in_current_state", Runtime::STOPPED,
       "The virtual machine vm-1 is STOPPED; suspend needs RUNNING."},
      {"switch_off", "not_allowed_in_current_state", Runtime::STOPPED,
       "The virtual machine vm-1 is STOPPED; switch_off needs RUNNING or SUSPENDED."},
      {"switch_on soft", "not_allowed_in_current_state", Runtime::STOPPED,
       "The virtual machine vm-1 is STOPPED; switch_on with soft needs SUSPENDED."},
      {"switch_on", "ok", Runtime::RUNNING, ""},
      {"switch_on", "not_allowed_in_current_state", Runtime::RUNNING,
       "The virtual machine vm-1 is RUNNING; switch_on needs STOPPED or SUSPENDED."},
      {"reset", "ok", Runtime::RUNNING, ""},
      {"suspend", "ok", Runtime::SUSPENDED, ""},
      {"suspend", "not_allowed_in_current_state", Runtime::SUSPENDED,
       "The virtual machine vm-1 is SUSPENDED; suspend needs RUNNING."},
      {"switch_on paused", "not_allowed_in_current_state", Runtime::SUSPENDED,
       "The virtual machine vm-1 is SUSPENDED; switch_on with paused needs STOPPED."},
      {"switch_on soft", "ok", Runtime::RUNNING, ""},
      {"switch_off", "ok", Runtime::STOPPED, ""},
      {"switch_on paused", "ok", Runtime::SUSPENDED, ""},
      {"switch_on", "ok", Runtime::RUNNING, ""},
      {"suspend", "ok", Runtime::SUSPENDED, ""},
      {"switch_off", "ok", Runtime::STOPPED, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.operation);
    const std::string operation = step.operation;
    Reply<Void> reply = operation == "reset"              ? c.Reset("vm-1")
                        : operation == "suspend"          ? c.Suspend("vm-1")
                        : operation == "switch_off"       ? c.SwitchOff("vm-1")
                        : operation == "switch_on soft"   ? c.SwitchOn("vm-1", boost::none, true)
                        : operation == "switch_on paused" ? c.SwitchOn("vm-1", true)
                                                          : c.SwitchOn("vm-1", false, false);
    EXPECT_EQ(Outcome(reply), step.outcome);
    EXPECT_EQ(Message(reply), step.message);
    EXPECT_EQ(c.Power("vm-1").value(), step.after);
  }
  EXPECT_EQ(Outcome(c.Power("vm-9")), "not_found");
  EXPECT_EQ(Outcome(c.SwitchOn("vm-9")), "not_found");
  EXPECT_EQ(Outcome(c.Reset("vm-9")), "not_found");
}

TEST(SimHostServicesTest, CpusAndMemoryCheckValuesAndHotPlugRules) {
  Deployment d;
  Client& c = d.client;
  ASSERT_EQ(Outcome(c.Create("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.Cpus("vm-9")), "not_found");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-9", 8)), "not_found");

  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 0)), "invalid_argument");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 65)), "invalid_argument");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", boost::none, 0)), "invalid_argument");
  const auto uneven = c.UpdateCpus("vm-1", 6, 4);
  EXPECT_EQ(Outcome(uneven), "invalid_argument");
  EXPECT_EQ(Message(uneven),
            "The virtual machine vm-1 cannot split 6 CPUs into sockets of 4 cores.");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 4, 2)), "ok");
  const auto info = c.Cpus("vm-1").value();
  EXPECT_EQ(info->count, 4);
  EXPECT_EQ(info->coresPerSocket, 2);
  EXPECT_FALSE(info->hotAddEnabled);
  EXPECT_FALSE(info->hotRemoveEnabled);

  // RUNNING without hot plug: nothing but unchanged values.
  ASSERT_EQ(Outcome(c.SwitchOn("vm-1")), "ok");
  const auto grow = c.UpdateCpus("vm-1", 6);
  EXPECT_EQ(Outcome(grow), "not_allowed_in_current_state");
  EXPECT_EQ(Message(grow),
            "The virtual machine vm-1 is RUNNING without CPU hot add; its CPUs can go from 4 to 6 "
            "only while it is STOPPED.");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", boost::none, boost::none, true)),
            "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 4, 4)), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 4, 2, false, false)), "ok");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 7)), "invalid_argument");  // values before state

  // With hot add only: more CPUs, not fewer.
  ASSERT_EQ(Outcome(c.SwitchOff("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", boost::none, boost::none, true, false)), "ok");
  ASSERT_EQ(Outcome(c.SwitchOn("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 8)), "ok");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 6)), "not_allowed_in_current_state");
  EXPECT_EQ(c.Cpus("vm-1").value()->count, 8);
  ASSERT_EQ(Outcome(c.Suspend("vm-1")), "ok");
  const auto suspended = c.UpdateCpus("vm-1", 10);
  EXPECT_EQ(Message(suspended),
            "The virtual machine vm-1 is SUSPENDED; changing the CPUs needs STOPPED or RUNNING.");

  // Memory: a multiple of 4 MiB, and while RUNNING it only grows, with hot add.
  ASSERT_EQ(Outcome(c.SwitchOff("vm-1")), "ok");
  for (const std::int64_t size : {0, 2, 1023, 1048580}) {
    EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", size)), "invalid_argument") << size;
  }
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 1048576)), "ok");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 2048)), "ok");
  ASSERT_EQ(Outcome(c.SwitchOn("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 4096)), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", boost::none, true)), "not_allowed_in_current_state");
  ASSERT_EQ(Outcome(c.SwitchOff("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", boost::none, true)), "ok");
  ASSERT_EQ(Outcome(c.SwitchOn("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 4096)), "ok");
  const auto shrink = c.UpdateMemory("vm-1", 2048);
  EXPECT_EQ(Outcome(shrink), "not_allowed_in_current_state");
  EXPECT_EQ(Message(shrink),
            "The virtual machine vm-1 is RUNNING; its memory can shrink from 4096 to 2048 MiB "
            "only while it is STOPPED.");
  const auto memory = c.Memory("vm-1").value();
  EXPECT_EQ(memory->size, 4096);
  EXPECT_TRUE(memory->hotAddEnabled);
}

TEST(SimHostServicesTest, CdromsTakeSlotsAndListThroughFilters) {
  Deployment d;
  Client& c = d.client;
  using Type = CdromSvc::BackingType;
  ASSERT_EQ(Outcome(c.Create("vm-1")), "ok");
  EXPECT_EQ(c.AddCdrom("vm-1", Type::IMAGE, std::string("a.iso")).value(), "cdrom-1");
  EXPECT_EQ(c.AddCdrom("vm-1", Type::ATAPI, std::string("/dev/sr0"), "ide1:1").value(), "cdrom-2");
  EXPECT_EQ(c.AddCdrom("vm-1", Type::RAW, std::string("/dev/sg0")).value(), "cdrom-3");
  EXPECT_EQ(c.AddCdrom("vm-1", Type::IMAGE, boost::none).value(), "cdrom-4");  // empty drive
  EXPECT_EQ(Outcome(c.AddCdrom("vm-1", Type::IMAGE, boost::none)), "unable_to_allocate_resource");
  ASSERT_EQ(Outcome(c.AddSata("vm-1", 0)), "ok");
  EXPECT_EQ(c.AddCdrom("vm-1", Type::IMAGE, std::string("b.iso")).value(), "cdrom-5");

  EXPECT_EQ(Outcome(c.AddCdrom("vm-9", Type::IMAGE, boost::none)), "not_found");
  EXPECT_EQ(Outcome(c.AddCdrom("vm-1", Type::ATAPI, std::string(""))), "invalid_argument");
  EXPECT_EQ(Outcome(c.AddCdrom("vm-1", Type::IMAGE, std::string(""))), "invalid_argument");
  const auto scsi = c.AddCdrom("vm-1", Type::IMAGE, boost::none, "scsi0:0");
  EXPECT_EQ(Outcome(scsi), "invalid_argument");
  EXPECT_EQ(Message(scsi), "A CD-ROM cannot sit in scsi0:0; it attaches to IDE or SATA.");
  const auto missing = c.AddCdrom("vm-1", Type::IMAGE, boost::none, "sata1:0");
  EXPECT_EQ(Outcome(missing), "not_found");
  EXPECT_EQ(Message(missing), "The virtual machine vm-1 has no SATA controller 1.");
  const auto taken = c.AddCdrom("vm-1", Type::IMAGE, boost::none, "ide0:0");
  EXPECT_EQ(Outcome(taken), "already_exists");
  EXPECT_EQ(Message(taken), "The slot ide0:0 of the virtual machine vm-1 holds cdrom-1 already.");
  for (const char* malformed : {"ide00:0", "ide2:0", "ide0:2", "sata0:30", "ide0", "x"}) {
    EXPECT_EQ(Outcome(c.AddCdrom("vm-1", Type::IMAGE, boost::none, malformed)), "invalid_argument")
        << malformed;
  }

  EXPECT_EQ(Identifiers(c.ListCdroms("vm-1").value()),
            (Texts{"cdrom-1@ide0:0", "cdrom-2@ide1:1", "cdrom-3@ide0:1", "cdrom-4@ide1:0",
                   "cdrom-5@sata0:0"}));
  EXPECT_EQ(Identifiers(c.ListCdroms("vm-1", Filtered<CdromSvc::FilterSpec>([](auto& f) {
                                       f.cdroms = std::set<std::string>{"cdrom-1", "cdrom-3"};
                                     }))
                            .value()),
            (Texts{"cdrom-1@ide0:0", "cdrom-3@ide0:1"}));
  EXPECT_EQ(Identifiers(c.ListCdroms("vm-1", Filtered<CdromSvc::FilterSpec>([](auto& f) {
                                       f.backingTypes = std::set<Type>{Type::IMAGE};
                                       f.devices = std::set<std::string>{"ide1:0", "sata0:0"};
                                     }))
                            .value()),
            (Texts{"cdrom-4@ide1:0", "cdrom-5@sata0:0"}));
  EXPECT_TRUE(c.ListCdroms("vm-1", Filtered<CdromSvc::FilterSpec>([](auto& f) {
                             f.cdroms = std::set<std::string>{"cdrom-2"};
                             f.backingTypes = std::set<Type>{Type::RAW};
                           }))
                  .value()
                  .empty());
  EXPECT_TRUE(c.ListCdroms("vm-1", Filtered<CdromSvc::FilterSpec>(
                                       [](auto& f) { f.devices = std::set<std::string>{}; }))
                  .value()
                  .empty());
  EXPECT_EQ(c.ListCdroms("vm-1", Filtered<CdromSvc::FilterSpec>([](auto&) {})).value().size(), 5u);
  EXPECT_EQ(Outcome(c.ListCdroms("vm-9")), "not_found");

  const MachineRecord machine = Machine(d.host, "vm-1");
  EXPECT_EQ(machine.cdroms[1].deviceName, boost::optional<std::string>("/dev/sr0"));
  EXPECT_EQ(machine.cdroms[1].isoFile, boost::none);
  EXPECT_EQ(machine.cdroms[0].isoFile, boost::optional<std::string>("a.iso"));

  // Deleting by device text frees the slot; identifiers are never reused.
  EXPECT_EQ(Outcome(c.DeleteCdrom("vm-1", "ide0:1")), "ok");
  EXPECT_EQ(Outcome(c.DeleteCdrom("vm-1", "ide0:1")), "not_found");
  EXPECT_EQ(Outcome(c.DeleteCdrom("vm-1", "bogus")), "invalid_argument");
  EXPECT_EQ(Outcome(c.DeleteCdrom("vm-9", "ide0:1")), "not_found");
  EXPECT_EQ(c.AddCdrom("vm-1", Type::IMAGE, boost::none).value(), "cdrom-6");
  EXPECT_EQ(Identifiers(c.ListCdroms("vm-1", Filtered<CdromSvc::FilterSpec>([](auto& f) {
                                       f.cdroms = std::set<std::string>{"cdrom-3", "cdrom-6"};
                                     }))
                            .value()),
            (Texts{"cdrom-6@ide0:1"}));
}

TEST(SimHostServicesTest, DisksAreNamedOnceAndPlacedOnControllers) {
  Deployment d;
  Client& c = d.client;
  ASSERT_EQ(Outcome(c.Create("vm-1")), "ok");
  ASSERT_EQ(Outcome(c.Create("vm-2")), "ok");
  EXPECT_EQ(c.AddDisk("vm-1", "").value(), "disk-1");  // no controller: IDE
  ASSERT_EQ(Outcome(c.AddScsi("vm-1", 0)), "ok");
  EXPECT_EQ(c.AddDisk("vm-1", "").value(), "disk-2");  // SCSI comes first
  const auto noSata = c.AddDisk("vm-1", "data", "sata0:3");
  EXPECT_EQ(Outcome(noSata), "not_found");
  ASSERT_EQ(Outcome(c.AddSata("vm-1", 0)), "ok");
  EXPECT_EQ(c.AddDisk("vm-1", "data", "sata0:3").value(), "data");
  const auto twice = c.AddDisk("vm-2", "data");
  EXPECT_EQ(Outcome(twice), "already_exists");
  EXPECT_EQ(Message(twice),
            "The virtual disk data is attached to the virtual machine vm-1 already.");
  EXPECT_EQ(Outcome(c.AddDisk("vm-1", "other", "scsi0:0")), "already_exists");
  EXPECT_EQ(Outcome(c.AddDisk("vm-1", "other", "scsi0:16")), "invalid_argument");
  EXPECT_EQ(Outcome(c.AddDisk("vm-9", "other")), "not_found");
  // Host-made names skip the ones clients chose.
  EXPECT_EQ(c.AddDisk("vm-2", "disk-3").value(), "disk-3");
  EXPECT_EQ(c.AddDisk("vm-2", "").value(), "disk-4");

  EXPECT_EQ(Identifiers(*c.ListDisks("vm-1").value()),
            (Texts{"disk-1@ide0:0", "disk-2@scsi0:0", "data@sata0:3"}));
  EXPECT_EQ(Identifiers(*c.ListDisks("vm-1", Filtered<DiskSvc::FilterSpec>([](auto& f) {
                                       f.devices = std::set<std::string>{"scsi0:0", "ide0:0"};
                                     }))
                             .value()),
            (Texts{"disk-1@ide0:0", "disk-2@scsi0:0"}));
  EXPECT_EQ(Identifiers(*c.ListDisks("vm-1", Filtered<DiskSvc::FilterSpec>([](auto& f) {
                                       f.disks = std::set<std::string>{"data", "disk-3"};
                                       f.devices = std::set<std::string>{"sata0:3"};
                                     }))
                             .value()),
            (Texts{"data@sata0:3"}));
  EXPECT_TRUE(c.ListDisks("vm-1", Filtered<DiskSvc::FilterSpec>(
                                      [](auto& f) { f.disks = std::set<std::string>{}; }))
                  .value()
                  ->list.empty());
  EXPECT_EQ(Outcome(c.ListDisks("vm-9")), "not_found");

  // A full machine has no slot left.
  ASSERT_EQ(Outcome(c.Create("vm-3")), "ok");
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Outcome(c.AddDisk("vm-3", "")), "ok");
  EXPECT_EQ(Outcome(c.AddDisk("vm-3", "")), "unable_to_allocate_resource");
}

TEST(SimHostServicesTest, NetworkAdaptersAreAddedListedAndRemoved) {
  Deployment d;
  Client& c = d.client;
  using Dev = NetworkSvc::VirtualDev;
  ASSERT_EQ(Outcome(c.Create("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000E)), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "dmz", Dev::FLINDR3, "ethernet5")), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000)), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000, "ethernet5")), "already_exists");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-9", "lan", Dev::E1000)), "not_found");
  // "add" declares no InvalidArgument: these are Error, with a message saying why.
  const auto unknownType = c.AddAdapter("vm-1", "lan", Dev::FromText("e1000"));
  EXPECT_EQ(Outcome(unknownType), "error");
  EXPECT_EQ(Message(unknownType),
            "The network adapter type e1000 is unknown; it is TORVEN, FLINDR, FLINDR3, KRDMA, "
            "E1000 or E1000E.");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "", Dev::E1000)), "error");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000, "eth0")), "error");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000, "ethernet10")), "error");

  EXPECT_EQ(Identifiers(*c.ListAdapters("vm-1").value()),
            (Texts{"ethernet0@lan", "ethernet5@dmz", "ethernet1@lan"}));
  EXPECT_EQ(Identifiers(*c.ListAdapters("vm-1", Filtered<NetworkSvc::FilterSpec>([](auto& f) {
                                          f.networks = std::set<std::string>{"lan"};
                                          f.adapters = std::set<Dev>{Dev::E1000, Dev::FLINDR3};
                                        }))
                             .value()),
            (Texts{"ethernet1@lan"}));
  EXPECT_EQ(Identifiers(*c.ListAdapters("vm-1", Filtered<NetworkSvc::FilterSpec>([](auto& f) {
                                          f.devices = std::set<std::string>{"ethernet5"};
                                        }))
                             .value()),
            (Texts{"ethernet5@dmz"}));
  EXPECT_TRUE(c.ListAdapters("vm-1", Filtered<NetworkSvc::FilterSpec>(
                                         [](auto& f) { f.adapters = std::set<Dev>{}; }))
                  .value()
                  ->list.empty());
  const auto listed = c.ListAdapters("vm-1").value();
  EXPECT_EQ(listed->list[1]->adapter, Dev::FLINDR3);

  EXPECT_EQ(Outcome(c.RemoveAdapter("vm-1", "ethernet5")), "ok");
  EXPECT_EQ(Outcome(c.RemoveAdapter("vm-1", "ethernet5")), "not_found");
  EXPECT_EQ(Outcome(c.RemoveAdapter("vm-9", "ethernet0")), "not_found");
  for (int i = 0; i < 8; ++i) ASSERT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::KRDMA)), "ok");
  const auto full = c.AddAdapter("vm-1", "lan", Dev::KRDMA);
  EXPECT_EQ(Outcome(full), "error");
  EXPECT_EQ(Message(full), "The virtual machine vm-1 has no free slot for a network adapter.");
}

TEST(SimHostServicesTest, SataAndScsiControllersAreUniquePerBus) {
  Deployment d;
  Client& c = d.client;
  ASSERT_EQ(Outcome(c.Create("vm-1")), "ok");
  EXPECT_EQ(Outcome(c.AddSata("vm-1", 2)), "ok");
  EXPECT_EQ(Outcome(c.AddSata("vm-1", 0)), "ok");
  const auto twice = c.AddSata("vm-1", 0);
  EXPECT_EQ(Outcome(twice), "already_exists");
  EXPECT_EQ(Message(twice), "The virtual machine vm-1 has a SATA controller 0 already.");
  EXPECT_EQ(Outcome(c.AddSata("vm-1", 4)), "error");  // no InvalidArgument declared
  const auto unknownType = c.AddSata("vm-1", 1, SataSvc::HbaType::FromText("ahci"));
  EXPECT_EQ(Outcome(unknownType), "error");
  EXPECT_EQ(Message(unknownType), "The SATA adapter type ahci is unknown; it is AHCI.");
  EXPECT_EQ(Outcome(c.AddSata("vm-9", 1)), "not_found");

  EXPECT_EQ(Identifiers(c.ListSata("vm-1").value()), (Texts{"sata0", "sata2"}));
  EXPECT_EQ(Identifiers(c.ListSata("vm-1", Filtered<SataSvc::FilterSpec>([](auto& f) {
                                     f.labels = std::set<std::string>{"sata2", "sata9"};
                                   }))
                            .value()),
            (Texts{"sata2"}));
  EXPECT_TRUE(c.ListSata("vm-1", Filtered<SataSvc::FilterSpec>(
                                     [](auto& f) { f.labels = std::set<std::string>{}; }))
                  .value()
                  .empty());

  EXPECT_EQ(Outcome(c.UpdateSata("vm-1", 2)), "ok");
  EXPECT_EQ(Outcome(c.UpdateSata("vm-1", 3)), "not_found");
  EXPECT_EQ(Outcome(c.UpdateSata("vm-1", 2, SataSvc::HbaType::FromText("IDE"))), "error");

  // A controller holding a device stays.
  ASSERT_EQ(c.AddDisk("vm-1", "data", "sata0:1").value(), "data");
  const auto inUse = c.DeleteSata("vm-1", 0);
  EXPECT_EQ(Outcome(inUse), "not_allowed_in_current_state");
  EXPECT_EQ(Message(inUse), "The SATA controller 0 of the virtual machine vm-1 still holds data.");
  EXPECT_EQ(Outcome(c.DeleteSata("vm-1", 2)), "ok");
  EXPECT_EQ(Outcome(c.DeleteSata("vm-1", 2)), "not_found");
  EXPECT_EQ(Identifiers(c.ListSata("vm-1").value()), (Texts{"sata0"}));

  // SCSI numbers are counted apart from SATA ones.
  EXPECT_EQ(Outcome(c.AddScsi("vm-1", 0, ScsiSvc::HbaType::LSISAS)), "ok");
  EXPECT_EQ(Outcome(c.AddScsi("vm-1", 0)), "already_exists");
  EXPECT_EQ(Outcome(c.AddScsi("vm-1", 1, ScsiSvc::HbaType::HXSCSI)), "ok");
  EXPECT_EQ(Outcome(c.AddScsi("vm-1", -1)), "error");
  EXPECT_EQ(Outcome(c.AddScsi("vm-1", 2, ScsiSvc::HbaType::FromText("BUSLOGIC"))), "error");
  EXPECT_EQ(Outcome(c.AddScsi("vm-9", 2)), "not_found");
  const MachineRecord machine = Machine(d.host, "vm-1");
  ASSERT_EQ(machine.scsiControllers.size(), 2u);
  EXPECT_EQ(machine.scsiControllers[0].label, "scsi0");
  EXPECT_EQ(machine.scsiControllers[0].hbaType, ScsiSvc::HbaType::LSISAS);
  EXPECT_EQ(machine.scsiControllers[1].hbaType, ScsiSvc::HbaType::HXSCSI);
}

}  // namespace
}  // namespace SimHostTesting
