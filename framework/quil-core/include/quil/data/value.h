// Dynamic values: the framework's self-describing form of every input, output and error.
//
// Values are built mutable and then shared as `std::shared_ptr<const DataValue>`. Builders fill
// values in place through slots: the slot of a structure field, of a list element or of an
// optional's content is the address of a `DataValuePtr` that stays valid while the value lives,
// however many fields or elements are added afterwards.
//
// Nothing here recurses on the call stack: comparing, copying, printing and destroying a value
// nested a million levels deep uses heap memory only. Destruction relies on values never being
// held by weak pointers: a child whose last owner is its parent is taken apart by the parent.
//
// Failures are reported by appending messages (`Quil::BaseMessage`) to the caller's list:
//   "quil.data.field.missing"     (field name, structure name)     GetField
//   "quil.data.value.missing"     (expected kind name)             Value, ToPrimitive on null
//   "quil.data.value.wrong.type"  (expected kind, actual kind)     Value, ToPrimitive
//   "quil.data.primitive.parse"   (text, target kind name)         ToPrimitive
// Kind names are those of `DataType::Name`.
//
//   auto info = StructValue::GetInstance("com.example.info");
//   info->SetField("count", DataValue::Create<std::int64_t>(4));
//   DataValuePtr count;
//   MessageList messages;
//   info->GetField("count", count, messages);  // true
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <quil/base_message.h>
#include <quil/data/data_type.h>
#include <quil/data/detail/stable_vector.h>
#include <quil/export.h>
#include <quil/types.h>

namespace Quil::Data {

class DataValue;
class ValueVisitor;
using DataValuePtr = std::shared_ptr<const DataValue>;

// Text that outlives every value made with it: a string literal, or text in storage that is never
// freed. Values keep such names by reference instead of copying them.
class StaticText {
 public:
  constexpr explicit StaticText(std::string_view text) : text_(text) {}
  constexpr std::string_view View() const { return text_; }

 private:
  std::string_view text_;
};

class QUIL_CORE_API DataValue {
 public:
  virtual DataType GetType() const = 0;
  virtual void Accept(ValueVisitor& visitor) const = 0;
  virtual ~DataValue();

  // A value of the kind matching T: std::int64_t, bool, std::string, double, Quil::Void.
  template <typename T>
  static DataValuePtr Create(const T& value);

  // Extracts T from a value of the matching kind only (no conversion). On a wrong kind or a null
  // value: false, `out` untouched, and one "quil.data.value.wrong.type" (or
  // "quil.data.value.missing") message.
  template <typename T>
  static bool Value(const DataValuePtr& value, T& out, MessageList& messages);

  // Converts a string value to T: decimal 64-bit integers (optional sign, no blanks, overflow and
  // trailing characters rejected), exactly "true" or "false", decimal doubles (locale
  // independent, the whole text consumed), any text, and Void from the empty text only. A value
  // that is not a string is taken as by Value. On failure: false, `out` untouched, and one
  // message ("quil.data.primitive.parse" for a text that does not parse).
  template <typename T>
  static bool ToPrimitive(const DataValuePtr& value, T& out, MessageList& messages);

