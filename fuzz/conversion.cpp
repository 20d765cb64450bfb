// The data binding on arbitrary value trees: value to native of every input record of the
// catalogue, the validator, and back through native to value.
//
// A conversion or a validation that fails appends at least one message, one that succeeds
// appends none. A value that converts and validates converts back to a value that fits the
// record's input definition exactly, and that value survives a second round (value to native to
// value) unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <quil/data/definition_check.h>
#include <quil/data/native_to_value.h>
#include <quil/data/validator.h>
#include <quil/data/value_to_native.h>
#include <quil/l10n/localizer.h>
#include <tavo/vm/compute/cpus.h>
#include <tavo/vm/compute/memory.h>
#include <tavo/vm/device/cdrom.h>
#include <tavo/vm/device/disk.h>
#include <tavo/vm/device/network.h>
#include <tavo/vm/device/sata_controller.h>
#include <tavo/vm/device/scsi_controller.h>
#include <tavo/vm/dock.h>
#include <tavo/vm/nask.h>
#include <tavo/vm/power.h>

#include "value_source.h"

namespace {

namespace Vm = Com::Korvan::Tavo::Vm;
using Quil::MessageList;
using Quil::Data::DataValuePtr;

// X(service, method): every operation of the catalogue.
#define FUZZ_OPERATIONS(X)                                                                        \
  X(Compute::CpusSvc, GetMethod)                                                                  \
  X(Compute::CpusSvc, UpdateMethod)                                                               \
  X(Compute::MemorySvc, GetMethod)                                                                \
  X(Compute::MemorySvc, UpdateMethod) X(Device::CdromSvc, AddMethod)                              \
      X(Device::CdromSvc, ListMethod) X(Device::CdromSvc, DeleteMethod)                           \
          X(Device::DiskSvc, AddMethod) X(Device::DiskSvc, ListMethod)                            \
              X(Device::NetworkSvc, AddMethod) X(Device::NetworkSvc, ListMethod)                  \
                  X(Device::NetworkSvc, RemoveMethod) X(Device::SataControllerSvc, AddMethod)     \
                      X(Device::SataControllerSvc, UpdateMethod)                                  \
                          X(Device::SataControllerSvc, DeleteMethod)                              \
                              X(Device::SataControllerSvc, ListMethod)                            \
                                  X(Device::ScsiControllerSvc, AddMethod) X(DockSvc, LoadMethod)  \
                                      X(PowerSvc, GetMethod) X(PowerSvc, SwitchOnMethod)          \
                                          X(PowerSvc, SwitchOffMethod) X(PowerSvc, ResetMethod)   \
                                              X(PowerSvc, SuspendMethod) X(NaskSvc, CreateMethod) \
                                                  X(NaskSvc, DeleteMethod)

[[noreturn]] void Fail(const char* what, const char* record, const DataValuePtr& value,
                       const MessageList& messages) {
  std::fprintf(stderr, "conversion invariant broken: %s\n  record: %s\n  value: %.2000s\n", what,
               record, Quil::Data::ToText(value.get()).c_str());
  for (const Quil::BaseMessage& message : messages) {
    std::fprintf(stderr, "  message: %s %s\n", message.id.c_str(), message.defaultMessage.c_str());
  }
  std::abort();
}

// Value to native; a failure is fine as long as it says why.
template <typename Record>
bool ToNative(const DataValuePtr& value, Record& native, const char* name) {
  MessageList messages;
  const bool converted = Quil::Data::ValueToNativeAdapter::Adapt(value, native, messages);
  if (converted != messages.empty())
    Fail("value to native and its messages disagree", name, value, messages);
  return converted;
}

template <typename Record>
DataValuePtr ToValue(const Record& native, const char* name, const DataValuePtr& origin) {
  static const Quil::L10n::RequestLocalizer localizer =
      Quil::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  MessageList messages;
  DataValuePtr value;
  if (!Quil::Data::NativeToValueAdapter::Adapt(native, value, messages, localizer)) {
    Fail("a valid record does not convert back", name, origin, messages);
  }
  if (!messages.empty()) Fail("native to value succeeded with messages", name, origin, messages);
  return value;
}

template <typename Method>
void RoundTrip(Fuzz::ValueSource& source, const char* name) {
  using Record = typename Method::Input;
  const DataValuePtr value = source.Shaped(Method::inputDef());
  Record native;
  if (!ToNative(value, native, name)) return;

  MessageList messages;
  const bool valid =
      Quil::Data::Validator::isValid(native, Quil::Data::Validator::Strict, messages);
  if (valid != messages.empty())
    Fail("the validator and its messages disagree", name, value, messages);
  if (!valid) return;

  const DataValuePtr first = ToValue(native, name, value);
  if (!Quil::Data::CheckValue(*Method::inputDef(), first, Quil::Data::CheckMode::Exact, messages)) {
    Fail("the converted record misfits its definition", name, value, messages);
  }
  Record again;
  if (!ToNative(first, again, name)) Fail("the converted record does not convert", name, first, {});
  const DataValuePtr second = ToValue(again, name, first);
  if (!Quil::Data::Equals(first.get(), second.get())) {
    Fail(("the second round changes the value to " + Quil::Data::ToText(second.get())).c_str(),
         name, first, {});
  }
}

using Round = void (*)(Fuzz::ValueSource&, const char*);
struct Entry {
  Round round;
  const char* name;
};

#define FUZZ_ENTRY(service, method) {&RoundTrip<Vm::service::method>, #service "::" #method},
const Entry kRecords[] = {FUZZ_OPERATIONS(FUZZ_ENTRY)};
#undef FUZZ_ENTRY

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const std::vector<std::string> words = Fuzz::CollectCatalogueWords({"vm-1", "ide0:0"});
  FuzzedDataProvider data(bytes, size);
  Fuzz::ValueSource source(data, words);
  const Entry& entry = kRecords[data.ConsumeIntegralInRange<std::size_t>(
      0, sizeof kRecords / sizeof kRecords[0] - 1)];
  entry.round(source, entry.name);
  return 0;
}
