// What particular services add to the generic rules: the cdrom backing union, exact enumeration
// texts and sets of enumerations, adapter types that are not validated, the "vm_id" and
// "guest_OS" field names, optional sets, nested structures checked strictly, and the messages of
// missing structures.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <quil/client/future_result.h>
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
#include <tavo/vm/power.h>

#include "catalogue/catalogue_support.h"

namespace Catalogue {
namespace {

namespace Cdrom = ::Com::Korvan::Tavo::Vm::Device::CdromSvc;
namespace Disk = ::Com::Korvan::Tavo::Vm::Device::DiskSvc;
namespace Network = ::Com::Korvan::Tavo::Vm::Device::NetworkSvc;
namespace Sata = ::Com::Korvan::Tavo::Vm::Device::SataControllerSvc;
namespace Scsi = ::Com::Korvan::Tavo::Vm::Device::ScsiControllerSvc;
namespace Power = ::Com::Korvan::Tavo::Vm::PowerSvc;
namespace Nask = ::Com::Korvan::Tavo::Vm::NaskSvc;

using Quil::Core::AsyncActivation;
using Quil::Data::StructDefinition;
using Quil::Data::UnionCaseDefinition;

const std::string kBackingInfo = "com.korvan.tavo.vm.device.cdrom.backing_info";
const std::string kCdrom = "::Com::Korvan::Tavo::Vm::Device::CdromSvc::";

std::shared_ptr<Quil::Data::StructValue> UnknownFields(std::initializer_list<const char*> names) {
  auto store = Quil::Data::StructValue::GetInstance("unknown");
  for (const char* name : names) store->SetField(name, Str("x"));
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
    boost::optional<std::string> deviceName;
    boost::optional<std::string> isoFile;
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
    if (c.unknownField) backing.unknownFields = UnknownFields({"speed"});
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

  Cdrom::AddMethod::Input withoutBacking;
  EXPECT_EQ(Check(withoutBacking), Texts{InvalidInput(kCdrom + "Add")});
  EXPECT_EQ(ToValueMessages(withoutBacking), Texts{Unset(kBackingInfo)});

  // A type outside the enumeration arrives as _UNKNOWN keeping its text, and goes out again so.
  Cdrom::BackingInfo decoded;
  const auto tape = Struct(kBackingInfo, {{"type", Str("TAPE")}, {"iso_file", Some(Str(iso))}});
  ASSERT_EQ(FromValue(tape, decoded), Texts{});
  EXPECT_EQ(decoded.type.code(), Cdrom::BackingType::_UNKNOWN);
  EXPECT_EQ(decoded.type.unknownText(), "TAPE");
  EXPECT_EQ(Check(decoded), Texts{IsSet("isoFile")});
  MessageList messages;
  EXPECT_EQ(*FieldOf(ToValue(decoded, messages), "type"), *Str("TAPE"));
}

TEST(CdromBackingTest, CaseTablesAndDefinitionsNameTheTagAndItsValues) {
  auto texts = [](const char* const* table) {
    Texts found;
    for (; *table != nullptr; ++table) found.push_back(*table);
    return found;
  };
  using Annotations = Cdrom::BackingInfoAnnotations;
  EXPECT_EQ(texts(Annotations::UnionTags::Strings::values), (Texts{"type", "_UNKNOWN"}));
  EXPECT_EQ(texts(Annotations::DeviceNameUnionCases::Strings::values),
            (Texts{"ATAPI", "RAW", "_UNKNOWN"}));
  EXPECT_EQ(texts(Annotations::IsoFileUnionCases::Strings::values), (Texts{"IMAGE", "_UNKNOWN"}));

  const auto input =
      std::dynamic_pointer_cast<const StructDefinition>(Cdrom::AddMethod::inputDef());
  ASSERT_NE(input, nullptr);
  const auto backing =
      std::dynamic_pointer_cast<const StructDefinition>(input->GetField("backing"));
  ASSERT_NE(backing, nullptr);
  EXPECT_EQ(backing->GetName(), kBackingInfo);
  EXPECT_EQ(Shape(backing->GetField("type")), "string");
  const auto deviceName =
      std::dynamic_pointer_cast<const UnionCaseDefinition>(backing->GetField("device_name"));
  const auto isoFile =
      std::dynamic_pointer_cast<const UnionCaseDefinition>(backing->GetField("iso_file"));
  ASSERT_NE(deviceName, nullptr);
  ASSERT_NE(isoFile, nullptr);
  EXPECT_EQ(deviceName->GetTagField(), "type");
  EXPECT_EQ(isoFile->GetTagField(), "type");
  EXPECT_EQ(Shape(deviceName->GetElementType()), "string");
  EXPECT_EQ(Shape(isoFile->GetElementType()), "string");
  // true: required; indeterminate: allowed; false: must be absent.
  for (const char* tag : {"ATAPI", "RAW"}) {
    EXPECT_TRUE(deviceName->Evaluate(tag) == true) << tag;
    EXPECT_TRUE(isoFile->Evaluate(tag) == false) << tag;
  }
  EXPECT_TRUE(deviceName->Evaluate("IMAGE") == false);
  EXPECT_TRUE(boost::logic::indeterminate(isoFile->Evaluate("IMAGE")));
  for (const char* tag : {"_UNKNOWN", "TAPE", "atapi", "image", ""}) {
    EXPECT_TRUE(deviceName->Evaluate(tag) == false) << tag;
    EXPECT_TRUE(isoFile->Evaluate(tag) == false) << tag;
  }
}

// Strings::values of an enumeration, without the final null.
template <typename E>
Texts TableOf() {
  Texts texts;
  for (const char* const* entry = E::Strings::values; *entry != nullptr; ++entry) {
    texts.push_back(*entry);
  }
  return texts;
}

// "<code>:<kept text>" of the enumeration decoded from `text`, then the text it converts back to.
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

TEST(EnumerationTest, TextsAreLookedUpExactlyAndUnknownTextsKept) {
  EXPECT_EQ(TableOf<Cdrom::BackingType>(), (Texts{"ATAPI", "IMAGE", "RAW", "_UNKNOWN"}));
  EXPECT_EQ(TableOf<Network::VirtualDev>(),
            (Texts{"TORVEN", "FLINDR", "FLINDR3", "KRDMA", "E1000", "E1000E", "_UNKNOWN"}));
  EXPECT_EQ(TableOf<Sata::HbaType>(), (Texts{"AHCI", "_UNKNOWN"}));
  EXPECT_EQ(TableOf<Scsi::HbaType>(), (Texts{"LSILOGIC", "LSISAS", "HXSCSI", "_UNKNOWN"}));
  EXPECT_EQ(TableOf<Power::Runtime>(), (Texts{"STOPPED", "RUNNING", "SUSPENDED", "_UNKNOWN"}));
  EXPECT_EQ(Quil::TypeInfo<Sata::HbaType>::name(),
            "com.korvan.tavo.vm.device.sata_controller.hba_type");
  EXPECT_EQ(Quil::TypeInfo<Scsi::HbaType>::name(),
            "com.korvan.tavo.vm.device.scsi_controller.hba_type");

  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR3"), "2: -> FLINDR3");
  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR"), "1: -> FLINDR");
  EXPECT_EQ(Decode<Network::VirtualDev>("E1000"), "4: -> E1000");
  EXPECT_EQ(Decode<Network::VirtualDev>("E1000E"), "5: -> E1000E");
  EXPECT_EQ(Decode<Network::VirtualDev>("e1000"), "6:e1000 -> e1000");
  EXPECT_EQ(Decode<Network::VirtualDev>("FLINDR33"), "6:FLINDR33 -> FLINDR33");
  EXPECT_EQ(Decode<Scsi::HbaType>("LSISAS"), "1: -> LSISAS");
  EXPECT_EQ(Decode<Scsi::HbaType>("LSILOGIC"), "0: -> LSILOGIC");
  EXPECT_EQ(Decode<Scsi::HbaType>("HXSCSI"), "2: -> HXSCSI");
  EXPECT_EQ(Decode<Scsi::HbaType>("_UNKNOWN"), "3: -> _UNKNOWN");
  EXPECT_EQ(Decode<Sata::HbaType>("ahci"), "1:ahci -> ahci");
  EXPECT_EQ(Decode<Power::Runtime>("RUNNING"), "1: -> RUNNING");

  // A "get" reply of the power service: the state by value, an unknown one with its text.
  AnsweringProvider provider;
  AsyncActivation defaults;
  Power::AsyncServiceStub power(std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults));
  for (const char* state : {"RUNNING", "HIBERNATED"}) {
    provider.answer = Str(state);
    auto [result, reply] = Quil::Client::MakeFutureResult<Power::Runtime>();
    power.Get("vm-1", nullptr, result);
    const auto answer = reply.get();
    ASSERT_TRUE(answer.ok()) << state;
    EXPECT_EQ(answer.value().ToText(), state);
    EXPECT_EQ(answer.value() == Power::Runtime::RUNNING, std::string(state) == "RUNNING");
  }
}

TEST(EnumerationTest, SetsOrderByEnumeratorThenByKeptText) {
  const std::string filterName = "com.korvan.tavo.vm.device.cdrom.filter_spec";
  auto decode = [&](DataValuePtr backingTypes) {
    Cdrom::FilterSpec filter;
    EXPECT_EQ(
        FromValue(Struct(filterName, {{"backing_types", Some(std::move(backingTypes))}}), filter),
        Texts{});
    Texts texts;
    for (const Cdrom::BackingType& type :
         filter.backingTypes.value_or(std::set<Cdrom::BackingType>{})) {
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

  Network::FilterSpec adapters;
  ASSERT_EQ(FromValue(Struct("com.korvan.tavo.vm.device.network.filter_spec",
                             {{"adapters", Some(List({Str("E1000E"), Str("TORVEN")}))}}),
                      adapters),
            Texts{});
  ASSERT_TRUE(adapters.adapters.has_value());
  EXPECT_EQ(
      std::vector<Network::VirtualDev>(adapters.adapters->begin(), adapters.adapters->end()),
      (std::vector<Network::VirtualDev>{Network::VirtualDev::TORVEN, Network::VirtualDev::E1000E}));
}

// The adapter types that implementations receive.
class SataRecorder final : public Sata::AsyncServiceInterface {
 public:
  void Add(const std::string& /*vm*/, const Sata::HbaType& hbaType,
           const std::int64_t& /*controllerNumber*/,
           std::shared_ptr<AsyncActivation> /*activation*/,
           const Sata::AddMethod::ResultCbType& result) override {
    received.push_back("add " + std::to_string(hbaType.code()) + ":" + hbaType.unknownText());
    result();
  }
  void Update(const std::string& /*vm*/, const Sata::HbaType& hbaType,
              const std::int64_t& /*controllerNumber*/,
              std::shared_ptr<AsyncActivation> /*activation*/,
              const Sata::UpdateMethod::ResultCbType& result) override {
    received.push_back("update " + std::to_string(hbaType.code()) + ":" + hbaType.unknownText());
    result();
  }
  void Delete(const std::string& /*vm*/, const std::int64_t& /*controllerNumber*/,
              std::shared_ptr<AsyncActivation> /*activation*/,
              const Sata::DeleteMethod::ResultCbType& result) override {
    received.push_back("delete");
    result();
  }
  void List(const std::string& /*vm*/, const Quil::OptionalPtr<const Sata::FilterSpec>& /*filter*/,
            std::shared_ptr<AsyncActivation> /*activation*/,
            const Sata::ListMethod::ResultCbType& result) override {
    received.push_back("list");
    result(Sata::ListMethod::ResultType{});
  }

  Texts received;
};

class ScsiRecorder final : public Scsi::AsyncServiceInterface {
 public:
  void Add(const std::string& vmId, const Scsi::HbaType& hbaType,
           const std::int64_t& controllerNumber, std::shared_ptr<AsyncActivation> /*activation*/,
           const Scsi::AddMethod::ResultCbType& result) override {
    received.push_back(vmId + " " + std::to_string(hbaType.code()) + ":" + hbaType.unknownText() +
                       " " + std::to_string(controllerNumber));
    result();
  }

  Texts received;
};

TEST(ControllerTest, AdapterTypesAreNotValidatedAndVmIdIsRequired) {
  auto sata = std::make_shared<SataRecorder>();
  auto scsi = std::make_shared<ScsiRecorder>();
  Quil::Provider::LocalApiProvider provider;
  ASSERT_TRUE(provider.Register(Sata::AsyncServiceBinder::BindImplementation(sata)));
  ASSERT_TRUE(provider.Register(Scsi::AsyncServiceBinder::BindImplementation(scsi)));
  const std::string sataName = "com.korvan.tavo.vm.device.sata_controller";
  const std::string scsiName = "com.korvan.tavo.vm.device.scsi_controller";

  struct Case {
    std::string interfaceName, method;
    DataValuePtr input;
    std::string error;  // empty: answered with the void output
  };
  const std::string invalid = "com.korvan.quil.std.errors.invalid_argument";
  const std::vector<Case> cases = {
      {sataName, "add",
       Input({{"vm", Str("vm-1")}, {"hba_type", Str("AHCI")}, {"controller_number", Int(0)}}), ""},
      {sataName, "add",
       Input({{"vm", Str("vm-1")}, {"hba_type", Str("NVME")}, {"controller_number", Int(1)}}), ""},
      {sataName, "update",
       Input({{"vm", Str("vm-1")}, {"hba_type", Str("ahci")}, {"controller_number", Int(1)}}), ""},
      // "delete" has no adapter type: one sent along is an unknown field, rejected.
      {sataName, "delete",
       Input({{"vm", Str("vm-1")}, {"hba_type", Str("AHCI")}, {"controller_number", Int(1)}}),
       invalid},
      {sataName, "delete", Input({{"vm", Str("vm-1")}, {"controller_number", Int(1)}}), ""},
      {scsiName, "add",
       Input(
           {{"vm_id", Str("vm-1")}, {"hba_type", Str("BUSLOGIC")}, {"controller_number", Int(2)}}),
       ""},
      {scsiName, "add",
       Input({{"vm_id", Str("vm-2")}, {"hba_type", Str("LSISAS")}, {"controller_number", Int(3)}}),
       ""},
      // The SCSI service names the virtual machine "vm_id"; "vm" does not stand in for it.
      {scsiName, "add",
       Input({{"vm", Str("vm-3")}, {"hba_type", Str("LSISAS")}, {"controller_number", Int(4)}}),
       invalid},
      {scsiName, "add",
       Input({{"vm_id", Str("vm-4")},
              {"vm", Str("vm-4")},
              {"hba_type", Str("LSISAS")},
              {"controller_number", Int(5)}}),
       invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method + " " + Quil::Data::ToText(c.input.get()));
    const auto answer = InvokeNow(provider, c.interfaceName, c.method, c.input);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(ErrorName(answer), c.error);
  }
  EXPECT_EQ(sata->received, (Texts{"add 0:", "add 1:NVME", "update 1:ahci", "delete"}));
  EXPECT_EQ(scsi->received, (Texts{"vm-1 3:BUSLOGIC 2", "vm-2 1: 3"}));

  // Decoding names the missing field; a kept "vm" is what strict validation rejects.
  Scsi::AddMethod::Input withoutVmId, record;
  EXPECT_EQ(
      FromValue(
          Input({{"vm", Str("vm-3")}, {"hba_type", Str("LSISAS")}, {"controller_number", Int(4)}}),
          withoutVmId),
      Texts{"quil.data.field.missing(vm_id, com.korvan.quil.operation_input)"});
  ASSERT_EQ(FromValue(Input({{"vm_id", Str("vm-4")},
                             {"vm", Str("vm-4")},
                             {"hba_type", Str("LSISAS")},
                             {"controller_number", Int(5)}}),
                      record),
            Texts{});
  EXPECT_EQ(FieldNames(record.unknownFields), Texts{"vm"});
  const std::string scsi_ = "::Com::Korvan::Tavo::Vm::Device::ScsiControllerSvc::";
  EXPECT_EQ(Check(record),
            (Texts{Extra(scsi_ + "AddMethod::Input", "vm"), InvalidInput(scsi_ + "Add")}));
  MessageList messages;
  EXPECT_EQ(FieldNames(ToValue(Scsi::AddMethod::Input{}, messages)),
            (Texts{"vm_id", "hba_type", "controller_number"}));
}

TEST(NaskTest, GuestOsIsSpelledExactly) {
  const std::string name = "com.korvan.tavo.vm.nask.create_spec";
  Nask::CreateSpec spec;
  spec.vm = "vm-1";
  spec.guestOS = "other-64";
  MessageList messages;
  const auto value = ToValue(spec, messages);
  EXPECT_EQ(
      *value,
      *Struct(name, {{"vm", Str("vm-1")}, {"guest_OS", Str("other-64")}, {"hw_version", None()}}));
  EXPECT_EQ(FieldNames(value), (Texts{"vm", "guest_OS", "hw_version"}));
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

  // Bound to a stub over a provider that records what reaches the implementation.
  AnsweringProvider implementation;
  AsyncActivation defaults;
  Quil::Provider::LocalApiProvider provider;
  ASSERT_TRUE(provider.Register(
      Nask::AsyncServiceBinder::BindImplementation(std::make_shared<Nask::AsyncServiceStub>(
          std::make_shared<Quil::Stub::AsyncApiStub>(implementation, defaults)))));
  const auto answer =
      InvokeNow(provider, "com.korvan.tavo.vm.nask", "create",
                Input({{"spec", Struct(name, {{"vm", Str("vm-1")}, {"guest_os", Str("linux")}})}}));
  EXPECT_EQ(ErrorName(answer), "com.korvan.quil.std.errors.invalid_argument");
  EXPECT_TRUE(implementation.inputs.empty());
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
  EXPECT_NE(*emptyValue, *unsetValue);

  // Decoded into new structures, as the bindings always do.
  Disk::FilterSpec fromEmpty, fromUnset;
  ASSERT_EQ(FromValue(emptyValue, fromEmpty), Texts{});
  EXPECT_TRUE(fromEmpty.disks.has_value() && fromEmpty.disks->empty());
  EXPECT_FALSE(fromEmpty.devices.has_value());
  ASSERT_EQ(FromValue(unsetValue, fromUnset), Texts{});
  EXPECT_FALSE(fromUnset.disks.has_value());
  EXPECT_EQ(messages.size(), 0u);
}

TEST(ValidationTest, NestedStructuresAreCheckedStrictlyAndNamed) {
  const std::string device = "::Com::Korvan::Tavo::Vm::Device::";
  const std::string nask = "::Com::Korvan::Tavo::Vm::NaskSvc::";
  auto withExtra = [](auto structure) {
    structure.unknownFields = UnknownFields({"speed"});
    return std::make_shared<decltype(structure)>(structure);
  };
  struct Case {
    std::string what;
    std::function<Texts()> check;
    Texts expected;
  };
  const std::vector<Case> cases = {
      {"disk add, extra field in spec",
       [&] {
         Disk::AddMethod::Input input;
         input.spec = withExtra(Disk::AddSpec{});
         return Check(input);
       },
       {Extra(device + "DiskSvc::AddSpec", "speed"), InvalidInput(device + "DiskSvc::Add")}},
      {"disk add without spec",
       [] { return Check(Disk::AddMethod::Input{}); },
       {InvalidInput(device + "DiskSvc::Add")}},
      {"disk list without filter", [] { return Check(Disk::ListMethod::Input{}); }, {}},
      {"disk list result does not descend into its summaries",
       [&] {
         Disk::ListResult result;
         result.list.push_back(withExtra(Disk::Summary{}));
         return Check(result);
       },
       {}},
      {"network add without spec",
       [] { return Check(Network::AddMethod::Input{}); },
       {InvalidInput(device + "NetworkSvc::Add")}},
      {"network list, extra field in filter",
       [&] {
         Network::ListMethod::Input input;
         input.filter = withExtra(Network::FilterSpec{});
         return Check(input);
       },
       {Extra(device + "NetworkSvc::FilterSpec", "speed"),
        InvalidInput(device + "NetworkSvc::List")}},
      {"cdrom list, extra field in filter",
       [&] {
         Cdrom::ListMethod::Input input;
         input.filter = withExtra(Cdrom::FilterSpec{});
         return Check(input);
       },
       {Extra(device + "CdromSvc::FilterSpec", "speed"), InvalidInput(device + "CdromSvc::List")}},
      {"sata list, extra field in filter",
       [&] {
         Sata::ListMethod::Input input;
         input.filter = withExtra(Sata::FilterSpec{});
         return Check(input);
       },
       {Extra(device + "SataControllerSvc::FilterSpec", "speed"),
        InvalidInput(device + "SataControllerSvc::List")}},
      {"nask create without spec",
       [] { return Check(Nask::CreateMethod::Input{}); },
       {InvalidInput(nask + "Create")}},
      {"nask create, extra field in spec",
       [&] {
         Nask::CreateMethod::Input input;
         input.spec = withExtra(Nask::CreateSpec{});
         return Check(input);
       },
       {Extra(nask + "CreateSpec", "speed"), InvalidInput(nask + "Create")}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.check(), c.expected) << c.what;
}

TEST(ConversionTest, MissingStructuresAreNamedByWireName) {
  const std::string device = "com.korvan.tavo.vm.device.";
  struct Case {
    std::string what;
    std::function<Texts()> convert;
    Texts expected;
  };
  const std::vector<Case> cases = {
      {"cdrom list with a null element",
       [] {
         return ToValueMessages(
             Cdrom::ListMethod::ResultType{std::make_shared<Cdrom::Summary>(), nullptr});
       },
       {Unset(device + "cdrom.summary")}},
      {"sata list with a null element",
       [] { return ToValueMessages(Sata::ListMethod::ResultType{nullptr}); },
       {Unset(device + "sata_controller.summary")}},
      {"empty sata list", [] { return ToValueMessages(Sata::ListMethod::ResultType{}); }, {}},
      {"null disk list result",
       [] { return ToValueMessages(Disk::ListMethod::ResultType{}); },
       {Unset(device + "disk.list_result")}},
      {"disk list result with a null element",
       [] {
         auto result = std::make_shared<Disk::ListResult>();
         result->list.push_back(nullptr);
         return ToValueMessages(Disk::ListMethod::ResultType(result));
       },
       {Unset(device + "disk.summary")}},
      {"null network list result",
       [] { return ToValueMessages(Network::ListMethod::ResultType{}); },
       {Unset(device + "network.list_result")}},
      {"network list result with a null element",
       [] {
         auto result = std::make_shared<Network::ListResult>();
         result->list.push_back(nullptr);
         return ToValueMessages(Network::ListMethod::ResultType(result));
       },
       {Unset(device + "network.summary")}},
      {"disk add without spec",
       [] { return ToValueMessages(Disk::AddMethod::Input{}); },
       {Unset(device + "disk.add_spec")}},
      {"network add without spec",
       [] { return ToValueMessages(Network::AddMethod::Input{}); },
       {Unset(device + "network.add_spec")}},
      {"nask create without spec",
       [] { return ToValueMessages(Nask::CreateMethod::Input{}); },
       {Unset("com.korvan.tavo.vm.nask.create_spec")}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.convert(), c.expected) << c.what;

  // An empty list result is a structure whose list is empty.
  MessageList messages;
  EXPECT_EQ(*ToValue(std::make_shared<const Network::ListResult>(), messages),
            *Struct(device + "network.list_result", {{"list", List({})}}));
}

TEST(DefaultInstanceTest, NothingIsSetAndNoUnknownFieldStoreExists) {
  const auto backing = Quil::TypeInfo<Cdrom::BackingInfo>::defaultInstance();
  EXPECT_EQ(backing->unknownFields, nullptr);
  EXPECT_EQ(backing->type, Cdrom::BackingType::_UNKNOWN);
  EXPECT_EQ(backing->type.unknownText(), "");
  EXPECT_FALSE(backing->deviceName || backing->isoFile);
  const auto summary = Quil::TypeInfo<Network::Summary>::defaultInstance();
  EXPECT_EQ(summary->unknownFields, nullptr);
  EXPECT_EQ(summary->adapter, Network::VirtualDev::_UNKNOWN);
  const auto addSpec = Quil::TypeInfo<Network::AddSpec>::defaultInstance();
  EXPECT_EQ(addSpec->adapter, Network::VirtualDev::_UNKNOWN);
  EXPECT_TRUE(addSpec->vm.empty() && addSpec->network.empty() && addSpec->device.empty());
  EXPECT_TRUE(Quil::TypeInfo<Disk::ListResult>::defaultInstance()->list.empty());
  const auto filter = Quil::TypeInfo<Cdrom::FilterSpec>::defaultInstance();
  EXPECT_FALSE(filter->cdroms || filter->backingTypes || filter->devices);
  const auto create = Quil::TypeInfo<Nask::CreateSpec>::defaultInstance();
  EXPECT_EQ(create->unknownFields, nullptr);
  EXPECT_FALSE(create->hwVersion.has_value());
  EXPECT_EQ(Quil::TypeInfo<Nask::CreateSpec>::name(), "com.korvan.tavo.vm.nask.create_spec");
}

}  // namespace
}  // namespace Catalogue
