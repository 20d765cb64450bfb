// Whole-tree operations on values: equality, text form and deep copies, on the walks of
// tree_walk.h, and what each kind of value contributes to them.
#include "value_tree.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Quil::Data {

namespace {

template <typename ValueClass>
const ValueClass& As(const DataValue& value) {
  return static_cast<const ValueClass&>(value);
}

template <typename ValueClass>
bool SamePrimitive(const DataValue& a, const DataValue& b) {
  return As<ValueClass>(a).GetValue() == As<ValueClass>(b).GetValue();
}

// NaN equals NaN here: equality is about content, and a copied value must equal its source.
bool SameDouble(const DataValue& a, const DataValue& b) {
  double x = As<DoubleValue>(a).GetValue();
  double y = As<DoubleValue>(b).GetValue();
  return x == y || (std::isnan(x) && std::isnan(y));
}

void AppendQuoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          out += "\\x";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xf];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

template <typename Number>
void AppendNumber(std::string& out, Number number) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  out.append(buffer, result.ptr);
}

void AppendBlob(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "blob:";
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    out += kHex[byte >> 4];
    out += kHex[byte & 0xf];
  }
}

}  // namespace

bool ValueTree::SameNode(const DataValue& a, const DataValue& b) {
  const DataType kind = a.GetType();
  if (kind != b.GetType()) return false;
  switch (kind.GetType()) {
    case DataType::VOID:
      return true;
    case DataType::INTEGER:
      return SamePrimitive<IntegerValue>(a, b);
    case DataType::DOUBLE:
      return SameDouble(a, b);
    case DataType::BOOLEAN:
      return SamePrimitive<BooleanValue>(a, b);
    case DataType::STRING:
      return SamePrimitive<StringValue>(a, b);
    case DataType::BLOB:
      return SamePrimitive<BlobValue>(a, b);
    case DataType::SECRET:
      return SamePrimitive<SecretValue>(a, b);
    case DataType::OPTIONAL:
      return As<OptionalValue>(a).IsSet() == As<OptionalValue>(b).IsSet();
    case DataType::LIST:
      return As<ListValue>(a).GetKind() == As<ListValue>(b).GetKind() &&
             As<ListValue>(a).Size() == As<ListValue>(b).Size();
    case DataType::STRUCTURE:
    case DataType::ERROR:
      // Names are unique within a value, so equal counts and every field of one found in the
      // other make the same field set.
      return As<CompoundValue>(a).GetName() == As<CompoundValue>(b).GetName() &&
             As<CompoundValue>(a).FieldCount() == As<CompoundValue>(b).FieldCount();
    default:
      return false;  // no value of another kind exists
  }
}

const DataValuePtr* ValueTree::FindChild(const DataValue& value, std::string_view label) {
  return As<CompoundValue>(value).FindField(label);
}

void ValueTree::Open(std::string& out, const DataValue& value) {
  switch (value.GetType().GetType()) {
    case DataType::VOID:
      out += "void";
      break;
    case DataType::INTEGER:
      AppendNumber(out, As<IntegerValue>(value).GetValue());
      break;
    case DataType::DOUBLE:
      AppendNumber(out, As<DoubleValue>(value).GetValue());
      break;
    case DataType::BOOLEAN:
      out += As<BooleanValue>(value).GetValue() ? "true" : "false";
      break;
    case DataType::STRING:
      AppendQuoted(out, As<StringValue>(value).GetValue());
      break;
    case DataType::BLOB:
      AppendBlob(out, As<BlobValue>(value).GetValue());
      break;
    case DataType::SECRET:
      out += "<secret>";
      break;
    case DataType::OPTIONAL:
      out += As<OptionalValue>(value).IsSet() ? "some(" : "none";
      break;
    case DataType::LIST:
      out += As<ListValue>(value).GetKind() == ListValue::Kind::SET ? "set[" : "[";
      break;
    case DataType::ERROR:
      out += "error ";
      [[fallthrough]];
    case DataType::STRUCTURE:
      out += As<CompoundValue>(value).GetName();
      out += '{';
      break;
    default:
      out += "<";
      out += value.GetType().Name();
      out += ">";
  }
}

