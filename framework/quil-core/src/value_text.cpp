// Whole-tree operations on values: equality, printing and deep copies. Each walks the tree with
// an explicit stack, so the depth of a value never reaches the call stack.
#include <quil/data/value.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include "value_access.h"

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

}  // namespace

bool Equals(const DataValue* a, const DataValue* b) {
  using Pair = std::pair<const DataValue*, const DataValue*>;
  boost::container::small_vector<Pair, 16> pending;
  pending.emplace_back(a, b);
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    if (x == y) continue;  // the same object, or both null
    if (x == nullptr || y == nullptr) return false;
    DataType kind = x->GetType();
    if (kind != y->GetType()) return false;

    switch (kind.GetType()) {
      case DataType::VOID:
        break;
      case DataType::INTEGER:
        if (!SamePrimitive<IntegerValue>(*x, *y)) return false;
        break;
      case DataType::DOUBLE:
        if (!SameDouble(*x, *y)) return false;
        break;
      case DataType::BOOLEAN:
        if (!SamePrimitive<BooleanValue>(*x, *y)) return false;
        break;
      case DataType::STRING:
        if (!SamePrimitive<StringValue>(*x, *y)) return false;
        break;
      case DataType::BLOB:
        if (!SamePrimitive<BlobValue>(*x, *y)) return false;
        break;
      case DataType::SECRET:
        if (!SamePrimitive<SecretValue>(*x, *y)) return false;
        break;
      case DataType::OPTIONAL: {
        const auto& first = As<OptionalValue>(*x);
        const auto& second = As<OptionalValue>(*y);
        if (first.IsSet() != second.IsSet()) return false;
        if (first.IsSet()) pending.emplace_back(first.GetValue().get(), second.GetValue().get());
        break;
      }
      case DataType::LIST: {
        const auto& first = As<ListValue>(*x);
        const auto& second = As<ListValue>(*y);
        if (first.GetKind() != second.GetKind() || first.Size() != second.Size()) return false;
        auto other = second.begin();
        for (const DataValuePtr& element : first)
          pending.emplace_back(element.get(), (other++)->get());
        break;
      }
      case DataType::STRUCTURE:
      case DataType::ERROR: {
        const auto& first = As<CompoundValue>(*x);
        const auto& second = As<CompoundValue>(*y);
        if (first.GetName() != second.GetName() || first.FieldCount() != second.FieldCount()) {
          return false;
        }
        // Names are unique within a value, so equal counts and every field of one found in the
        // other make the same field set.
        bool sameNames = true;
        first.ForEachField([&](const CompoundValue::Field& field) {
          if (!sameNames) return;
          const DataValuePtr* match = second.FindField(field.name);
          if (match == nullptr) {
            sameNames = false;
          } else {
            pending.emplace_back(field.value.get(), match->get());
          }
        });
        if (!sameNames) return false;
        break;
      }
      default:
        return false;  // no value of another kind exists
    }
  }
  return true;
}

