#include <tavo/simhost/state.h>

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "simhost/simhost_client.h"

namespace SimHostTesting {
namespace {

using Tavo::SimHost::HostOptions;
using Tavo::SimHost::HostState;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

// A host state with every kind of record and every optional text both set and unset: two
// machines, one RUNNING, with controllers, disks (one named by the host), adapters and CD-ROMs.
HostState BusyState() {
  Deployment d;
  Client& c = d.client;
  EXPECT_EQ(Outcome(c.Await(&Nask::Create, Make<Vm::NaskSvc::CreateSpec>([](auto& s) {
              s.vm = "vm-a";
              s.guestOS = "debian12_64";
              s.hwVersion = "vmx-19";
            }))),
            "ok");
  EXPECT_EQ(Outcome(c.Create("vm-b")), "ok");
  EXPECT_EQ(Outcome(c.UpdateCpus("vm-a", 4, 2, true)), "ok");
  EXPECT_EQ(Outcome(c.UpdateMemory("vm-a", 2048, true)), "ok");
  EXPECT_EQ(Outcome(c.Await(&Sata::Add, "vm-a", SataSvc::HbaType::AHCI, 1)), "ok");
  EXPECT_EQ(Outcome(c.Await(&Scsi::Add, "vm-a", ScsiSvc::HbaType::LSISAS, 0)), "ok");
  EXPECT_EQ(c.AddDisk("vm-a", "system", "scsi0:3").value(), "system");
  EXPECT_EQ(c.AddDisk("vm-b", "").value(), "disk-1");
  EXPECT_EQ(Outcome(c.AddAdapter("vm-a", "lan", NetworkSvc::VirtualDev::E1000E, "ethernet2")),
            "ok");
  EXPECT_EQ(c.AddCdrom("vm-a", std::string("/isos/a.iso"), "sata1:0").value(), "cdrom-1");
  EXPECT_EQ(c.AddCdrom("vm-a").value(), "cdrom-2");  // an empty drive
  EXPECT_EQ(Outcome(c.Await(&Cdrom::Add, "vm-b", Make<CdromSvc::BackingInfo>([](auto& b) {
              b.type = CdromSvc::BackingType::ATAPI;
              b.deviceName = "/dev/sr0";
            }),
                            "")),
            "ok");
  EXPECT_EQ(Outcome(c.Await(&Power::SwitchOn, "vm-a", false, false)), "ok");
  return d.host.State();
}

TEST(HostStateTest, RoundTripsThroughJsonAndCarriesOnInANewHost) {
  const HostState saved = BusyState();
  const Tavo::SimHost::MachineRecord* created = saved.inventory.Find("vm-a");
  ASSERT_NE(created, nullptr);  // as "create" was asked
  EXPECT_EQ(created->guestOS + " " + created->hwVersion.value_or("none"), "debian12_64 vmx-19");
  const std::string text = Tavo::SimHost::StateToJson(saved);
  HostState loaded;
  std::string error;
  ASSERT_TRUE(Tavo::SimHost::StateFromJson(text, loaded, error)) << error;
  // Every field was written and read back: the second writing is the same text.
  EXPECT_EQ(Tavo::SimHost::StateToJson(loaded), text);

  HostOptions options;
  options.initial = std::make_shared<const HostState>(loaded);
  Deployment d(options);
  // The new host carries on: names are never made twice, and the rules see the old devices.
  EXPECT_EQ(d.client.AddCdrom("vm-b").value(), "cdrom-4");
  EXPECT_EQ(d.client.AddDisk("vm-b", "").value(), "disk-2");
  EXPECT_EQ(Outcome(d.client.AddDisk("vm-b", "system")), "already_exists");
  EXPECT_EQ(Outcome(d.client.UpdateMemory("vm-a", 1024)), "not_allowed_in_current_state");
}

struct Malformed {
  const char* what;
  std::string from;  // a piece of the busy state's text, replaced by `to`
  std::string to;
  const char* fault;  // a piece of the message
};

TEST(HostStateTest, RefusesMalformedTextWithAMessageNamingTheFault) {
  const std::string good = Tavo::SimHost::StateToJson(BusyState());
  const std::vector<Malformed> table = {
      {"not JSON", "{\"format\"", "{format", "not JSON (at byte 1"},
      {"trailing text", "]}\n", "]} x", "not JSON"},
      {"newer format", "\"format\":1", "\"format\":2", "format 2 is not one this host reads (1)"},
      {"missing member", "\"loaded\":true,", "", "machines[0]: the member \"loaded\" is missing"},
      {"unknown member", "\"loaded\":true", "\"loaded\":true,\"colour\":1",
       "machines[0]: unknown member \"colour\""},
      {"wrong type", "\"count\":4", "\"count\":\"4\"",
       "machines[0].cpus.count: expected an integer, found a string"},
      {"fraction", "\"count\":4", "\"count\":4.5", "found a number with a fraction"},
      {"negative counter", "\"next_disk\":2", "\"next_disk\":-2", "next_disk: expected a count"},
      {"unknown enumeration", "\"RUNNING\"", "\"ON\"",
       "machines[0].power: \"ON\" is not one of STOPPED, RUNNING, SUSPENDED"},
      {"machines not an array", "\"machines\":[", "\"machines\":{},\"x\":[",
       "machines: expected an array, found an object"},
      {"machine twice", "\"vm\":\"vm-b\"", "\"vm\":\"vm-a\"", "vm-a is listed twice"},
      {"disk twice", "\"disk\":\"disk-1\"", "\"disk\":\"system\"", "system is attached twice"},
      {"slot twice", "\"device\":\"sata1:0\"", "\"device\":\"ide0:0\"",
       "The slot ide0:0 of the virtual machine vm-a holds cdrom-1 already."},
      {"no controller", "\"device\":\"scsi0:3\"", "\"device\":\"sata0:3\"",
       "has no SATA controller 0"},
      {"malformed slot", "\"device\":\"ethernet2\"", "\"device\":\"eth2\"",
       "names no network adapter"},
      {"cdrom from the future", "\"next_cdrom\":4", "\"next_cdrom\":2",
       "\"cdrom-2\" of the virtual machine vm-a is not one the host made"},
      {"running, not loaded", "\"power\":\"RUNNING\",\"loaded\":true",
       "\"power\":\"RUNNING\",\"loaded\":false", "is RUNNING but not loaded"},
      {"cpus out of range", "\"count\":4", "\"count\":65", "cannot have 65 CPUs"},
  };
  for (const Malformed& row : table) {
    SCOPED_TRACE(row.what);
    std::string text = good;
    const std::size_t at = text.find(row.from);
    ASSERT_NE(at, std::string::npos) << row.from;
    text.replace(at, row.from.size(), row.to);
    HostState out;
    out.nextDisk = 77;
    std::string error;
    EXPECT_FALSE(Tavo::SimHost::StateFromJson(text, out, error));
    EXPECT_THAT(error, HasSubstr(row.fault));
    EXPECT_EQ(out.nextDisk, 77u);  // untouched
    EXPECT_TRUE(out.inventory.machines.empty());
  }
}

// That a change is saved before its answer, the daemon's SIGKILL test shows.
TEST(HostStateTest, AChangeThatCannotBeSavedIsUndone) {
  bool refuse = false;
  HostOptions options(HostOptions::Delivery::Worker);
  options.persist = [&](const HostState&, std::string& failure) {
    if (refuse) failure = "disk full";
    return !refuse;
  };
  Deployment d(options);
  ASSERT_EQ(Outcome(d.client.Create("vm-1")), "ok");
  refuse = true;
  EXPECT_EQ(Failure(d.client.Create("vm-2")),
            "error: The host could not save its state, so the change was undone: disk full");
  EXPECT_EQ(d.host.State().inventory.machines.size(), 1u);
  refuse = false;
  EXPECT_EQ(Outcome(d.client.Create("vm-2")), "ok");
}

using StateFileTest = ScratchDirTest;

// A missing file, saving, replacing and loading are the daemon's restarts; here what they miss.
TEST_F(StateFileTest, SavingLeavesNoTemporaryFileAndFailuresSayWhy) {
  const std::string path = (dir_ / "host.json").string();
  const HostState busy = BusyState();
  std::string error;
  ASSERT_TRUE(Tavo::SimHost::SaveStateFile(path, busy, error)) << error;
  ASSERT_TRUE(Tavo::SimHost::SaveStateFile(path, busy, error)) << error;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);

  const std::string nowhere = (dir_ / "missing" / "host.json").string();
  EXPECT_FALSE(Tavo::SimHost::SaveStateFile(nowhere, busy, error));
  EXPECT_THAT(error, HasSubstr("cannot create a temporary file beside " + nowhere));
  boost::optional<HostState> loaded;
  EXPECT_FALSE(Tavo::SimHost::LoadStateFile(dir_.string(), loaded, error));
  EXPECT_THAT(error, HasSubstr("not a state file"));
}

}  // namespace
}  // namespace SimHostTesting
