// What the fuzz targets share: dynamic value trees made from fuzzer bytes, and the words of the
// catalogue to make them from.
//
// A tree is built on an explicit work stack of slots, never by recursion. Kinds cover every
// value kind; integers and doubles favour their limits; strings are empty, words of the
// catalogue (wire names, enumeration texts, machine names), bytes that need not be UTF-8, or
// huge; a few nodes open chains nested thousands of levels deep. Guided by a definition, the
// tree mostly fits it, so that invocations get past the input checks, and now and then does not.
//
//   FuzzedDataProvider data(bytes, size);
//   Fuzz::ValueSource source(data, Fuzz::CatalogueWords());
//   Quil::Data::DataValuePtr input = source.Shaped(method.inputDefinition());
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/type_info.h>
#include <tavo/vm/catalogue.h>

namespace Fuzz {

// Every wire name of the catalogue's definitions (interfaces, operations, structures, fields),
// every enumeration text, the name of operation inputs and the machine names of `extra`.
inline std::vector<std::string> CollectCatalogueWords(const std::vector<std::string>& extra = {}) {
  using namespace Quil::Data;
  std::set<std::string> words(extra.begin(), extra.end());
  words.insert(Quil::TypeInfo<Quil::OperationInput>::name());
  std::vector<const DataDefinition*> pending;
  for (const auto& api : Com::Korvan::Tavo::Vm::DescribeServices()->List()) {
    words.insert(api->GetIdentifier()->GetName());
    for (const auto& method : api->GetMethods()) {
      words.insert(method->methodName());
      pending.push_back(method->inputDefinition().get());
      pending.push_back(method->outputDefinition().get());
      for (const auto& error : method->errorDefinitions()) pending.push_back(error.get());
      // The definitions die with the registry: walk them while it lives.
      while (!pending.empty()) {
        const DataDefinition* definition = pending.back();
        pending.pop_back();
        if (definition == nullptr) continue;
        if (const auto* structure = dynamic_cast<const StructDefinition*>(definition)) {
          words.insert(structure->GetName());
          for (const auto& [name, field] : structure->GetFields()) {
            words.insert(name);
            pending.push_back(field.get());
          }
        } else if (const auto* optional = dynamic_cast<const OptionalDefinition*>(definition)) {
          pending.push_back(optional->GetElementType().get());
        } else if (const auto* list = dynamic_cast<const ListDefinition*>(definition)) {
          pending.push_back(list->GetElementType().get());
        } else if (const auto* member = dynamic_cast<const UnionCaseDefinition*>(definition)) {
          words.insert(member->GetTagField());
          pending.push_back(member->GetElementType().get());
        }
      }
    }
  }
  for (const auto& facts : Com::Korvan::Tavo::Vm::DescribeServiceFacts()) {
    for (const auto& enumeration : facts.enumerations) {
      words.insert(enumeration.values.begin(), enumeration.values.end());
    }
  }
  words.insert("_UNKNOWN");
  return {words.begin(), words.end()};
}

class ValueSource {
 public:
  // What one tree may cost: nodes (deep chains aside), levels of deep chains, bytes of huge
  // strings.
  static constexpr std::size_t kMaxNodes = 4096;
  static constexpr std::size_t kChainLevels = 50000;
  static constexpr std::size_t kHugeBytes = 2 << 20;

  ValueSource(FuzzedDataProvider& data, const std::vector<std::string>& words)
      : data_(data), words_(words) {}

  // Any tree.
  Quil::Data::DataValuePtr Any() { return Shaped(nullptr); }

  // A tree that mostly fits `definition` (null: any tree).
  Quil::Data::DataValuePtr Shaped(const Quil::Data::DataDefinitionPtr& definition) {
    Quil::Data::DataValuePtr root;
    nodes_ = 0;
    chainLevels_ = kChainLevels;
    hugeBytes_ = kHugeBytes;
    pending_.push_back({&root, definition.get()});
    while (!pending_.empty()) {
      const Work work = pending_.back();
      pending_.pop_back();
      ++nodes_;
      // One node in sixteen ignores its definition.
      if (work.definition != nullptr && nodes_ < kMaxNodes &&
          data_.ConsumeIntegralInRange<int>(0, 15) != 15) {
        Fit(work.slot, *work.definition);
      } else {
        Free(work.slot);
      }
    }
    return root;
  }

  std::int64_t Integer() {
    switch (data_.ConsumeIntegralInRange<int>(0, 5)) {
      case 0:
        return 0;
      case 1:
        return std::numeric_limits<std::int64_t>::min();
      case 2:
        return std::numeric_limits<std::int64_t>::max();
      case 3:
        return -1;
      case 4:
        return data_.ConsumeIntegralInRange<std::int64_t>(-2, 2000000);
      default:
        return data_.ConsumeIntegral<std::int64_t>();
    }
  }

