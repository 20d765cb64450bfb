// What particular services add to the generic rules: the cdrom backing union, exact enumeration
// texts and sets of them, adapter types that are not validated, the "vm_id" and "guest_OS" field
// names, optional sets, nested structures checked strictly, and the messages of missing structures.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <quil/data/definition.h>
#include <quil/provider/api_provider.h>
#include <quil/stub/invoker.h>
#include <quil/type_info.h>
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

using Quil::Core::AsyncActivation;
using Quil::Data::StructDefinition;
using Quil::Data::UnionCaseDefinition;

const std::string kBackingInfo = "com.korvan.tavo.vm.device.cdrom.backing_info";
const std::string kDevice = "::Com::Korvan::Tavo::Vm::Device::";
const std::string kCdrom = kDevice + "CdromSvc::";
const std::string kNask = "::Com::Korvan::Tavo::Vm::NaskSvc::";

std::shared_ptr<Quil::Data::StructValue> Speed() {
  auto store = Quil::Data::StructValue::GetInstance("unknown");
  store->SetField("speed", Str("x"));
  return store;
}

std::string IsSet(const char* member) {
  return "quil.data.union.invalid.case.state.isset.short(" + kBackingInfo + ", " + member + ")";
}
std::string IsNotSet(const char* member) {
  return "quil.data.union.invalid.case.state.isnotset.short(" + kBackingInfo + ", " + member + ")";
}
const std::string kMissingTag = "quil.data.union.missing.tag.field(type)";

