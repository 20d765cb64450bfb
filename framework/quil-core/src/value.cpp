#include <quil/data/value.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include <quil/message.h>

#include "value_tree.h"

namespace Quil::Data {

namespace {

template <typename ValueClass>
const ValueClass& As(const DataValue& value) {
  return static_cast<const ValueClass&>(value);
}

// Extraction from a value of exactly the expected kind.
template <typename ValueClass, typename T>
bool Extract(const DataValuePtr& value, DataType expected, T& out, MessageList& messages) {
  if (!value) {
    messages.push_back(Message<CoreTag>("quil.data.value.missing", std::string(expected.Name())));
    return false;
  }
  DataType actual = value->GetType();
  if (actual != expected) {
    messages.push_back(Message<CoreTag>("quil.data.value.wrong.type", std::string(expected.Name()),
                                        std::string(actual.Name())));
    return false;
  }
  if constexpr (std::is_same_v<ValueClass, VoidValue>) {
    out = Void{};
  } else {
    out = As<ValueClass>(*value).GetValue();
  }
  return true;
}

}  // namespace

DataValue::~DataValue() = default;
ValueVisitor::~ValueVisitor() = default;

template <>
DataValuePtr DataValue::Create(const std::int64_t& value) {
  return IntegerValue::GetInstance(value);
}
template <>
DataValuePtr DataValue::Create(const bool& value) {
  return BooleanValue::GetInstance(value);
}
template <>
DataValuePtr DataValue::Create(const std::string& value) {
  return StringValue::GetInstance(value);
}
template <>
DataValuePtr DataValue::Create(const double& value) {
  return DoubleValue::GetInstance(value);
}
template <>
DataValuePtr DataValue::Create(const Void&) {
  return VoidValue::GetInstance();
}

template <>
bool DataValue::Value(const DataValuePtr& value, std::int64_t& out, MessageList& messages) {
  return Extract<IntegerValue>(value, DataType::INTEGER, out, messages);
}
template <>
bool DataValue::Value(const DataValuePtr& value, bool& out, MessageList& messages) {
  return Extract<BooleanValue>(value, DataType::BOOLEAN, out, messages);
}
template <>
bool DataValue::Value(const DataValuePtr& value, std::string& out, MessageList& messages) {
  return Extract<StringValue>(value, DataType::STRING, out, messages);
}
template <>
bool DataValue::Value(const DataValuePtr& value, double& out, MessageList& messages) {
  return Extract<DoubleValue>(value, DataType::DOUBLE, out, messages);
}
template <>
bool DataValue::Value(const DataValuePtr& value, Void& out, MessageList& messages) {
  return Extract<VoidValue>(value, DataType::VOID, out, messages);
}

// Void

std::shared_ptr<VoidValue> VoidValue::GetInstance() { return std::make_shared<VoidValue>(); }
DataType VoidValue::GetType() const { return DataType::VOID; }
void VoidValue::Accept(ValueVisitor& visitor) const { visitor.VisitVoid(*this); }

// Primitives

template <typename T, DataType::EnumType Kind>
void PrimitiveValue<T, Kind>::Accept(ValueVisitor& visitor) const {
  if constexpr (Kind == DataType::INTEGER) {
    visitor.VisitInteger(*this);
  } else if constexpr (Kind == DataType::DOUBLE) {
    visitor.VisitDouble(*this);
  } else {
    static_assert(Kind == DataType::BOOLEAN, "no visitor slot for this primitive kind");
    visitor.VisitBoolean(*this);
  }
}

template class PrimitiveValue<std::int64_t, DataType::INTEGER>;
template class PrimitiveValue<double, DataType::DOUBLE>;
template class PrimitiveValue<bool, DataType::BOOLEAN>;

// Text

namespace {

// Allocates a shared value's control block and object with room for `count` objects of type
// Room behind them, and tells where that room starts: a value and what it holds in one
// allocation.
template <typename T, typename Room>
class WithRoom {
 public:
  using value_type = T;

  WithRoom(std::size_t count, Room** room) : count_(count), room_(room) {}
  template <typename U>
  explicit WithRoom(const WithRoom<U, Room>& other) : count_(other.count_), room_(other.room_) {}

  T* allocate(std::size_t n) {
    constexpr std::size_t kAlign = alignof(Room);
    const std::size_t offset = (sizeof(T) * n + kAlign - 1) / kAlign * kAlign;
    char* block = static_cast<char*>(::operator new(offset + count_ * sizeof(Room)));
    *room_ = reinterpret_cast<Room*>(block + offset);
    return reinterpret_cast<T*>(block);
  }
  void deallocate(T* block, std::size_t /*n*/) { ::operator delete(block); }

  friend bool operator==(const WithRoom&, const WithRoom&) { return true; }
  friend bool operator!=(const WithRoom&, const WithRoom&) { return false; }