void ValueTree::Close(std::string& out, const DataValue& value) {
  switch (value.GetType().GetType()) {
    case DataType::OPTIONAL:
      if (As<OptionalValue>(value).IsSet()) out += ')';
      break;
    case DataType::LIST:
      out += ']';
      break;
    case DataType::STRUCTURE:
    case DataType::ERROR:
      out += '}';
      break;
    default:
      break;
  }
}

bool Equals(const DataValue* a, const DataValue* b) {
  return Quil::Detail::SameTrees<ValueTree>(a, b);
}

std::string ToText(const DataValue* value) { return Quil::Detail::TreeText<ValueTree>(value); }

namespace {

// A copy of `source` whose children are empty slots, in the order of the source's children.
std::shared_ptr<DataValue> CopyShell(const DataValue& source) {
  switch (source.GetType().GetType()) {
    case DataType::VOID:
      return VoidValue::GetInstance();
    case DataType::INTEGER:
      return IntegerValue::GetInstance(As<IntegerValue>(source).GetValue());
    case DataType::DOUBLE:
      return DoubleValue::GetInstance(As<DoubleValue>(source).GetValue());
    case DataType::BOOLEAN:
      return BooleanValue::GetInstance(As<BooleanValue>(source).GetValue());
    case DataType::STRING:
      return StringValue::GetInstance(As<StringValue>(source).GetValue());
    case DataType::BLOB:
      return BlobValue::GetInstance(As<BlobValue>(source).GetValue());
    case DataType::SECRET:
      return SecretValue::GetInstance(As<SecretValue>(source).GetValue());
    case DataType::OPTIONAL: {
      auto copy = OptionalValue::GetInstance();
      if (As<OptionalValue>(source).IsSet()) copy->value(nullptr);
      return copy;
    }
    case DataType::LIST: {
      const auto& original = As<ListValue>(source);
      auto copy = ListValue::GetInstance(original.GetKind());
      copy->Reserve(original.Size());
      for (std::size_t i = 0; i < original.Size(); ++i) copy->AppendSlot();
      return copy;
    }
    case DataType::STRUCTURE:
    case DataType::ERROR: {
      const auto& original = As<CompoundValue>(source);
      std::shared_ptr<CompoundValue> copy;
      if (source.GetType() == DataType::ERROR) {
        copy = std::make_shared<ErrorValue>(std::string(original.GetName()));
      } else {
        copy = StructValue::GetInstance(std::string(original.GetName()));
      }
      copy->Reserve(original.FieldCount());
      original.ForEachField([&copy](const CompoundValue::Field& field) {
        ValueAccess::Append(*copy, field.name, nullptr);
      });
      return copy;
    }
    default:
      return nullptr;  // no value of another kind exists
  }
}

}  // namespace

std::shared_ptr<DataValue> DeepCopy(const DataValue& value) {
  struct Step {
    const DataValue* source;
    DataValuePtr* destination;
  };
  std::vector<Step> pending;
  // Copies one node and queues its children's copies for the slots of its shell.
  auto copy = [&pending](const DataValue& source) {
    std::shared_ptr<DataValue> shell = CopyShell(source);
    ValueChildren from(source);
    if (from.Done()) return shell;
    ValueChildren to(*shell);
    ValueChild original, slot;
    while (from.Next(original) && to.Next(slot)) {
      if (*original.slot) {
        pending.push_back({original.slot->get(), const_cast<DataValuePtr*>(slot.slot)});
      }
    }
    return shell;
  };
  std::shared_ptr<DataValue> root = copy(value);
  while (!pending.empty()) {
    Step step = pending.back();
    pending.pop_back();
    *step.destination = copy(*step.source);
  }
  return root;
}

}  // namespace Quil::Data
