// What particular services add to the generic rules: the cdrom backing union, exact enumeration
// texts and sets of them, the "guest_OS" field name, optional sets and the structure metadata.
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <quil/metadata.h>
#include <tavo/vm/device/cdrom.h>
#include <tavo/vm/device/disk.h>
#include <tavo/vm/device/network.h>
#include <tavo/vm/device/sata_controller.h>
#include <tavo/vm/device/scsi_controller.h>
#include <tavo/vm/nask.h>

#include "catalogue/catalogue_support.h"

namespace Catalogue {
namespace {

namespace Cdrom = ::Com::Korvan::Tavo::Vm::Device::CdromSvc;
namespace Disk = ::Com::Korvan::Tavo::Vm::Device::DiskSvc;
namespace Network = ::Com::Korvan::Tavo::Vm::Device::NetworkSvc;
namespace Sata = ::Com::Korvan::Tavo::Vm::Device::SataControllerSvc;
namespace Scsi = ::Com::Korvan::Tavo::Vm::Device::ScsiControllerSvc;
namespace Nask = ::Com::Korvan::Tavo::Vm::NaskSvc;

const std::string kDevice = "com.korvan.tavo.vm.device.";
const std::string kBackingInfo = kDevice + "cdrom.backing_info";

std::string Text(const DataValuePtr& value) { return Quil::Data::ToText(value.get()); }

// The backing's own cases; the order of the rules, unknown fields and how an input carries its
// structures' messages are the validator's tests.
TEST(CdromBackingTest, UnionRulesReportTheFirstViolationOnly) {
  const std::string isSet = "quil.data.union.invalid.case.state.isset.short(" + kBackingInfo + ", ";
  const std::string isNotSet =
      "quil.data.union.invalid.case.state.isnotset.short(" + kBackingInfo + ", ";
  const std::string missingTag = "quil.data.union.missing.tag.field(type)";
  struct Case {
    const char* type;
    boost::optional<std::string> deviceName, isoFile;
    Texts expected;
  };
  const boost::optional<std::string> none, dev = std::string("/dev/sr0"),
                                           iso = std::string("a.iso");
  const std::vector<Case> cases = {
      {"IMAGE", none, none, {}},
      {"IMAGE", none, iso, {}},
      {"IMAGE", dev, none, {isSet + "deviceName)"}},
      {"ATAPI", dev, none, {}},
      {"ATAPI", none, none, {isNotSet + "deviceName)"}},
      {"ATAPI", dev, iso, {isSet + "isoFile)"}},
      {"RAW", dev, none, {}},
      {"RAW", none, iso, {isNotSet + "deviceName)"}},  // iso_file is then not looked at
      {"TAPE", none, none, {missingTag}},
      {"atapi", dev, none, {isSet + "deviceName)"}},  // texts compare exactly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + (c.deviceName ? " device_name" : "") +
                 (c.isoFile ? " iso_file" : ""));
    auto backing = std::make_shared<Cdrom::BackingInfo>();
    backing->type = Cdrom::BackingType::FromText(c.type);
    backing->deviceName = c.deviceName;
    backing->isoFile = c.isoFile;
    EXPECT_EQ(Check(*backing), c.expected);
  }
}

// "<code>:<kept text> -> <text converted back>" of the enumeration decoded from `text`.
template <typename E>
std::string Decode(const std::string& text) {
  E decoded;
  const Texts messages = FromValue(Str(text), decoded);
  if (!messages.empty()) return messages[0];
  MessageList ignored;
  return std::to_string(decoded.code()) + ":" + decoded.unknownText() + " -> " +
         Text(ToValue(decoded, ignored));
}

TEST(EnumerationTest, TextsAreLookedUpExactlyAndSetsOrderByEnumeratorThenText) {
  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR3"), "2: -> \"FLINDR3\"");
  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR"), "1: -> \"FLINDR\"");
  EXPECT_EQ(Decode<Network::VirtualDev>("e1000"), "6:e1000 -> \"e1000\"");
  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR33"), "6:FLINDR33 -> \"FLINDR33\"");
  EXPECT_EQ(Decode<Scsi::HbaType>("_UNKNOWN"), "3: -> \"_UNKNOWN\"");
  EXPECT_EQ(Decode<Sata::HbaType>("ahci"), "1:ahci -> \"ahci\"");

  Cdrom::FilterSpec filter;
  const DataValuePtr types =
      List({Str("zeta"), Str("IMAGE"), Str("alpha"), Str("ATAPI"), Str("zeta"), Str("Zeta")});
  ASSERT_EQ(
      FromValue(Struct(kDevice + "cdrom.filter_spec", {{"backing_types", Some(types)}}), filter),
      Texts{});
  // Known enumerators first, in declaration order, then unknown texts in byte order.
  MessageList messages;
  EXPECT_EQ(Text(ToValue(filter, messages)),
            "com.korvan.tavo.vm.device.cdrom.filter_spec{cdroms: none, backing_types: "
            "some(set[\"ATAPI\", \"IMAGE\", \"Zeta\", \"alpha\", \"zeta\"]), devices: none}");
}