 protected:
  DataValue() = default;
  DataValue(const DataValue&) = delete;
  DataValue& operator=(const DataValue&) = delete;
};

// clang-format off
template <> QUIL_CORE_API DataValuePtr DataValue::Create(const std::int64_t&);
template <> QUIL_CORE_API DataValuePtr DataValue::Create(const bool&);
template <> QUIL_CORE_API DataValuePtr DataValue::Create(const std::string&);
template <> QUIL_CORE_API DataValuePtr DataValue::Create(const double&);
template <> QUIL_CORE_API DataValuePtr DataValue::Create(const Void&);
template <> QUIL_CORE_API bool DataValue::Value(const DataValuePtr&, std::int64_t&, MessageList&);
template <> QUIL_CORE_API bool DataValue::Value(const DataValuePtr&, bool&, MessageList&);
template <> QUIL_CORE_API bool DataValue::Value(const DataValuePtr&, std::string&, MessageList&);
template <> QUIL_CORE_API bool DataValue::Value(const DataValuePtr&, double&, MessageList&);
template <> QUIL_CORE_API bool DataValue::Value(const DataValuePtr&, Void&, MessageList&);
template <> QUIL_CORE_API bool DataValue::ToPrimitive(const DataValuePtr&, std::int64_t&, MessageList&);
template <> QUIL_CORE_API bool DataValue::ToPrimitive(const DataValuePtr&, bool&, MessageList&);
template <> QUIL_CORE_API bool DataValue::ToPrimitive(const DataValuePtr&, std::string&, MessageList&);
template <> QUIL_CORE_API bool DataValue::ToPrimitive(const DataValuePtr&, double&, MessageList&);
template <> QUIL_CORE_API bool DataValue::ToPrimitive(const DataValuePtr&, Void&, MessageList&);
// clang-format on

// Structural equality; null equals only null. Structures compare by kind (structure or error),
// name and field set, whatever the order of their fields; lists by kind and elements in order;
// optionals by whether they are set and by content; doubles by value, NaN equal to NaN.
QUIL_CORE_API bool Equals(const DataValue* a, const DataValue* b);
inline bool operator==(const DataValue& a, const DataValue& b) { return Equals(&a, &b); }
inline bool operator!=(const DataValue& a, const DataValue& b) { return !Equals(&a, &b); }

// A readable one-line form for logs and test failures, for example
// `com.example.info{count: 4, tags: set["a"], note: none}`; secrets print as "<secret>".
QUIL_CORE_API std::string ToText(const DataValue* value);

// A deep copy that shares nothing with the original.
QUIL_CORE_API std::shared_ptr<DataValue> DeepCopy(const DataValue& value);

class QUIL_CORE_API VoidValue final : public DataValue {
 public:
  static std::shared_ptr<VoidValue> GetInstance();
  DataType GetType() const override;
  void Accept(ValueVisitor& visitor) const override;
};

// The number and truth kinds hold one immutable native value.
template <typename T, DataType::EnumType Kind>
class QUIL_CORE_API PrimitiveValue final : public DataValue {
 public:
  explicit PrimitiveValue(T value) : value_(std::move(value)) {}
  static std::shared_ptr<PrimitiveValue> GetInstance(T value) {
    return std::make_shared<PrimitiveValue>(std::move(value));
  }
  const T& GetValue() const { return value_; }
  DataType GetType() const override { return Kind; }
  void Accept(ValueVisitor& visitor) const override;

 private:
  T value_;
};

// The text kinds hold immutable bytes, kept in the value's own allocation.
template <DataType::EnumType Kind>
class QUIL_CORE_API TextValue final : public DataValue {
 public:
  // Where the room for the text allocated with the value begins; known once the value's storage
  // exists, so it is read at construction.
  struct TextRoom {
    char* const* start;
  };

  // One allocation for the value and its text.
  static std::shared_ptr<TextValue> GetInstance(std::string_view text);

  TextValue(std::string_view text, TextRoom room);

  std::string_view GetValue() const { return {text_, size_}; }
  DataType GetType() const override { return Kind; }
  void Accept(ValueVisitor& visitor) const override;

 private:
  const char* text_;
  std::size_t size_;
};

using IntegerValue = PrimitiveValue<std::int64_t, DataType::INTEGER>;
using DoubleValue = PrimitiveValue<double, DataType::DOUBLE>;
using BooleanValue = PrimitiveValue<bool, DataType::BOOLEAN>;
using StringValue = TextValue<DataType::STRING>;
using BlobValue = TextValue<DataType::BLOB>;  // bytes
using SecretValue = TextValue<DataType::SECRET>;

// Instantiated once, in libquil-core.
extern template class PrimitiveValue<std::int64_t, DataType::INTEGER>;
extern template class PrimitiveValue<double, DataType::DOUBLE>;
extern template class PrimitiveValue<bool, DataType::BOOLEAN>;
extern template class TextValue<DataType::STRING>;
extern template class TextValue<DataType::BLOB>;
extern template class TextValue<DataType::SECRET>;

// One value or none. The content slot exists from the moment the optional is set, so that a
// builder can fill it afterwards.
class QUIL_CORE_API OptionalValue final : public DataValue {
 public:
  static std::shared_ptr<OptionalValue> GetInstance();  // holding none
  ~OptionalValue() override;

