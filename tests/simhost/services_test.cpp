#include <tavo/simhost/host.h>

#include <set>
#include <string>

#include <gtest/gtest.h>
#include <boost/optional/optional_io.hpp>

#include "simhost/simhost_client.h"

namespace SimHostTesting {
namespace {

using Tavo::SimHost::MachineRecord;
using Strings = std::set<std::string>;

// A deployment with one STOPPED machine, "vm-1".
class SimHostServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Outcome(c.Create("vm-1")), "ok"); }

  Deployment d;
  Client& c = d.client;
};

// Loading, device changes and deletion, each in the power states that allow it.
TEST_F(SimHostServicesTest, PowerStateGovernsLoadingDeviceChangesAndDeletion) {
  // "create" declares only Error: the message says what is wrong.
  EXPECT_EQ(Message(c.Create("vm-1")), "The virtual machine vm-1 already exists.");
  // A huge name is quoted clipped, so that the refusal stays small. (That "load" answers an
  // unknown machine with Error, its one declared error, the dispatch fuzz target checks.)
  EXPECT_EQ(Message(c.Await(&Dock::Load, std::string(100'000, 'v'))),
            "The virtual machine " + std::string(253, 'v') + "... does not exist.");

  // STOPPED: loading takes the configuration; a change needs loading again, no change does not.
  EXPECT_FALSE(Machine(d.host, "vm-1").loaded);
  EXPECT_EQ(Outcome(c.Await(&Dock::Load, "vm-1")), "ok");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 1)), "ok");
  EXPECT_TRUE(Machine(d.host, "vm-1").loaded);
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 2)), "ok");
  EXPECT_FALSE(Machine(d.host, "vm-1").loaded);
  ASSERT_EQ(Outcome(c.Await(&Sata::Add, "vm-1", SataSvc::HbaType::AHCI, 0)), "ok");
  ASSERT_EQ(c.AddDisk("vm-1", "", "ide0:0").value(), "disk-1");
  // One device per slot, whatever the service that put it there.
  EXPECT_EQ(Failure(c.AddCdrom("vm-1", boost::none, "ide0:0")),
            "already_exists: The slot ide0:0 of the virtual machine vm-1 holds disk-1 already.");

  // RUNNING: CD-ROMs and adapters come and go; disks and controllers wait for STOPPED.
  ASSERT_EQ(Outcome(c.Await(&Power::SwitchOn, "vm-1", false, false)), "ok");
  EXPECT_EQ(Message(c.Await(&Dock::Load, "vm-1")),
            "The virtual machine vm-1 is RUNNING; load needs STOPPED.");
  EXPECT_EQ(Failure(c.AddDisk("vm-1", "")),
            "not_allowed_in_current_state: The virtual machine vm-1 is RUNNING; adding a disk "
            "needs STOPPED.");
  EXPECT_EQ(Outcome(c.Await(&Sata::Add, "vm-1", SataSvc::HbaType::AHCI, 1)),
            "not_allowed_in_current_state");
  EXPECT_EQ(c.AddCdrom("vm-1", std::string("a.iso")).value(), "cdrom-1");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan")), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan")), "ok");
  EXPECT_EQ(Outcome(c.Await(&Network::Remove, "vm-1", "ethernet1")), "ok");
  EXPECT_TRUE(Machine(d.host, "vm-1").loaded);  // hot-plugged changes apply at once

  // SUSPENDED: nothing changes.
  ASSERT_EQ(Outcome(c.Await(&Power::Suspend, "vm-1")), "ok");
  EXPECT_EQ(Failure(c.AddCdrom("vm-1")),
            "not_allowed_in_current_state: The virtual machine vm-1 is SUSPENDED; adding a CD-ROM "
            "needs STOPPED or RUNNING.");
  EXPECT_EQ(
      Failure(c.AddAdapter("vm-1", "lan")),
      "error: The virtual machine vm-1 is SUSPENDED; adding a network adapter needs STOPPED or "
      "RUNNING.");
  EXPECT_EQ(Outcome(c.Await(&Network::Remove, "vm-1", "ethernet0")),
            "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.Await(&Cdrom::Delete, "vm-1", "ide0:1")), "not_allowed_in_current_state");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 2048)), "not_allowed_in_current_state");

  // STOPPED: changes need loading again; deletion frees the disk names the machine held.
  ASSERT_EQ(Outcome(c.Await(&Power::SwitchOff, "vm-1")), "ok");
  ASSERT_EQ(Outcome(c.Await(&Dock::Load, "vm-1")), "ok");
  EXPECT_EQ(Outcome(c.Await(&Cdrom::Delete, "vm-1", "ide0:1")), "ok");
  EXPECT_FALSE(Machine(d.host, "vm-1").loaded);
  EXPECT_EQ(Outcome(c.Await(&Nask::Delete, "vm-1")), "ok");
  ASSERT_EQ(Outcome(c.Create("vm-2")), "ok");
  EXPECT_EQ(c.AddDisk("vm-2", "disk-1").value(), "disk-1");
}

