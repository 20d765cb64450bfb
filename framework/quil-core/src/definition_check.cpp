#include <quil/data/definition_check.h>

#include <limits>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include <quil/message.h>

#include "definition_tree.h"
#include "value_tree.h"

namespace Quil::Data {
namespace {

constexpr std::string_view kUnknownTag = "_UNKNOWN";
// A failure deeper than this many path segments names the first and last ones only.
constexpr std::size_t kPathHead = 16;
constexpr std::size_t kPathTail = 16;

// How a value is reached from the structure or list that holds it: a field name (a key of the
// definition's field map) or an element's index, in two words, as a path holds many.
struct Segment {
  static constexpr std::size_t kNoIndex = std::numeric_limits<std::size_t>::max();

  static Segment Root() { return {}; }
  static Segment Field(std::string_view name) { return {name.data(), name.size()}; }
  static Segment Element(std::size_t index) { return {nullptr, index}; }

  bool IsField() const { return name != nullptr; }
  bool IsRoot() const { return name == nullptr && number == kNoIndex; }
  std::string_view FieldName() const { return {name, number}; }
  std::size_t Index() const { return number; }

  const char* name = nullptr;
  std::size_t number = kNoIndex;  // the name's length, or the index
};

// An open structure or list whose children are still to be checked. The stack of frames is the
// path from the root to the value being checked.
struct Frame {
  Segment segment;
  // Structure frames: the definition's fields, each looked up in the value.
  const CompoundValue* compound = nullptr;
  DefinitionChildren fields;
  // A referenced structure's definition, which the reference does not own.
  std::shared_ptr<const StructDefinition> target;
  // List frames: the value's elements, each checked against the element definition.
  const DataDefinition* element = nullptr;
  Detail::StableVector<DataValuePtr>::Cursor elements;
  std::size_t remaining = 0;
  std::size_t nextIndex = 0;
};

std::string_view StringContent(const DataValue& value) {
  return static_cast<const StringValue&>(value).GetValue();
}

bool IsEmptyString(const DataValue& value) {
  return value.GetType() == DataType::STRING && StringContent(value).empty();
}

// The fields of a structure-kind value. Kinds 15 and 6 are the compound classes of the value
// model; anything else claiming a structure kind is asked.
const CompoundValue* AsCompound(const DataValue& value) {
  switch (value.GetType().GetType()) {
    case DataType::STRUCTURE:
      return static_cast<const StructValue*>(&value);
    case DataType::ERROR:
      return static_cast<const ErrorValue*>(&value);
    default:
      return dynamic_cast<const CompoundValue*>(&value);
  }
}

std::string KindName(DataType type) { return type.Name(); }

std::string Describe(const DataDefinition& definition) {
  const DataType type = definition.GetType();
  switch (type.GetType()) {
    case DataType::STRUCTURE:
    case DataType::ERROR:
      return KindName(type) + " " + static_cast<const StructDefinition&>(definition).GetName();
    case DataType::STRUCT_REF:
      return KindName(DataType::STRUCTURE) + " " +
             static_cast<const StructRefDefinition&>(definition).GetName();
    default:
      return KindName(type);
  }
}

// Converts a string as the value-to-native adapter will, so that the check accepts the same texts.
template <typename T>
bool Converts(const DataValue& text) {
  // Non-owning: ToPrimitive only reads the value during the call.
  const DataValuePtr view(std::shared_ptr<const void>(), &text);
  T ignored{};
  MessageList scratch;
  return DataValue::ToPrimitive<T>(view, ignored, scratch);
}

bool StringConvertsTo(DataType::EnumType kind, const DataValue& text) {
  switch (kind) {
    case DataType::INTEGER:
      return Converts<std::int64_t>(text);
    case DataType::BOOLEAN:
      return Converts<bool>(text);
    case DataType::DOUBLE:
      return Converts<double>(text);
    case DataType::VOID:
      return Converts<Void>(text);
    default:  // string, blob, secret: any text
      return true;
  }
}

class Checker {
 public:
  Checker(CheckMode mode, MessageList& messages, std::string_view rootName)
      : lenient_(mode == CheckMode::Lenient), messages_(messages), rootName_(rootName) {}

  bool Run(const DataDefinition& definition, const DataValue* value) {
    Enter(&definition, value, Segment::Root());
    while (!stack_.empty() && !stopped_) {
      if (stack_.back().compound != nullptr) {
        StepStructure();
      } else {
        StepList();
      }
    }
    return failures_ == 0;
  }