  // Sets the content and returns the address of its slot.
  DataValuePtr* value(DataValuePtr content);
  bool IsSet() const { return set_; }
  const DataValuePtr& GetValue() const { return content_; }

  DataType GetType() const override;
  void Accept(ValueVisitor& visitor) const override;

 private:
  friend struct ValueAccess;
  DataValuePtr content_;
  bool set_ = false;
};

// An ordered sequence of values: a list, or a set. The builder of a set keeps its elements
// distinct; the value does not check.
class QUIL_CORE_API ListValue final : public DataValue {
 public:
  enum class Kind : std::int32_t { LIST = 1, SET = 2 };
  using const_iterator = Detail::StableVector<DataValuePtr>::const_iterator;

  static std::shared_ptr<ListValue> GetInstance(Kind kind);
  ~ListValue() override;

  Kind GetKind() const { return kind_; }
  std::size_t Size() const { return elements_.Size(); }
  bool Empty() const { return elements_.Empty(); }
  // Constant time for a list built with Reserve, logarithmic otherwise; iterate to visit all.
  const DataValuePtr& At(std::size_t index) const { return elements_[index]; }
  const_iterator begin() const { return elements_.begin(); }
  const_iterator end() const { return elements_.end(); }
  template <typename F>
  void ForEach(F&& f) const {
    elements_.ForEach(f);
  }

  void Reserve(std::size_t count) { elements_.Reserve(count); }
  void Append(DataValuePtr element) { elements_.EmplaceBack(std::move(element)); }
  // Appends an empty element and returns its slot.
  DataValuePtr* AppendSlot() { return &elements_.EmplaceBack(); }

  DataType GetType() const override;
  void Accept(ValueVisitor& visitor) const override;

  explicit ListValue(Kind kind) : kind_(kind) {}

 private:
  friend struct ValueAccess;
  Kind kind_;
  Detail::StableVector<DataValuePtr> elements_;
};

// A value with named fields. Fields keep their insertion order and are found by name; the name
// of a field is unique within its value.
class QUIL_CORE_API CompoundValue : public DataValue {
 public:
  // A field. Its name is static text or a copy the field holds itself; fields never move once
  // added, so the name stays valid while the value lives.
  struct Field {
    Field(StaticText fieldName, DataValuePtr fieldValue)
        : name(fieldName.View()), value(std::move(fieldValue)) {}
    Field(std::string_view fieldName, DataValuePtr fieldValue)
        : value(std::move(fieldValue)), copiedName_(fieldName) {
      name = copiedName_;
    }
    Field(Field&& other) noexcept : name(other.name), value(std::move(other.value)) {
      if (other.name.data() != other.copiedName_.data()) return;  // static text
      copiedName_ = std::move(other.copiedName_);
      name = copiedName_;
    }
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;
    Field& operator=(Field&&) = delete;

    std::string_view name;
    DataValuePtr value;

   private:
    std::string copiedName_;
  };

  // Where room for `count` fields allocated with the value begins; known once the value's
  // storage exists, so it is read at construction.
  using Fields = Detail::StableVector<Field, Detail::PresetAllocator<Field>>;

  struct FieldRoom {
    Field* const* start;
    std::size_t count;
  };

  ~CompoundValue() override;

  std::string_view GetName() const { return name_; }

  // Finds a field: true with its value, or false after appending "quil.data.field.missing"
  // (arguments: the field name, the value's name).
  bool GetField(std::string_view name, DataValuePtr& value, MessageList& messages) const;
  // The field's value, or null when there is no such field.
  const DataValuePtr* FindField(std::string_view name) const;
  bool HasField(std::string_view name) const { return FindField(name) != nullptr; }
  // Stores a field, replacing the value of a field of the same name.
  void SetField(std::string_view name, DataValuePtr value);
  // The slot of a field, created empty (null) at the end when missing.
  DataValuePtr* FieldSlot(std::string_view name);
  DataValuePtr* FieldSlot(StaticText name);