TEST_F(SimHostServicesTest, PowerFollowsItsStateMachine) {
  const boost::optional<bool> none;
  struct Step {
    const char* operation;
    Runtime after;
    const char* message;  // empty for success, else a not_allowed_in_current_state message
  };
  const Step steps[] = {
      {"reset", Runtime::STOPPED, "vm-1 is STOPPED; reset needs RUNNING."},
      {"switch_off", Runtime::STOPPED, "vm-1 is STOPPED; switch_off needs RUNNING or SUSPENDED."},
      {"switch_on soft", Runtime::STOPPED, "vm-1 is STOPPED; switch_on with soft needs SUSPENDED."},
      {"switch_on", Runtime::RUNNING, ""},
      {"switch_on", Runtime::RUNNING, "vm-1 is RUNNING; switch_on needs STOPPED or SUSPENDED."},
      {"suspend", Runtime::SUSPENDED, ""},
      {"switch_on paused", Runtime::SUSPENDED,
       "vm-1 is SUSPENDED; switch_on with paused needs STOPPED."},
      {"switch_on soft", Runtime::RUNNING, ""},
      {"switch_off", Runtime::STOPPED, ""},
      {"switch_on paused", Runtime::SUSPENDED, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.operation);
    const std::string op = step.operation;
    const Reply<Void> reply =
        op == "reset"              ? c.Await(&Power::Reset, "vm-1")
        : op == "suspend"          ? c.Await(&Power::Suspend, "vm-1")
        : op == "switch_off"       ? c.Await(&Power::SwitchOff, "vm-1")
        : op == "switch_on soft"   ? c.Await(&Power::SwitchOn, "vm-1", none, true)
        : op == "switch_on paused" ? c.Await(&Power::SwitchOn, "vm-1", true, none)
                                   : c.Await(&Power::SwitchOn, "vm-1", false, false);
    const std::string message = step.message;
    EXPECT_EQ(Outcome(reply), message.empty() ? "ok" : "not_allowed_in_current_state");
    EXPECT_EQ(Message(reply), message.empty() ? "" : "The virtual machine " + message);
    EXPECT_EQ(c.Await(&Power::Get, "vm-1").value(), step.after);
  }
}

TEST_F(SimHostServicesTest, CpusAndMemoryCheckValuesAndHotPlugRules) {
  const auto on = [&] {
    ASSERT_EQ(Outcome(c.Await(&Power::SwitchOn, "vm-1", false, false)), "ok");
  };
  const auto off = [&] { ASSERT_EQ(Outcome(c.Await(&Power::SwitchOff, "vm-1")), "ok"); };
  EXPECT_EQ(Message(c.UpdateCpus("vm-1", 6, 4)),
            "The virtual machine vm-1 cannot split 6 CPUs into sockets of 4 cores.");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 4, 2)), "ok");

  // RUNNING without hot plug: nothing but unchanged values; values are checked before state.
  on();
  EXPECT_EQ(Failure(c.UpdateCpus("vm-1", 6)),
            "not_allowed_in_current_state: The virtual machine vm-1 is RUNNING without CPU hot "
            "add; its CPUs can go from 4 to 6 "
            "only while it is STOPPED.");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 4, 2, false)), "ok");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 7)), "invalid_argument");

  // With hot add: more CPUs, not fewer; nothing while SUSPENDED.
  off();
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", boost::none, boost::none, true)), "ok");
  on();  // growing is the concurrency test's
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-1", 2)), "not_allowed_in_current_state");
  ASSERT_EQ(Outcome(c.Await(&Power::Suspend, "vm-1")), "ok");
  EXPECT_EQ(Message(c.UpdateCpus("vm-1", 10)),
            "The virtual machine vm-1 is SUSPENDED; changing the CPUs needs STOPPED or RUNNING.");

  // Memory: a multiple of 4 MiB up to 1 TiB, and while RUNNING it only grows, with hot add.
  off();
  for (const std::int64_t size : {0, 2, 1023, 1048580}) {
    EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", size)), "invalid_argument") << size;
  }
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 2048, true)), "ok");
  on();
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-1", 4096)), "ok");
  EXPECT_EQ(Message(c.UpdateMemory("vm-1", 2048)),
            "The virtual machine vm-1 is RUNNING; its memory can shrink from 4096 to 2048 MiB "
            "only while it is STOPPED.");
  EXPECT_EQ(c.Await(&Memory::Get, "vm-1").value()->size, 4096);
}