TEST(CdromBackingTest, UnionRulesReportTheFirstViolationOnly) {
  struct Case {
    const char* type;
    boost::optional<std::string> deviceName, isoFile;
    bool unknownField;
    Texts expected;
  };
  const boost::optional<std::string> none;
  const std::string dev = "/dev/sr0", iso = "disc.iso";
  const std::vector<Case> cases = {
      {"IMAGE", none, none, false, {}},
      {"IMAGE", none, iso, false, {}},
      {"IMAGE", dev, none, false, {IsSet("deviceName")}},
      {"IMAGE", dev, iso, false, {IsSet("deviceName")}},
      {"ATAPI", dev, none, false, {}},
      {"ATAPI", none, none, false, {IsNotSet("deviceName")}},
      {"ATAPI", dev, iso, false, {IsSet("isoFile")}},
      {"RAW", dev, none, false, {}},
      {"RAW", none, iso, false, {IsNotSet("deviceName")}},  // iso_file is then not looked at
      {"TAPE", none, none, false, {kMissingTag}},
      {"TAPE", dev, iso, false, {IsSet("deviceName")}},
      {"TAPE", none, iso, false, {IsSet("isoFile")}},
      {"_UNKNOWN", none, none, false, {kMissingTag}},
      {"atapi", dev, none, false, {IsSet("deviceName")}},  // texts compare exactly
      // Unknown fields end the check before the union rules.
      {"ATAPI", none, iso, true, {Extra(kCdrom + "BackingInfo", "speed")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + (c.deviceName ? " device_name" : "") +
                 (c.isoFile ? " iso_file" : "") + (c.unknownField ? " speed" : ""));
    Cdrom::BackingInfo backing;
    backing.type = Cdrom::BackingType::FromText(c.type);
    backing.deviceName = c.deviceName;
    backing.isoFile = c.isoFile;
    if (c.unknownField) backing.unknownFields = Speed();
    EXPECT_EQ(Check(backing), c.expected);

    // The "add" input carries the backing's messages, then names the operation.
    Cdrom::AddMethod::Input input;
    input.vm = "vm-1";
    input.device = "ide0:0";
    input.backing = std::make_shared<Cdrom::BackingInfo>(backing);
    Texts expected = c.expected;
    if (!expected.empty()) expected.push_back(InvalidInput(kCdrom + "Add"));
    EXPECT_EQ(Check(input), expected);
  }
  // A default backing has an unknown type with no text: no case applies.
  EXPECT_EQ(Check(*Quil::TypeInfo<Cdrom::BackingInfo>::defaultInstance()), Texts{kMissingTag});
  EXPECT_EQ(Check(Cdrom::AddMethod::Input{}), Texts{InvalidInput(kCdrom + "Add")});
  EXPECT_EQ(ToValueMessages(Cdrom::AddMethod::Input{}), Texts{Unset(kBackingInfo)});

  // A type outside the enumeration arrives as _UNKNOWN keeping its text, and goes out again so.
  Cdrom::BackingInfo decoded;
  const auto tape = Struct(kBackingInfo, {{"type", Str("TAPE")}, {"iso_file", Some(Str(iso))}});
  ASSERT_EQ(FromValue(tape, decoded), Texts{});
  EXPECT_EQ(decoded.type.code(), Cdrom::BackingType::_UNKNOWN);
  EXPECT_EQ(decoded.type.unknownText(), "TAPE");
  EXPECT_EQ(Check(decoded), Texts{IsSet("isoFile")});
  MessageList messages;
  EXPECT_EQ(*FieldOf(ToValue(decoded, messages), "type"), *Str("TAPE"));

  // The definitions carry the same rules for values: true required, false absent.
  const auto input =
      std::dynamic_pointer_cast<const StructDefinition>(Cdrom::AddMethod::inputDef());
  ASSERT_NE(input, nullptr);
  const auto backing =
      std::dynamic_pointer_cast<const StructDefinition>(input->GetField("backing"));
  ASSERT_NE(backing, nullptr);
  const auto deviceName =
      std::dynamic_pointer_cast<const UnionCaseDefinition>(backing->GetField("device_name"));
  const auto isoFile =
      std::dynamic_pointer_cast<const UnionCaseDefinition>(backing->GetField("iso_file"));
  ASSERT_TRUE(deviceName && isoFile);
  EXPECT_EQ(deviceName->GetTagField(), "type");
  EXPECT_EQ(isoFile->GetTagField(), "type");
  for (const char* tag : {"ATAPI", "RAW"}) {
    EXPECT_TRUE(deviceName->Evaluate(tag) == true && isoFile->Evaluate(tag) == false) << tag;
  }
  EXPECT_TRUE(deviceName->Evaluate("IMAGE") == false);
  EXPECT_TRUE(boost::logic::indeterminate(isoFile->Evaluate("IMAGE")));
  for (const char* tag : {"_UNKNOWN", "TAPE", "atapi", ""}) {
    EXPECT_TRUE(deviceName->Evaluate(tag) == false && isoFile->Evaluate(tag) == false) << tag;
  }
}

// "<code>:<kept text> -> <text converted back>" of the enumeration decoded from `text`.
template <typename E>
std::string Decode(const std::string& text) {
  E decoded;
  const Texts messages = FromValue(Str(text), decoded);
  if (!messages.empty()) return messages[0];
  MessageList ignored;
  const auto back = ToValue(decoded, ignored);
  const auto* string = dynamic_cast<const Quil::Data::StringValue*>(back.get());
  return std::to_string(decoded.code()) + ":" + decoded.unknownText() + " -> " +
         (string != nullptr ? string->GetValue() : "?");
}

TEST(EnumerationTest, TextsAreLookedUpExactlyAndSetsOrderByEnumeratorThenText) {
  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR3"), "2: -> FLINDR3");
  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR"), "1: -> FLINDR");
  EXPECT_EQ(Decode<Network::VirtualDev>("E1000E"), "5: -> E1000E");
  EXPECT_EQ(Decode<Network::VirtualDev>("e1000"), "6:e1000 -> e1000");
  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR33"), "6:FLINDR33 -> FLINDR33");
  EXPECT_EQ(Decode<Scsi::HbaType>("HXSCSI"), "2: -> HXSCSI");
  EXPECT_EQ(Decode<Scsi::HbaType>("_UNKNOWN"), "3: -> _UNKNOWN");
  EXPECT_EQ(Decode<Sata::HbaType>("ahci"), "1:ahci -> ahci");

  const std::string filterName = "com.korvan.tavo.vm.device.cdrom.filter_spec";
  auto decode = [&](DataValuePtr backingTypes) {
    Cdrom::FilterSpec filter;
    EXPECT_EQ(
        FromValue(Struct(filterName, {{"backing_types", Some(std::move(backingTypes))}}), filter),
        Texts{});
    Texts texts;
    for (const auto& type : filter.backingTypes.value_or(std::set<Cdrom::BackingType>{})) {
      texts.push_back(std::to_string(type.code()) + ":" + type.ToText());
    }
    return texts;
  };
  EXPECT_EQ(decode(List({Str("IMAGE"), Str("ATAPI"), Str("IMAGE")})),
            (Texts{"0:ATAPI", "1:IMAGE"}));
  EXPECT_EQ(decode(List(
                {Str("zeta"), Str("IMAGE"), Str("alpha"), Str("ATAPI"), Str("zeta"), Str("Zeta")})),
            (Texts{"0:ATAPI", "1:IMAGE", "3:Zeta", "3:alpha", "3:zeta"}));
  // Back to a value: a set, in the same order.
  Cdrom::FilterSpec filter;
  filter.backingTypes = std::set<Cdrom::BackingType>{
      Cdrom::BackingType::FromText("zeta"), Cdrom::BackingType::RAW,
      Cdrom::BackingType::FromText("alpha"), Cdrom::BackingType::ATAPI};
  MessageList messages;
  EXPECT_EQ(*FieldOf(ToValue(filter, messages), "backing_types"),
            *Some(Set({Str("ATAPI"), Str("RAW"), Str("alpha"), Str("zeta")})));
}

TEST(ControllerTest, AdapterTypesAreNotValidatedAndVmIdIsRequired) {
  // The implementations are client stubs over a recording provider: what they send out again is
  // what they received.
  AnsweringProvider relay;
  relay.answer = Quil::Data::VoidValue::GetInstance();
  AsyncActivation defaults;
  auto relayStub = std::make_shared<Quil::Stub::AsyncApiStub>(relay, defaults);
  Quil::Provider::LocalApiProvider provider;
  ASSERT_TRUE(provider.Register(Sata::AsyncServiceBinder::BindImplementation(
      std::make_shared<Sata::AsyncServiceStub>(relayStub))));
  ASSERT_TRUE(provider.Register(Scsi::AsyncServiceBinder::BindImplementation(
      std::make_shared<Scsi::AsyncServiceStub>(relayStub))));
  const std::string sata = "com.korvan.tavo.vm.device.sata_controller";
  const std::string scsi = "com.korvan.tavo.vm.device.scsi_controller";
  const std::string invalid = "com.korvan.quil.std.errors.invalid_argument";
  auto controller = [](const char* vmField, const char* hbaType, std::int64_t number) {
    return Input(
        {{vmField, Str("vm-1")}, {"hba_type", Str(hbaType)}, {"controller_number", Int(number)}});
  };
  struct Case {
    std::string interfaceName, method;
    DataValuePtr input;
    std::string error;  // empty: reaches the implementation
  };
  const std::vector<Case> cases = {
      {sata, "add", controller("vm", "NVME", 1), ""},
      {sata, "update", controller("vm", "ahci", 1), ""},
      // "delete" has no adapter type: one sent along is an unknown field, rejected.
      {sata, "delete", controller("vm", "AHCI", 1), invalid},
      {scsi, "add", controller("vm_id", "BUSLOGIC", 2), ""},
      {scsi, "add", controller("vm_id", "LSISAS", 3), ""},
      // The SCSI service names the virtual machine "vm_id"; "vm" does not stand in for it.
      {scsi, "add", controller("vm", "LSISAS", 4), invalid},
      {scsi, "add",
       Input({{"vm_id", Str("vm-4")},
              {"vm", Str("vm-4")},
              {"hba_type", Str("LSISAS")},
              {"controller_number", Int(5)}}),
       invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method + " " + Quil::Data::ToText(c.input.get()));
    relay.inputs.clear();
    const auto answer = InvokeNow(provider, c.interfaceName, c.method, c.input);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(ErrorName(answer), c.error);
    const Texts expected = c.error.empty() ? Texts{Quil::Data::ToText(c.input.get())} : Texts{};
    Texts received;
    for (const DataValuePtr& input : relay.inputs)
      received.push_back(Quil::Data::ToText(input.get()));
    EXPECT_EQ(received, expected);
  }
  Scsi::AddMethod::Input withoutVmId;
  EXPECT_EQ(FromValue(controller("vm", "LSISAS", 4), withoutVmId),
            Texts{"quil.data.field.missing(vm_id, com.korvan.quil.operation_input)"});
}

TEST(NaskTest, GuestOsIsSpelledExactly) {
  const std::string name = "com.korvan.tavo.vm.nask.create_spec";
  EXPECT_EQ(Shape(std::dynamic_pointer_cast<const StructDefinition>(Nask::CreateMethod::inputDef())
                      ->GetField("spec")),
            "structure " + name + "{guest_OS, hw_version, vm}");
  Nask::CreateSpec decoded;
  ASSERT_EQ(FromValue(Struct(name, {{"vm", Str("vm-1")},
                                    {"guest_OS", Str("linux")},
                                    {"hw_version", Some(Str("v19"))}}),
                      decoded),
            Texts{});
  EXPECT_EQ(decoded.guestOS, "linux");
  EXPECT_EQ(decoded.hwVersion.value_or("unset"), "v19");
  Nask::CreateSpec lowerCase;
  EXPECT_EQ(FromValue(Struct(name, {{"vm", Str("vm-1")}, {"guest_os", Str("linux")}}), lowerCase),
            Texts{"quil.data.field.missing(guest_OS, " + name + ")"});
}

TEST(FilterTest, AnEmptySetIsNotAnUnsetOne) {
  const std::string name = "com.korvan.tavo.vm.device.disk.filter_spec";
  Disk::FilterSpec empty, unset;
  empty.disks.emplace();
  MessageList messages;
  const auto emptyValue = ToValue(empty, messages);
  const auto unsetValue = ToValue(unset, messages);
  EXPECT_EQ(*emptyValue, *Struct(name, {{"disks", Some(Set({}))}, {"devices", None()}}));
  EXPECT_EQ(*unsetValue, *Struct(name, {{"disks", None()}, {"devices", None()}}));
  EXPECT_TRUE(messages.empty());
  // Decoded into new structures, as the bindings always do.
  Disk::FilterSpec fromEmpty, fromUnset;
  ASSERT_EQ(FromValue(emptyValue, fromEmpty), Texts{});
  EXPECT_TRUE(fromEmpty.disks.has_value() && fromEmpty.disks->empty());
  EXPECT_FALSE(fromEmpty.devices.has_value());
  ASSERT_EQ(FromValue(unsetValue, fromUnset), Texts{});
  EXPECT_FALSE(fromUnset.disks.has_value());
}

// Checks an input whose nested structure `member` carries an unknown field.
template <typename Input, typename Nested, typename Member>
Texts CheckWithExtraField(Member Input::*member) {
  auto nested = std::make_shared<Nested>();
  nested->unknownFields = Speed();
  Input input;
  input.*member = Member(nested);
  return Check(input);
}

TEST(ValidationTest, NestedStructuresAreCheckedStrictlyAndNamed) {
  EXPECT_EQ(
      (CheckWithExtraField<Disk::AddMethod::Input, Disk::AddSpec>(&Disk::AddMethod::Input::spec)),
      (Texts{Extra(kDevice + "DiskSvc::AddSpec", "speed"),
             InvalidInput(kDevice + "DiskSvc::Add")}));
  EXPECT_EQ((CheckWithExtraField<Network::ListMethod::Input, Network::FilterSpec>(
                &Network::ListMethod::Input::filter)),
            (Texts{Extra(kDevice + "NetworkSvc::FilterSpec", "speed"),
                   InvalidInput(kDevice + "NetworkSvc::List")}));
  EXPECT_EQ((CheckWithExtraField<Sata::ListMethod::Input, Sata::FilterSpec>(
                &Sata::ListMethod::Input::filter)),
            (Texts{Extra(kDevice + "SataControllerSvc::FilterSpec", "speed"),
                   InvalidInput(kDevice + "SataControllerSvc::List")}));
  EXPECT_EQ((CheckWithExtraField<Nask::CreateMethod::Input, Nask::CreateSpec>(
                &Nask::CreateMethod::Input::spec)),
            (Texts{Extra(kNask + "CreateSpec", "speed"), InvalidInput(kNask + "Create")}));
  EXPECT_EQ(Check(Disk::AddMethod::Input{}), Texts{InvalidInput(kDevice + "DiskSvc::Add")});
  EXPECT_EQ(Check(Network::AddMethod::Input{}), Texts{InvalidInput(kDevice + "NetworkSvc::Add")});
  EXPECT_EQ(Check(Nask::CreateMethod::Input{}), Texts{InvalidInput(kNask + "Create")});
  EXPECT_EQ(Check(Disk::ListMethod::Input{}), Texts{});
  // A list result does not descend into its summaries.
  Disk::ListResult result;
  auto summary = std::make_shared<Disk::Summary>();
  summary->unknownFields = Speed();
  result.list.push_back(summary);
  EXPECT_EQ(Check(result), Texts{});
}

TEST(ConversionTest, MissingStructuresAreNamedByWireName) {
  const std::string device = "com.korvan.tavo.vm.device.";
  auto diskResult = std::make_shared<Disk::ListResult>();
  diskResult->list.push_back(nullptr);
  auto networkResult = std::make_shared<Network::ListResult>();
  networkResult->list.push_back(nullptr);
  EXPECT_EQ(
      ToValueMessages(Cdrom::ListMethod::ResultType{std::make_shared<Cdrom::Summary>(), nullptr}),
      Texts{Unset(device + "cdrom.summary")});
  EXPECT_EQ(ToValueMessages(Sata::ListMethod::ResultType{nullptr}),
            Texts{Unset(device + "sata_controller.summary")});
  EXPECT_EQ(ToValueMessages(Sata::ListMethod::ResultType{}), Texts{});
  EXPECT_EQ(ToValueMessages(Disk::ListMethod::ResultType{}),
            Texts{Unset(device + "disk.list_result")});
  EXPECT_EQ(ToValueMessages(Disk::ListMethod::ResultType(diskResult)),
            Texts{Unset(device + "disk.summary")});
  EXPECT_EQ(ToValueMessages(Network::ListMethod::ResultType{}),
            Texts{Unset(device + "network.list_result")});
  EXPECT_EQ(ToValueMessages(Network::ListMethod::ResultType(networkResult)),
            Texts{Unset(device + "network.summary")});
  EXPECT_EQ(ToValueMessages(Disk::AddMethod::Input{}), Texts{Unset(device + "disk.add_spec")});
  EXPECT_EQ(ToValueMessages(Network::AddMethod::Input{}),
            Texts{Unset(device + "network.add_spec")});
  EXPECT_EQ(ToValueMessages(Nask::CreateMethod::Input{}),
            Texts{Unset("com.korvan.tavo.vm.nask.create_spec")});
  // An empty list result is a structure whose list is empty.
  MessageList messages;
  EXPECT_EQ(*ToValue(std::make_shared<const Network::ListResult>(), messages),
            *Struct(device + "network.list_result", {{"list", List({})}}));
}

}  // namespace
}  // namespace Catalogue