namespace {

// One step of printing: a value to print, or a piece of text to append.
struct PrintStep {
  const DataValue* value;
  std::string_view text;
  bool isText;
};

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

std::string ToText(const DataValue* root) {
  std::string out;
  std::vector<PrintStep> steps;
  steps.push_back({root, {}, false});
  auto text = [&steps](std::string_view piece) { steps.push_back({nullptr, piece, true}); };
  auto value = [&steps](const DataValue* child) { steps.push_back({child, {}, false}); };

  while (!steps.empty()) {
    PrintStep step = steps.back();
    steps.pop_back();
    if (step.isText) {
      out += step.text;
      continue;
    }
    const DataValue* current = step.value;
    if (current == nullptr) {
      out += "null";
      continue;
    }
    // Children are queued in reading order and then reversed, as the stack pops the last first.
    std::size_t queuedFrom = steps.size();
    switch (current->GetType().GetType()) {
      case DataType::VOID:
        out += "void";
        break;
      case DataType::INTEGER:
        AppendNumber(out, As<IntegerValue>(*current).GetValue());
        break;
      case DataType::DOUBLE:
        AppendNumber(out, As<DoubleValue>(*current).GetValue());
        break;
      case DataType::BOOLEAN:
        out += As<BooleanValue>(*current).GetValue() ? "true" : "false";
        break;
      case DataType::STRING:
        AppendQuoted(out, As<StringValue>(*current).GetValue());
        break;
      case DataType::BLOB:
        AppendBlob(out, As<BlobValue>(*current).GetValue());
        break;
      case DataType::SECRET:
        out += "<secret>";
        break;
      case DataType::OPTIONAL: {
        const auto& optional = As<OptionalValue>(*current);
        if (!optional.IsSet()) {
          out += "none";
          break;
        }
        out += "some(";
        value(optional.GetValue().get());
        text(")");
        break;
      }
      case DataType::LIST: {
        const auto& list = As<ListValue>(*current);
        out += list.GetKind() == ListValue::Kind::SET ? "set[" : "[";
        bool first = true;
        for (const DataValuePtr& element : list) {
          if (!first) text(", ");
          first = false;
          value(element.get());
        }
        text("]");
        break;
      }
      case DataType::STRUCTURE:
      case DataType::ERROR: {
        const auto& compound = As<CompoundValue>(*current);
        if (current->GetType() == DataType::ERROR) out += "error ";
        out += compound.GetName();
        out += '{';
        bool first = true;
        compound.ForEachField([&](const CompoundValue::Field& field) {
          if (!first) text(", ");
          first = false;
          text(field.name);
          text(": ");
          value(field.value.get());
        });
        text("}");
        break;
      }
      default:
        out += "<";
        out += current->GetType().Name();
        out += ">";
    }
    std::reverse(steps.begin() + static_cast<std::ptrdiff_t>(queuedFrom), steps.end());
  }
  return out;
}

namespace {

struct CopyStep {
  const DataValue* source;
  DataValuePtr* destination;
};

// A copy of `source` without its children; their copies are queued for the slots created here.
std::shared_ptr<DataValue> CopyNode(const DataValue& source, std::vector<CopyStep>& pending) {
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
      const auto& original = As<OptionalValue>(source);
      auto copy = OptionalValue::GetInstance();
      if (original.IsSet()) pending.push_back({original.GetValue().get(), copy->value(nullptr)});
      return copy;
    }
    case DataType::LIST: {
      const auto& original = As<ListValue>(source);
      auto copy = ListValue::GetInstance(original.GetKind());
      copy->Reserve(original.Size());
      for (const DataValuePtr& element : original) {
        pending.push_back({element.get(), copy->AppendSlot()});
      }
      return copy;
    }
    case DataType::STRUCTURE:
    case DataType::ERROR: {
      const auto& original = As<CompoundValue>(source);
      std::shared_ptr<CompoundValue> copy;
      if (source.GetType() == DataType::ERROR) {
        copy = std::make_shared<ErrorValue>(original.GetName());
      } else {
        copy = StructValue::GetInstance(original.GetName());
      }
      copy->Reserve(original.FieldCount());
      original.ForEachField([&](const CompoundValue::Field& field) {
        CompoundValue::Field& added = ValueAccess::Append(*copy, field.name, nullptr);
        pending.push_back({field.value.get(), &added.value});
      });
      return copy;
    }
    default:
      return nullptr;  // no value of another kind exists
  }
}

}  // namespace

std::shared_ptr<DataValue> DeepCopy(const DataValue& value) {
  std::vector<CopyStep> pending;
  std::shared_ptr<DataValue> root = CopyNode(value, pending);
  while (!pending.empty()) {
    CopyStep step = pending.back();
    pending.pop_back();
    if (step.source != nullptr) *step.destination = CopyNode(*step.source, pending);
  }
  return root;
}

}  // namespace Quil::Data