  double Double() {
    switch (data_.ConsumeIntegralInRange<int>(0, 5)) {
      case 0:
        return std::numeric_limits<double>::quiet_NaN();
      case 1:
        return std::numeric_limits<double>::infinity();
      case 2:
        return -0.0;
      case 3:
        return std::numeric_limits<double>::denorm_min();
      case 4:
        return std::numeric_limits<double>::max();
      default:
        return data_.ConsumeFloatingPoint<double>();
    }
  }

  // Empty first, so that exhausted input ends in short values.
  std::string Text() {
    switch (data_.ConsumeIntegralInRange<int>(0, 5)) {
      case 0:
        return {};
      case 1:
      case 2:
        return Word();
      case 3:
        return Word() + data_.ConsumeRandomLengthString(8);
      case 4: {
        std::string unit = data_.ConsumeRandomLengthString(4);
        if (unit.empty()) unit = "\xff";
        const std::size_t count = std::min(Sized(21), hugeBytes_) / unit.size();
        hugeBytes_ -= count * unit.size();
        // Doubling: a unit at a time costs millions of instrumented appends.
        std::string huge = unit;
        huge.reserve(count * unit.size());
        while (huge.size() < count * unit.size()) {
          huge.append(huge, 0, std::min(huge.size(), count * unit.size() - huge.size()));
        }
        return count == 0 ? std::string() : huge;
      }
      default:
        return data_.ConsumeRandomLengthString(64);  // any bytes, UTF-8 or not
    }
  }

  std::string Word() {
    if (words_.empty()) return {};
    return words_[data_.ConsumeIntegralInRange<std::size_t>(0, words_.size() - 1)];
  }

  FuzzedDataProvider& Data() { return data_; }

  // A size up to 2^bits, small ones as likely as large ones.
  std::size_t Sized(int bits) {
    const int magnitude = data_.ConsumeIntegralInRange<int>(0, bits);
    return data_.ConsumeIntegralInRange<std::size_t>(0, std::size_t{1} << magnitude);
  }

 private:
  using Slot = Quil::Data::DataValuePtr*;
  struct Work {
    Slot slot;
    const Quil::Data::DataDefinition* definition;
  };

  void Push(Slot slot, const Quil::Data::DataDefinition* definition) {
    pending_.push_back({slot, definition});
  }

  // A value of the definition's kind; its parts go on the stack.
  void Fit(Slot slot, const Quil::Data::DataDefinition& definition) {
    using namespace Quil::Data;
    switch (definition.GetType().GetType()) {
      case DataType::VOID:
        *slot = VoidValue::GetInstance();
        return;
      case DataType::INTEGER:
        *slot = IntegerValue::GetInstance(Integer());
        return;
      case DataType::DOUBLE:
        *slot = DoubleValue::GetInstance(Double());
        return;
      case DataType::BOOLEAN:
        *slot = BooleanValue::GetInstance(data_.ConsumeBool());
        return;
      case DataType::STRING:
        *slot = StringValue::GetInstance(Text());
        return;
      case DataType::BLOB:
        *slot = BlobValue::GetInstance(Text());
        return;
      case DataType::SECRET:
        *slot = SecretValue::GetInstance(Text());
        return;
      case DataType::OPTIONAL: {
        const auto& optional = static_cast<const OptionalDefinition&>(definition);
        auto value = OptionalValue::GetInstance();
        if (data_.ConsumeBool()) Push(value->value(nullptr), optional.GetElementType().get());
        *slot = std::move(value);
        return;
      }
      case DataType::LIST: {
        const auto& list = static_cast<const ListDefinition&>(definition);
        auto value = ListValue::GetInstance(list.GetKind());
        const std::size_t count = data_.ConsumeIntegralInRange<std::size_t>(0, 4);
        for (std::size_t i = 0; i < count; ++i)
          Push(value->AppendSlot(), list.GetElementType().get());
        *slot = std::move(value);
        return;
      }
      case DataType::STRUCT_REF: {
        const auto target = static_cast<const StructRefDefinition&>(definition).GetTarget();
        if (target == nullptr) return Free(slot);
        return Fit(slot, *target);
      }
      case DataType::UNION_CASE: {
        // Reached for a member that is present; absence is decided by the structure.
        const auto& member = static_cast<const UnionCaseDefinition&>(definition);
        if (data_.ConsumeIntegralInRange<int>(0, 3) == 0) {
          *slot = OptionalValue::GetInstance();
          return;
        }
        return Push(slot, member.GetElementType().get());
      }
      case DataType::STRUCTURE:
      case DataType::ERROR: {
        const auto& structure = static_cast<const StructDefinition&>(definition);
        std::shared_ptr<CompoundValue> value;
        if (definition.GetType() == DataType::ERROR) {
          value = ErrorValue::GetInstance(structure.GetName());
        } else {
          value = StructValue::GetInstance(structure.GetName());
        }
        for (const auto& [name, field] : structure.GetFields()) {
          // Optional fields and union members are left out now and then, others rarely.
          const DataType kind = field->GetType();
          const int leaveOut = kind == DataType::OPTIONAL || kind == DataType::UNION_CASE ? 2 : 12;
          if (data_.ConsumeIntegralInRange<int>(0, leaveOut) == 0) continue;
          Push(value->FieldSlot(name), field.get());
        }
        if (data_.ConsumeIntegralInRange<int>(0, 7) == 0) Push(value->FieldSlot(Word()), nullptr);
        *slot = std::move(value);
        return;
      }
    }
    Free(slot);
  }