TEST_F(SimHostServicesTest, CdromsTakeSlotsAndListThroughFilters) {
  using Type = CdromSvc::BackingType;
  const auto list = [&](Quil::OptionalPtr<const CdromSvc::FilterSpec> filter) {
    return Labels(c.Await(&Cdrom::List, "vm-1", filter).value(),
                  [](const auto& e) { return e.cdrom + "@" + e.device; });
  };
  EXPECT_EQ(c.AddCdrom("vm-1", std::string("a.iso")).value(), "cdrom-1");
  EXPECT_EQ(c.AddCdrom("vm-1", boost::none, "ide1:1").value(), "cdrom-2");
  EXPECT_EQ(c.AddCdrom("vm-1").value(), "cdrom-3");
  EXPECT_EQ(c.AddCdrom("vm-1").value(), "cdrom-4");
  EXPECT_EQ(Outcome(c.AddCdrom("vm-1")), "unable_to_allocate_resource");
  ASSERT_EQ(Outcome(c.Await(&Sata::Add, "vm-1", SataSvc::HbaType::AHCI, 0)), "ok");
  EXPECT_EQ(c.AddCdrom("vm-1").value(), "cdrom-5");

  EXPECT_EQ(Outcome(c.AddCdrom("vm-1", std::string(""))), "invalid_argument");
  EXPECT_EQ(Message(c.AddCdrom("vm-1", boost::none, "scsi0:0")),
            "A CD-ROM cannot sit in scsi0:0; it attaches to IDE or SATA.");
  for (const char* malformed : {"ide00:0", "ide2:0", "ide0:2", "sata0:30", "ide0", "x"}) {
    EXPECT_EQ(Outcome(c.AddCdrom("vm-1", boost::none, malformed)), "invalid_argument") << malformed;
  }

  EXPECT_EQ(list({}), (Texts{"cdrom-1@ide0:0", "cdrom-2@ide1:1", "cdrom-3@ide0:1", "cdrom-4@ide1:0",
                             "cdrom-5@sata0:0"}));
  EXPECT_EQ(list(Make<CdromSvc::FilterSpec>([](auto& f) {
              f.backingTypes = std::set<Type>{Type::IMAGE};
              f.devices = Strings{"ide1:0", "sata0:0", "ide9:9"};
            })),
            (Texts{"cdrom-4@ide1:0", "cdrom-5@sata0:0"}));

  // Deleting by device text frees the slot; identifiers are never reused.
  EXPECT_EQ(Outcome(c.Await(&Cdrom::Delete, "vm-1", "ide0:1")), "ok");
  EXPECT_EQ(Outcome(c.Await(&Cdrom::Delete, "vm-1", "ide0:1")), "not_found");
  EXPECT_EQ(c.AddCdrom("vm-1").value(), "cdrom-6");
  EXPECT_EQ(list(Make<CdromSvc::FilterSpec>([](auto& f) {
              f.cdroms = Strings{"cdrom-3", "cdrom-6"};
            })),
            (Texts{"cdrom-6@ide0:1"}));
}

TEST_F(SimHostServicesTest, NetworkAdaptersAreAddedListedAndRemoved) {
  using Dev = NetworkSvc::VirtualDev;
  const auto list = [&](Quil::OptionalPtr<const NetworkSvc::FilterSpec> filter) {
    return Labels(c.Await(&Network::List, "vm-1", filter).value()->list,
                  [](const auto& e) { return e.device + "@" + e.id; });
  };
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000E)), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "dmz", Dev::FLINDR3, "ethernet5")), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan")), "ok");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-1", "lan", Dev::E1000, "ethernet5")), "already_exists");
  // "add" declares no InvalidArgument: these are Error, with a message saying why.
  EXPECT_EQ(
      Failure(c.AddAdapter("vm-1", "lan", Dev::FromText("e1000"))),
      "error: The network adapter type e1000 is unknown; it is TORVEN, FLINDR, FLINDR3, KRDMA, "
      "E1000 or E1000E.");

  EXPECT_EQ(list({}), (Texts{"ethernet0@lan", "ethernet5@dmz", "ethernet1@lan"}));
  EXPECT_EQ(list(Make<NetworkSvc::FilterSpec>([](auto& f) {
              f.networks = Strings{"lan"};
              f.adapters = std::set<Dev>{Dev::E1000, Dev::FLINDR3};
            })),
            (Texts{"ethernet1@lan"}));

  EXPECT_EQ(Outcome(c.Await(&Network::Remove, "vm-1", "ethernet5")), "ok");
  EXPECT_EQ(Outcome(c.Await(&Network::Remove, "vm-1", "ethernet5")), "not_found");
  for (int i = 0; i < 8; ++i) ASSERT_EQ(Outcome(c.AddAdapter("vm-1", "lan")), "ok");
  EXPECT_EQ(Failure(c.AddAdapter("vm-1", "lan")),
            "error: The virtual machine vm-1 has no free slot for a network adapter.");
}

