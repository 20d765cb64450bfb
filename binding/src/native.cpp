#include <quil/data/native.h>

#include <algorithm>
#include <cstring>

namespace Quil::Data {

namespace {

// Byte-wise over the shorter length; on equal bytes the shorter name is the smaller.
int CompareNames(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  if (common != 0) {
    if (const int order = std::memcmp(a.data(), b.data(), common); order != 0) return order;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool IsKnown(KnownNames known, std::string_view name) {
  const KnownName* end = known.names + known.count;
  const KnownName* found = std::lower_bound(
      known.names, end, name,
      [](std::string_view entry, std::string_view key) { return CompareNames(entry, key) < 0; });
  return found != end && CompareNames(*found, name) == 0;
}

}  // namespace

void BaseNative::AdapterHelper::AddUnknownFields(const BaseNative& native, StructValue& target) {
  if (!native.unknownFields) return;
  native.unknownFields->ForEachField(
      [&target](const CompoundValue::Field& field) { target.SetField(field.name, field.value); });
}

void BaseNative::AdapterHelper::AddUnknownFields(KnownNames known, const CompoundValue* incoming,
                                                 std::shared_ptr<StructValue>& store) {
  if (incoming == nullptr) return;

  // Most structures carry only declared fields: settle that without sorting (or allocating).
  bool allKnown = true;
  incoming->ForEachField([&](const CompoundValue::Field& field) {
    allKnown = allKnown && IsKnown(known, field.name);
  });
  if (allKnown) return;

  // A merge of two sorted sequences, so that the store receives its fields in name order.
  std::size_t position = 0;
  for (const CompoundValue::Field* field : incoming->SortedFields()) {
    bool declared = false;
    while (position < known.count) {
      const int order = CompareNames(field->name, known.names[position]);
      if (order < 0) break;
      ++position;
      if (order == 0) {
        declared = true;
        break;
      }
    }
    if (declared) continue;
    if (!store) store = StructValue::GetInstance("unknownFields");
    store->SetField(field->name, field->value);
  }
}

}  // namespace Quil::Data