 private:
  // Checks one value. Structures and lists are pushed as frames whose children the main loop
  // visits; everything else, optionals and references included, is settled here.
  void Enter(const DataDefinition* definition, const DataValue* value, Segment segment) {
    std::shared_ptr<const StructDefinition> target;
    for (;;) {
      if (definition == nullptr) return Fail(segment, "quil.data.definition.missing");
      if (value == nullptr) return Fail(segment, "quil.data.definition.value.missing");
      const DataType::EnumType kind = definition->GetType().GetType();
      const DataType::EnumType valueKind = value->GetType().GetType();
      const bool standIn = lenient_ && valueKind == DataType::STRING;
      switch (kind) {
        case DataType::OPTIONAL:
        case DataType::UNION_CASE: {  // a union case outside a structure has no tag to consult
          if (valueKind == DataType::OPTIONAL) {
            const auto& optional = static_cast<const OptionalValue&>(*value);
            if (!optional.IsSet()) return;
            value = optional.GetValue().get();
          } else if (standIn && StringContent(*value).empty()) {
            return;
          }
          definition = ElementOf(*definition);
          continue;
        }
        case DataType::LIST: {
          const DataDefinition* element = ElementOf(*definition);
          if (valueKind == DataType::LIST) {
            Frame& frame = stack_.emplace_back();
            frame.segment = segment;
            frame.element = element;
            const auto& elements = ValueAccess::Elements(static_cast<const ListValue&>(*value));
            frame.elements = Detail::StableVector<DataValuePtr>::Cursor(elements);
            frame.remaining = elements.Size();
            return;
          }
          if (!standIn) return Mismatch(segment, *definition, *value);
          if (StringContent(*value).empty()) return;
          definition = element;  // the string is the list's one element
          continue;
        }
        case DataType::STRUCT_REF: {
          const auto& reference = static_cast<const StructRefDefinition&>(*definition);
          target = reference.GetTarget();
          if (target == nullptr) {
            return Fail(segment, "quil.data.definition.ref.unresolved", reference.GetName());
          }
          definition = target.get();
          continue;
        }
        case DataType::STRUCTURE:
        case DataType::ERROR: {
          const auto* structure = static_cast<const StructDefinition*>(definition);
          const CompoundValue* compound =
              DataType(valueKind).IsStructure() ? AsCompound(*value) : nullptr;
          if (compound != nullptr) {
            Frame& frame = stack_.emplace_back();
            frame.segment = segment;
            frame.compound = compound;
            frame.fields = DefinitionChildren::Of(structure->GetFields());
            frame.target = std::move(target);
            return;
          }
          if (standIn && StringContent(*value).empty()) return;
          return Mismatch(segment, *definition, *value);
        }
        default:
          if (valueKind == kind) return;
          if (!standIn) return Mismatch(segment, *definition, *value);
          if (StringConvertsTo(kind, *value)) return;
          return Fail(segment, "quil.data.definition.string.unparsable", Describe(*definition),
                      std::string(StringContent(*value)));
      }
    }
  }

  // The one child of an optional, list or union-case definition.
  static const DataDefinition* ElementOf(const DataDefinition& definition) {
    switch (definition.GetType().GetType()) {
      case DataType::OPTIONAL:
        return static_cast<const OptionalDefinition&>(definition).GetElementType().get();
      case DataType::LIST:
        return static_cast<const ListDefinition&>(definition).GetElementType().get();
      default:
        return static_cast<const UnionCaseDefinition&>(definition).GetElementType().get();
    }
  }

  // Checks the next field of the structure on top of the stack; leaves the frame when none is left.
  void StepStructure() {
    Frame& frame = stack_.back();
    DefinitionChild field;
    if (!frame.fields.Next(field)) {
      stack_.pop_back();
      return;
    }
    const std::string_view name = field.label;
    const DataDefinitionPtr& fieldDefinition = *field.slot;
    const CompoundValue& compound = *frame.compound;
    // `frame` may move once Enter pushes a child: only the locals above are used from here on.
    const Segment segment = Segment::Field(name);
    const DataValuePtr* slot = compound.FindField(name);
    if (fieldDefinition != nullptr && fieldDefinition->GetType() == DataType::UNION_CASE) {
      const auto& unionCase = static_cast<const UnionCaseDefinition&>(*fieldDefinition);
      return CheckUnionCase(unionCase, compound, slot, segment);
    }
    if (slot == nullptr) {
      if (fieldDefinition != nullptr && fieldDefinition->GetType() == DataType::OPTIONAL) return;
      return Fail(segment, "quil.data.definition.field.missing");
    }
    Enter(fieldDefinition.get(), slot->get(), segment);
  }