TEST(NaskTest, GuestOsIsSpelledExactly) {
  const std::string name = "com.korvan.tavo.vm.nask.create_spec";
  Nask::CreateSpec decoded, lowerCase;
  ASSERT_EQ(FromValue(Struct(name, {{"vm", Str("vm-1")},
                                    {"guest_OS", Str("linux")},
                                    {"hw_version", Some(Str("v19"))}}),
                      decoded),
            Texts{});
  EXPECT_EQ(decoded.guestOS, "linux");
  EXPECT_EQ(decoded.hwVersion.value_or("unset"), "v19");
  EXPECT_EQ(FromValue(Struct(name, {{"vm", Str("vm-1")}, {"guest_os", Str("linux")}}), lowerCase),
            Texts{"quil.data.field.missing(guest_OS, " + name + ")"});
}

TEST(FilterTest, AnEmptySetIsNotAnUnsetOne) {
  Disk::FilterSpec empty, unset, fromEmpty, fromUnset;
  empty.disks.emplace();
  MessageList messages;
  const auto emptyValue = ToValue(empty, messages), unsetValue = ToValue(unset, messages);
  EXPECT_EQ(Text(emptyValue), kDevice + "disk.filter_spec{disks: some(set[]), devices: none}");
  EXPECT_EQ(Text(unsetValue), kDevice + "disk.filter_spec{disks: none, devices: none}");
  EXPECT_TRUE(messages.empty());
  // Decoded into new structures, as the bindings always do.
  ASSERT_EQ(FromValue(emptyValue, fromEmpty), Texts{});
  EXPECT_TRUE(fromEmpty.disks.has_value() && fromEmpty.disks->empty());
  EXPECT_FALSE(fromEmpty.devices.has_value());
  ASSERT_EQ(FromValue(unsetValue, fromUnset), Texts{});
  EXPECT_FALSE(fromUnset.disks.has_value());
}

TEST(MetadataTest, NineFactoriesDescribeTheIdentifierFields) {
  using Quil::Metadata::StructInfo;
  using Entries = std::vector<std::pair<std::string, std::string>>;  // key, resource type
  const std::string vm = "com.korvan.tavo.resources.VirtualMachine";
  const std::string disk = "com.korvan.tavo.resources.VirtualDisk";
  const std::string network = "com.korvan.tavo.resources.NetworkId";
  const std::string cdrom = "Resources.VIRTUAL_CDROM";
  const std::vector<std::tuple<std::shared_ptr<StructInfo> (*)(), std::string, Entries>> factories =
      {
          {&StructInfo::Create<Cdrom::FilterSpec>, "device.Cdrom.FilterSpec", {{"cdroms", cdrom}}},
          {&StructInfo::Create<Cdrom::Summary>, "device.Cdrom.Summary", {{"cdrom", cdrom}}},
          {&StructInfo::Create<Disk::Summary>, "device.Disk.Summary", {{"disk", disk}}},
          {&StructInfo::Create<Disk::FilterSpec>, "device.Disk.FilterSpec", {{"disks", disk}}},
          {&StructInfo::Create<Disk::AddSpec>, "device.Disk.AddSpec", {{"disk", disk}, {"vm", vm}}},
          {&StructInfo::Create<Network::Summary>, "device.Network.Summary", {{"id", network}}},
          {&StructInfo::Create<Network::FilterSpec>,
           "device.Network.FilterSpec",
           {{"networks", network}}},
          {&StructInfo::Create<Network::AddSpec>,
           "device.Network.AddSpec",
           {{"network", network}, {"vm", vm}}},
          {&StructInfo::Create<Nask::CreateSpec>, "Nask.CreateSpec", {{"vm", vm}}},
      };
  for (const auto& [create, name, expected] : factories) {
    SCOPED_TRACE(name);
    const std::shared_ptr<StructInfo> info = create();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->name == "com.korvan.tavo.vm." + name && info->number == 0 && !info->extra);
    Entries entries;  // in key order, as the map holds them
    for (const auto& [key, field] : info->fields) {
      entries.emplace_back(key, field->resourceType);
      EXPECT_TRUE(field->number == 0 && !field->flag && field->fields.empty() && !field->extra);
    }
    EXPECT_EQ(entries, expected);
    // Built anew by every call: distinct objects, equal contents.
    const std::shared_ptr<StructInfo> again = create();
    EXPECT_NE(again, info);
    EXPECT_EQ(*again, *info);
    EXPECT_NE(again->fields.begin()->second, info->fields.begin()->second);
  }
}

}  // namespace
}  // namespace Catalogue