  // Any value; leaves first, so that exhausted input ends the tree.
  void Free(Slot slot) {
    using namespace Quil::Data;
    const bool grow = nodes_ < kMaxNodes;
    switch (data_.ConsumeIntegralInRange<int>(0, grow ? 14 : 7)) {
      case 0:
        *slot = StringValue::GetInstance(Text());
        return;
      case 1:
        *slot = VoidValue::GetInstance();
        return;
      case 2:
        *slot = IntegerValue::GetInstance(Integer());
        return;
      case 3:
        *slot = DoubleValue::GetInstance(Double());
        return;
      case 4:
        *slot = BooleanValue::GetInstance(data_.ConsumeBool());
        return;
      case 5:
        *slot = BlobValue::GetInstance(Text());
        return;
      case 6:
        *slot = SecretValue::GetInstance(Text());
        return;
      case 7:
        *slot = OptionalValue::GetInstance();
        return;
      case 8: {
        auto value = OptionalValue::GetInstance();
        Push(value->value(nullptr), nullptr);
        *slot = std::move(value);
        return;
      }
      case 9:
      case 10: {
        auto value = ListValue::GetInstance(data_.ConsumeBool() ? ListValue::Kind::LIST
                                                                : ListValue::Kind::SET);
        const std::size_t count = data_.ConsumeIntegralInRange<std::size_t>(0, 6);
        for (std::size_t i = 0; i < count; ++i) Push(value->AppendSlot(), nullptr);
        *slot = std::move(value);
        return;
      }
      case 11:
      case 12: {
        const bool error = data_.ConsumeIntegralInRange<int>(0, 3) == 0;
        std::shared_ptr<CompoundValue> value;
        if (error) {
          value = ErrorValue::GetInstance(Text());
        } else {
          value = StructValue::GetInstance(Text());
        }
        const std::size_t count = data_.ConsumeIntegralInRange<std::size_t>(0, 6);
        for (std::size_t i = 0; i < count; ++i) {
          std::string name = data_.ConsumeBool() ? Word() : Text();
          Push(value->FieldSlot(name), nullptr);
        }
        *slot = std::move(value);
        return;
      }
      case 13:
        return Chain(slot);
      default: {
        // A null slot: what a careless builder leaves behind.
        *slot = nullptr;
        return;
      }
    }
  }

  // A chain of one container kind, nested as deep as the tree's budget allows, built top down.
  void Chain(Slot slot) {
    using namespace Quil::Data;
    const int kind = data_.ConsumeIntegralInRange<int>(0, 2);
    const std::string field = Word();
    const std::size_t depth = std::min(Sized(16), chainLevels_);
    chainLevels_ -= depth;
    for (std::size_t level = 0; level < depth; ++level) {
      if (kind == 0) {
        auto value = OptionalValue::GetInstance();
        Slot inner = value->value(nullptr);
        *slot = std::move(value);
        slot = inner;
      } else if (kind == 1) {
        auto value = ListValue::GetInstance(ListValue::Kind::LIST);
        Slot inner = value->AppendSlot();
        *slot = std::move(value);
        slot = inner;
      } else {
        auto value = StructValue::GetInstance(field);
        Slot inner = value->FieldSlot(field);
        *slot = std::move(value);
        slot = inner;
      }
    }
    Push(slot, nullptr);
  }

  FuzzedDataProvider& data_;
  const std::vector<std::string>& words_;
  std::vector<Work> pending_;
  std::size_t nodes_ = 0;
  std::size_t chainLevels_ = 0;
  std::size_t hugeBytes_ = 0;
};

}  // namespace Fuzz