  std::size_t FieldCount() const { return fields_.Size(); }
  // Fields in insertion order.
  template <typename F>
  void ForEachField(F&& f) const {
    fields_.ForEach(f);
  }
  // Fields in ascending byte-wise order of their names.
  std::vector<const Field*> SortedFields() const;

  // Room for `count` more fields in one allocation.
  void Reserve(std::size_t count) { fields_.Reserve(count); }

 protected:
  explicit CompoundValue(std::string name) : copiedName_(std::move(name)), name_(copiedName_) {}
  explicit CompoundValue(StaticText name) : name_(name.View()) {}
  CompoundValue(StaticText name, FieldRoom room);

 private:
  friend struct ValueAccess;
  // Up to this many fields a linear search beats hashing.
  static constexpr std::size_t kLinearSearchLimit = 8;

  Field* Find(std::string_view name) const;
  // Appends a field the value does not have yet; `Name` is std::string_view or StaticText.
  template <typename Name>
  Field& Append(Name name, DataValuePtr value);

  std::string copiedName_;  // empty when the name is static text
  std::string_view name_;
  Fields fields_;
  // Empty while linear search is used; afterwards an open-addressing hash table of every field
  // (fields never move), at most half full, in one allocation.
  std::vector<Field*> index_;
};

class QUIL_CORE_API StructValue final : public CompoundValue {
 public:
  static std::shared_ptr<StructValue> GetInstance(std::string name);
  // With room for `fieldCount` fields in the same allocation.
  static std::shared_ptr<StructValue> GetInstance(StaticText name, std::size_t fieldCount = 0);
  DataType GetType() const override;
  void Accept(ValueVisitor& visitor) const override;

  explicit StructValue(std::string name) : CompoundValue(std::move(name)) {}
  explicit StructValue(StaticText name) : CompoundValue(name) {}
  StructValue(StaticText name, FieldRoom room) : CompoundValue(name, room) {}
};

// An error: a structure named after the error (for example ErrorNames::kNotFound) whose field
// "messages" lists localizable messages, each a structure "com.korvan.quil.std.localizable_message"
// of "id", "default_message" and "args" (a list of strings).
class QUIL_CORE_API ErrorValue final : public CompoundValue {
 public:
  static constexpr std::string_view kMessagesField = "messages";
  static constexpr std::string_view kMessageStructName = "com.korvan.quil.std.localizable_message";

  // An error carrying the given messages.
  static std::shared_ptr<ErrorValue> Create(std::string name, const MessageList& messages);
  // An error with an empty message list.
  static std::shared_ptr<ErrorValue> GetInstance(std::string name);

  // The messages carried in the "messages" field, read back as records; entries of another shape
  // are skipped.
  MessageList GetMessages() const;

  DataType GetType() const override;
  void Accept(ValueVisitor& visitor) const override;

  explicit ErrorValue(std::string name) : CompoundValue(std::move(name)) {}
};

using ErrorValuePtr = std::shared_ptr<const ErrorValue>;

class QUIL_CORE_API ValueVisitor {
 public:
  virtual void VisitVoid(const VoidValue& value) = 0;
  virtual void VisitInteger(const IntegerValue& value) = 0;
  virtual void VisitDouble(const DoubleValue& value) = 0;
  virtual void VisitBoolean(const BooleanValue& value) = 0;
  virtual void VisitBlob(const BlobValue& value) = 0;
  virtual void VisitString(const StringValue& value) = 0;
  virtual void VisitSecret(const SecretValue& value) = 0;
  virtual void VisitError(const ErrorValue& value) = 0;
  virtual void VisitOptional(const OptionalValue& value) = 0;
  virtual void VisitList(const ListValue& value) = 0;
  virtual void VisitStruct(const StructValue& value) = 0;
  virtual ~ValueVisitor();
};

}  // namespace Quil::Data