  void CheckUnionCase(const UnionCaseDefinition& unionCase, const CompoundValue& compound,
                      const DataValuePtr* slot, Segment segment) {
    const DataValue* content = slot != nullptr ? slot->get() : nullptr;
    bool set = slot != nullptr;
    if (content != nullptr && content->GetType() == DataType::OPTIONAL) {
      const auto& optional = static_cast<const OptionalValue&>(*content);
      set = optional.IsSet();
      content = optional.GetValue().get();
    } else if (content != nullptr && lenient_ && IsEmptyString(*content)) {
      set = false;
    }

    std::string_view tag = kUnknownTag;
    const DataValuePtr* tagSlot = compound.FindField(unionCase.GetTagField());
    if (tagSlot != nullptr && *tagSlot != nullptr && (*tagSlot)->GetType() == DataType::STRING) {
      tag = StringContent(**tagSlot);
    }
    // A case without a rule constrains nothing.
    const boost::tribool rule = unionCase.PredicateType() == typeid(void)
                                    ? boost::tribool(boost::indeterminate)
                                    : unionCase.Evaluate(tag);
    if (rule && !set) {
      return Fail(segment, "quil.data.definition.union.case.required", unionCase.GetTagField(),
                  std::string(tag));
    }
    if (!rule && set) {
      return Fail(segment, "quil.data.definition.union.case.forbidden", unionCase.GetTagField(),
                  std::string(tag));
    }
    if (set) Enter(unionCase.GetElementType().get(), content, segment);
  }

  void StepList() {
    Frame& frame = stack_.back();
    if (frame.remaining == 0) {
      stack_.pop_back();
      return;
    }
    --frame.remaining;
    const std::size_t index = frame.nextIndex++;
    Enter(frame.element, frame.elements.Next().get(), Segment::Element(index));
  }

  void Mismatch(Segment segment, const DataDefinition& definition, const DataValue& value) {
    Fail(segment, "quil.data.definition.type.mismatch", Describe(definition),
         KindName(value.GetType()));
  }

  template <typename... Args>
  void Fail(Segment segment, const char* id, const Args&... args) {
    if (stopped_) return;
    if (failures_ == kMaxCheckFailures) {
      messages_.push_back(Message<CoreTag>("quil.data.definition.check.truncated",
                                           std::to_string(kMaxCheckFailures)));
      stopped_ = true;
      return;
    }
    ++failures_;
    messages_.push_back(Message<CoreTag>(id, PathTo(segment), std::string(args)...));
  }

  // The stack's segments below the failing value, then its own: "a.b[2].c".
  std::string PathTo(Segment last) const {
    std::vector<Segment> segments;
    for (const Frame& frame : stack_) {
      if (!frame.segment.IsRoot()) segments.push_back(frame.segment);
    }
    if (!last.IsRoot()) segments.push_back(last);
    if (segments.empty()) return std::string(rootName_);

    std::string path;
    const auto append = [&path](Segment segment) {
      if (segment.IsField()) {
        if (!path.empty()) path += '.';
        path += segment.FieldName();
      } else {
        path += '[' + std::to_string(segment.Index()) + ']';
      }
    };
    const std::size_t count = segments.size();
    for (std::size_t i = 0; i < count; ++i) {
      if (count > kPathHead + kPathTail && i == kPathHead) {
        path += ".(" + std::to_string(count - kPathHead - kPathTail) + " more)";
        i = count - kPathTail - 1;
        continue;
      }
      append(segments[i]);
    }
    return path;
  }

  const bool lenient_;
  MessageList& messages_;
  const std::string_view rootName_;
  // The path to the value being checked; shallow values fit inline, so a check allocates nothing.
  boost::container::small_vector<Frame, 4> stack_;
  std::size_t failures_ = 0;
  bool stopped_ = false;
};

}  // namespace

bool CheckValue(const DataDefinition& definition, const DataValuePtr& value, CheckMode mode,
                MessageList& messages, std::string_view rootName) {
  return Checker(mode, messages, rootName).Run(definition, value.get());
}

}  // namespace Quil::Data