TEST_F(SimHostServicesTest, ControllersAreUniquePerBusAndDisksNamedOnce) {
  const auto ahci = SataSvc::HbaType::AHCI;
  const auto labels = [&] {
    return Labels(c.Await(&Sata::List, "vm-1", nullptr).value(),
                  [](const auto& e) { return e.label; });
  };
  ASSERT_EQ(Outcome(c.Create("vm-2")), "ok");
  EXPECT_EQ(c.AddDisk("vm-1", "").value(), "disk-1");  // no controller: IDE
  EXPECT_EQ(Outcome(c.Await(&Scsi::Add, "vm-1", ScsiSvc::HbaType::LSISAS, 0)), "ok");
  EXPECT_EQ(Outcome(c.Await(&Scsi::Add, "vm-1", ScsiSvc::HbaType::LSISAS, 0)), "already_exists");
  EXPECT_EQ(Outcome(c.Await(&Scsi::Add, "vm-1", ScsiSvc::HbaType::FromText("BUSLOGIC"), 2)),
            "error");
  EXPECT_EQ(c.AddDisk("vm-1", "").value(), "disk-2");  // SCSI comes first
  EXPECT_EQ(Outcome(c.AddDisk("vm-1", "data", "sata0:3")), "not_found");

  // SATA numbers are counted apart from SCSI ones.
  EXPECT_EQ(Outcome(c.Await(&Sata::Add, "vm-1", ahci, 2)), "ok");
  EXPECT_EQ(Outcome(c.Await(&Sata::Add, "vm-1", ahci, 0)), "ok");
  EXPECT_EQ(Failure(c.Await(&Sata::Add, "vm-1", ahci, 0)),
            "already_exists: The virtual machine vm-1 has a SATA controller 0 already.");
  EXPECT_EQ(Outcome(c.Await(&Sata::Add, "vm-1", ahci, 4)), "error");  // no InvalidArgument
  EXPECT_EQ(Failure(c.Await(&Sata::Add, "vm-1", SataSvc::HbaType::FromText("ahci"), 1)),
            "error: The SATA adapter type ahci is unknown; it is AHCI.");
  EXPECT_EQ(labels(), (Texts{"sata0", "sata2"}));
  EXPECT_EQ(Outcome(c.Await(&Sata::Update, "vm-1", ahci, 2)), "ok");
  const MachineRecord machine = Machine(d.host, "vm-1");
  ASSERT_EQ(machine.scsiControllers.size(), 1u);
  EXPECT_EQ(machine.scsiControllers[0].label, "scsi0");
  EXPECT_EQ(machine.scsiControllers[0].hbaType, ScsiSvc::HbaType::LSISAS);

  EXPECT_EQ(c.AddDisk("vm-1", "data", "sata0:3").value(), "data");
  EXPECT_EQ(
      Failure(c.AddDisk("vm-2", "data")),
      "already_exists: The virtual disk data is attached to the virtual machine vm-1 already.");
  EXPECT_EQ(Outcome(c.AddDisk("vm-1", "other", "scsi0:16")), "invalid_argument");
  // Host-made names skip the ones clients chose.
  EXPECT_EQ(c.AddDisk("vm-2", "disk-3").value(), "disk-3");
  EXPECT_EQ(c.AddDisk("vm-2", "").value(), "disk-4");
  EXPECT_EQ(Labels(c.Await(&Disk::List, "vm-1", nullptr).value()->list,
                   [](const auto& e) { return e.disk + "@" + e.device; }),
            (Texts{"disk-1@ide0:0", "disk-2@scsi0:0", "data@sata0:3"}));

  // A controller holding a device stays.
  EXPECT_EQ(Failure(c.Await(&Sata::Delete, "vm-1", 0)),
            "not_allowed_in_current_state: The SATA controller 0 of the virtual machine vm-1 still "
            "holds data.");
  EXPECT_EQ(Outcome(c.Await(&Sata::Delete, "vm-1", 2)), "ok");
  EXPECT_EQ(Outcome(c.Await(&Sata::Delete, "vm-1", 2)), "not_found");
  EXPECT_EQ(labels(), (Texts{"sata0"}));

  // A full machine has no slot left.
  ASSERT_EQ(Outcome(c.Create("vm-3")), "ok");
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Outcome(c.AddDisk("vm-3", "")), "ok");
  EXPECT_EQ(Outcome(c.AddDisk("vm-3", "")), "unable_to_allocate_resource");
}

}  // namespace
}  // namespace SimHostTesting