 private:
  template <typename, typename>
  friend class WithRoom;
  std::size_t count_;
  Room** room_;
};

}  // namespace

template <DataType::EnumType Kind>
std::shared_ptr<TextValue<Kind>> TextValue<Kind>::GetInstance(std::string_view text) {
  char* room = nullptr;
  return std::allocate_shared<TextValue>(WithRoom<TextValue, char>(text.size(), &room), text,
                                         TextRoom{&room});
}

template <DataType::EnumType Kind>
TextValue<Kind>::TextValue(std::string_view text, TextRoom room)
    : text_(*room.start), size_(text.size()) {
  text.copy(*room.start, text.size());
}

template <DataType::EnumType Kind>
void TextValue<Kind>::Accept(ValueVisitor& visitor) const {
  if constexpr (Kind == DataType::STRING) {
    visitor.VisitString(*this);
  } else if constexpr (Kind == DataType::BLOB) {
    visitor.VisitBlob(*this);
  } else {
    static_assert(Kind == DataType::SECRET, "no visitor slot for this text kind");
    visitor.VisitSecret(*this);
  }
}

template class TextValue<DataType::STRING>;
template class TextValue<DataType::BLOB>;
template class TextValue<DataType::SECRET>;

// Optional

std::shared_ptr<OptionalValue> OptionalValue::GetInstance() {
  return std::make_shared<OptionalValue>();
}

OptionalValue::~OptionalValue() {
  Quil::Detail::ReleaseChildren<ValueTree>(ValueChildren::Of(content_));
}

DataValuePtr* OptionalValue::value(DataValuePtr content) {
  content_ = std::move(content);
  set_ = true;
  return &content_;
}

DataType OptionalValue::GetType() const { return DataType::OPTIONAL; }
void OptionalValue::Accept(ValueVisitor& visitor) const { visitor.VisitOptional(*this); }

// List

std::shared_ptr<ListValue> ListValue::GetInstance(Kind kind) {
  return std::make_shared<ListValue>(kind);
}

ListValue::~ListValue() { Quil::Detail::ReleaseChildren<ValueTree>(ValueChildren::Of(elements_)); }

DataType ListValue::GetType() const { return DataType::LIST; }
void ListValue::Accept(ValueVisitor& visitor) const { visitor.VisitList(*this); }

// Compound

CompoundValue::CompoundValue(StaticText name, FieldRoom room)
    : name_(name.View()), fields_(Detail::PresetAllocator<Field>(*room.start, room.count)) {
  fields_.Reserve(room.count);
}

CompoundValue::~CompoundValue() {
  Quil::Detail::ReleaseChildren<ValueTree>(ValueChildren::Of(fields_));
}

namespace {

using Field = CompoundValue::Field;

std::size_t HashName(std::string_view name) { return std::hash<std::string_view>()(name); }

// Probes from the name's hash to the position of its field or of the empty entry where it
// belongs. The table's size is a power of two and it always has empty entries.
std::size_t IndexPosition(const std::vector<Field*>& index, std::string_view name) {
  const std::size_t mask = index.size() - 1;
  for (std::size_t position = HashName(name) & mask;; position = (position + 1) & mask) {
    if (index[position] == nullptr || index[position]->name == name) return position;
  }
}

}  // namespace

CompoundValue::Field* CompoundValue::Find(std::string_view name) const {
  if (index_.empty()) {
    return const_cast<Field*>(
        fields_.FindIf([name](const Field& field) { return field.name == name; }));
  }
  return index_[IndexPosition(index_, name)];
}

template <typename Name>
CompoundValue::Field& CompoundValue::Append(Name name, DataValuePtr value) {
  Field& field = fields_.EmplaceBack(name, std::move(value));
  const std::size_t count = fields_.Size();
  if (count <= kLinearSearchLimit) return field;
  if (count * 2 <= index_.size()) {
    index_[IndexPosition(index_, field.name)] = &field;
    return field;
  }
  std::size_t size = 16;
  while (size < count * 4) size *= 2;
  index_.assign(size, nullptr);
  fields_.ForEach([this](Field& each) { index_[IndexPosition(index_, each.name)] = &each; });
  return field;
}

bool CompoundValue::GetField(std::string_view name, DataValuePtr& value,
                             MessageList& messages) const {
  if (const Field* field = Find(name)) {
    value = field->value;
    return true;
  }
  messages.push_back(
      Message<CoreTag>("quil.data.field.missing", std::string(name), std::string(name_)));
  return false;
}

const DataValuePtr* CompoundValue::FindField(std::string_view name) const {
  const Field* field = Find(name);
  return field ? &field->value : nullptr;
}

void CompoundValue::SetField(std::string_view name, DataValuePtr value) {
  if (Field* field = Find(name)) {
    field->value = std::move(value);
  } else {
    Append(name, std::move(value));
  }
}

DataValuePtr* CompoundValue::FieldSlot(std::string_view name) {
  Field* field = Find(name);
  return field ? &field->value : &Append(name, nullptr).value;
}

DataValuePtr* CompoundValue::FieldSlot(StaticText name) {
  Field* field = Find(name.View());
  return field ? &field->value : &Append(name, nullptr).value;
}

std::vector<const CompoundValue::Field*> CompoundValue::SortedFields() const {
  std::vector<const Field*> sorted;
  sorted.reserve(fields_.Size());
  fields_.ForEach([&sorted](const Field& field) { sorted.push_back(&field); });
  // std::string orders by unsigned bytes.
  std::sort(sorted.begin(), sorted.end(),
            [](const Field* a, const Field* b) { return a->name < b->name; });
  return sorted;
}

// Structure

std::shared_ptr<StructValue> StructValue::GetInstance(std::string name) {
  return std::make_shared<StructValue>(std::move(name));
}
std::shared_ptr<StructValue> StructValue::GetInstance(StaticText name, std::size_t fieldCount) {
  if (fieldCount == 0) return std::make_shared<StructValue>(name);
  Field* room = nullptr;
  return std::allocate_shared<StructValue>(WithRoom<StructValue, Field>(fieldCount, &room), name,
                                           FieldRoom{&room, fieldCount});
}
DataType StructValue::GetType() const { return DataType::STRUCTURE; }
void StructValue::Accept(ValueVisitor& visitor) const { visitor.VisitStruct(*this); }

// Error

namespace {

constexpr StaticText kIdField("id");
constexpr StaticText kDefaultMessageField("default_message");
constexpr StaticText kArgsField("args");

DataValuePtr MessageToValue(const BaseMessage& message) {
  auto args = ListValue::GetInstance(ListValue::Kind::LIST);
  args->Reserve(message.args.size());
  for (const std::string& arg : message.args) args->Append(StringValue::GetInstance(arg));

  auto entry = StructValue::GetInstance(StaticText(ErrorValue::kMessageStructName), 3);
  ValueAccess::Append(*entry, kIdField, StringValue::GetInstance(message.id));
  ValueAccess::Append(*entry, kDefaultMessageField,
                      StringValue::GetInstance(message.defaultMessage));
  ValueAccess::Append(*entry, kArgsField, std::move(args));
  return entry;
}

std::optional<std::string_view> StringField(const CompoundValue& value, std::string_view name) {
  const DataValuePtr* field = value.FindField(name);
  if (!field || !*field || (*field)->GetType() != DataType::STRING) return std::nullopt;
  return As<StringValue>(**field).GetValue();
}

// A message entry of the expected shape, or false.
bool ValueToMessage(const DataValuePtr& entry, MessageList& out) {
  if (!entry || entry->GetType() != DataType::STRUCTURE) return false;
  const auto& fields = As<StructValue>(*entry);
  const auto id = StringField(fields, kIdField.View());
  const auto text = StringField(fields, kDefaultMessageField.View());
  const DataValuePtr* argsField = fields.FindField(kArgsField.View());
  if (!id || !text || !argsField || !*argsField || (*argsField)->GetType() != DataType::LIST) {
    return false;
  }
  const auto& argValues = As<ListValue>(**argsField);
  std::vector<std::string> args;
  args.reserve(argValues.Size());
  for (const DataValuePtr& arg : argValues) {
    if (!arg || arg->GetType() != DataType::STRING) return false;
    args.emplace_back(As<StringValue>(*arg).GetValue());
  }
  out.emplace_back(std::string(*id), std::string(*text), std::move(args));
  return true;
}

}  // namespace

std::shared_ptr<ErrorValue> ErrorValue::Create(std::string name, const MessageList& messages) {
  auto list = ListValue::GetInstance(ListValue::Kind::LIST);
  list->Reserve(messages.size());
  for (const BaseMessage& message : messages) list->Append(MessageToValue(message));

  auto error = std::make_shared<ErrorValue>(std::move(name));
  error->Reserve(1);
  ValueAccess::Append(*error, StaticText(kMessagesField), std::move(list));
  return error;
}

std::shared_ptr<ErrorValue> ErrorValue::GetInstance(std::string name) {
  return Create(std::move(name), MessageList());
}

MessageList ErrorValue::GetMessages() const {
  MessageList messages;
  const DataValuePtr* field = FindField(kMessagesField);
  if (!field || !*field || (*field)->GetType() != DataType::LIST) return messages;
  const auto& entries = As<ListValue>(**field);
  messages.reserve(entries.Size());
  for (const DataValuePtr& entry : entries) ValueToMessage(entry, messages);
  return messages;
}

DataType ErrorValue::GetType() const { return DataType::ERROR; }
void ErrorValue::Accept(ValueVisitor& visitor) const { visitor.VisitError(*this); }

}  // namespace Quil::Data
