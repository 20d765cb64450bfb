// Dynamic values to native values of the API.
//
// `ValueToNativeAdapter::Adapt` fills a native structure, input record, list, set, enumeration or
// primitive from a `DataValue`. It never recurses: each method handles one level and queues the
// level below on an explicit work stack that `Adapt` drains.
//
// It is lenient where a string stands for another kind: a string value parses as any primitive;
// an empty string stands for an absent optional, an empty list or set, or a structure whose
// members keep their defaults; a non-empty string stands for a one-element list or set. Fields
// that the native type does not declare are kept in its `unknownFields`; an enumeration text
// that matches no value gives `_UNKNOWN` keeping the text. Neither is an error: the validator
// judges them.
//
// The first problem appends its messages ("quil.data.bad.cast1" with the text, when a non-empty
// string stands where a structure is expected; "quil.data.invalid.type" for any other wrong kind;
// otherwise the framework's own messages from GetField, Value and ToPrimitive) and drops all
// pending work, so a failed call reports exactly one failure. The destination may then be partly
// filled; callers discard it.
//
//   auto input = std::make_shared<UpdateMethod::Input>();
//   Quil::MessageList messages;
//   bool ok = Quil::Data::ValueToNativeAdapter::Adapt(value, *input, messages);
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <quil/base_message.h>
#include <quil/data/native.h>
#include <quil/data/native_to_value.h>
#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/type_info.h>
#include <quil/types.h>

namespace Quil::Data {

namespace V2N_internal {
class StackMapCnt;
}

// Fills the native object at `destination` from `source`.
using ValueToNativeMethod = void (*)(const DataValuePtr& source, NativePtr destination,
                                     V2N_internal::StackMapCnt& stack, MessageList& messages);
// The source is held by the entry, which keeps the value alive while the entry waits.
using ValueToNativeEntry = BasicAdaptEntry<DataValuePtr, ValueToNativeMethod, NativePtr>;

namespace V2N_internal {
// Only a stack, whatever the name says (no map, no count): the work of one
// `ValueToNativeAdapter::Adapt` call.
class StackMapCnt {
 public:
  StackMapCnt() = default;
  StackMapCnt(const StackMapCnt&) = delete;
  StackMapCnt& operator=(const StackMapCnt&) = delete;

  void Push(DataValuePtr source, ValueToNativeMethod method, NativePtr destination) {
    entries_.Push(ValueToNativeEntry{std::move(source), method, destination});
  }
  void Reserve(std::size_t count) { entries_.Reserve(count); }
  bool Empty() const { return entries_.Empty(); }
  ValueToNativeEntry Pop() { return entries_.Pop(); }
  // Drops all pending work: how every failure ends the conversion.
  void Clear() { entries_.Clear(); }

 private:
  Detail::WorkStack<ValueToNativeEntry> entries_;
};
}  // namespace V2N_internal

struct TAVO_VM_API ValueToNativeAdapter {
  using Method = ValueToNativeMethod;
  using Stack = V2N_internal::StackMapCnt;

  // Fills `destination` from `source` with `first`, then drains the work that `first` queued.
  // True when no message was appended.
  static bool Adapt(const DataValuePtr& source, Method first, NativePtr destination,
                    MessageList& messages);

  // The same, with the method of T.
  template <typename T>
  static bool Adapt(const DataValuePtr& source, T& destination, MessageList& messages) {
    return Adapt(source, AdaptMethod<T>::Get(&destination), &destination, messages);
  }

  // One-shot conversion of a primitive (int64, bool, text, Void): a string value is parsed by
  // `DataValue::ToPrimitive`, any other value extracted by `DataValue::Value`.
  template <typename T>
  static bool AdaptPrimitive(const DataValuePtr& value, T& out, MessageList& messages);

  // The value as a V, or null after appending "quil.data.invalid.type". Instances: ListValue.
  template <typename V>
  static std::shared_ptr<const V> NarrowSrc(const DataValuePtr& value, MessageList& messages);

  // Points `pointer` at a new default T and returns that object, to be filled.
  template <typename T>
  static T* InitOptional(OptionalPtr<const T>& pointer, const DataValuePtr& value) {
    std::shared_ptr<T> instance = TypeInfo<T>::defaultInstance(value);
    T* object = instance.get();
    pointer = std::move(instance);
    return object;
  }

  // The string path of a set: empty text, empty set; any other text, a set of that one element.
  template <typename Set>
  static bool CastStringToSet(const DataValuePtr& value, Set& set, MessageList& messages);

  // The method that fills a T, chosen by the kind of T (`NativeTraits`). `Get` ignores its
  // argument's value.
  template <typename T>
  struct AdaptMethod {
    static Method Get(const T* /*unused*/ = nullptr);
  };

  template <typename C>
  class CompoundHelper;

  template <typename Content, typename Optional>
  class OptionalVisitor;

  template <typename T>
  static void PrimitiveMethod(const DataValuePtr& source, NativePtr destination, Stack& stack,
                              MessageList& messages) {
    if (!AdaptPrimitive<T>(source, *static_cast<T*>(destination), messages)) stack.Clear();
  }

  // Defers the conversion of `source` into the T at `destination` to the method of T.
  template <typename T>
  static void ValueMethod(const DataValuePtr& source, NativePtr destination, Stack& stack,
                          MessageList& /*messages*/) {
    stack.Push(source, AdaptMethod<T>::Get(), destination);
  }

  template <typename T>
  static void StructMethod(const DataValuePtr& source, NativePtr destination, Stack& stack,
                           MessageList& messages);

  // T is `const S`: a new default S in the pointer, filled from the same value.
  template <typename T>
  static void SharedPtrMethod(const DataValuePtr& source, NativePtr destination, Stack& stack,
                              MessageList& /*messages*/) {
    using S = std::remove_const_t<T>;
    std::shared_ptr<S> instance = TypeInfo<S>::defaultInstance(source);
    S* object = instance.get();
    *static_cast<std::shared_ptr<T>*>(destination) = std::move(instance);
    stack.Push(source, &StructMethod<S>, object);
  }

  // Code and kept text of the enumeration's text; an unknown text is not an error.
  template <typename E>
  static void EnumMethod(const DataValuePtr& source, NativePtr destination, Stack& stack,
                         MessageList& messages) {
    std::string_view text;
    if (!TextOrReport(source, text, messages)) {
      stack.Clear();
      return;
    }
    *static_cast<E*>(destination) = E::FromText(text);
  }

  // `Optional` is boost::optional<Content>, or Quil::OptionalPtr<Content> with Content a const
  // structure. Unset for an empty string or an optional value holding none; otherwise set, its
  // content converted from the held value (or from the value itself: a bare value stands for a
  // present optional, and a wrong kind is reported by the content's own conversion).
  template <typename Content, typename Optional>
  static void OptionalBeginMethod(const DataValuePtr& source, NativePtr destination, Stack& stack,
                                  MessageList& messages);

  // The list value's elements, in order, each converted into a new element by its own method.
  template <typename List>
  static void ListBeginMethod(const DataValuePtr& source, NativePtr destination, Stack& stack,
                              MessageList& messages);

  // The elements are converted at once; a duplicate is dropped without message.
  template <typename Set>
  static void SetBeginMethod(const DataValuePtr& source, NativePtr destination, Stack& stack,
                             MessageList& messages);

 private:
  // The text of a string value, viewed in place; false after appending the framework's message
  // from `DataValue::Value` for any other value.
  static bool TextOrReport(const DataValuePtr& value, std::string_view& text,
                           MessageList& messages);
  // The text of `value` when it is a string value, else none; never a message.
  static std::optional<std::string_view> TextIfString(const DataValuePtr& value);

  template <typename Element>
  static bool AdaptSetElement(const DataValuePtr& value, Element& element, MessageList& messages) {
    if constexpr (kNativeKind<Element> == NativeKind::Enumeration) {
      return Adapt(value, &EnumMethod<Element>, &element, messages);
    } else {
      return AdaptPrimitive<Element>(value, element, messages);
    }
  }
};

template <>
TAVO_VM_API std::shared_ptr<const ListValue> ValueToNativeAdapter::NarrowSrc<ListValue>(
    const DataValuePtr& value, MessageList& messages);

// The helper that a structure's field walker talks to. Made from the source value: a structure
// (whose name is not compared with the native type's), an empty string standing for a structure
// of defaults, or anything else, which fails at once. Each field is declared only while nothing
// has failed; a required field that is absent fails with the framework's message, an absent
// optional field stays unset. Its end drops all pending work if anything failed meanwhile.
template <>
class ValueToNativeAdapter::CompoundHelper<StructValue> {
 public:
  TAVO_VM_API CompoundHelper(const DataValuePtr& source, Stack& stack, MessageList& messages);
  TAVO_VM_API ~CompoundHelper();
  CompoundHelper(const CompoundHelper&) = delete;
  CompoundHelper& operator=(const CompoundHelper&) = delete;

  bool Failed() const { return messages_.size() != messageCount_; }

  template <typename T>
  void AddFields(T& native) {
    native_ = &native;
    base_ = &native;
    T::AdapterHelper::AddFields(*this);
  }

  template <typename S, typename M>
  void AddField(std::string_view name, M S::*member) {
    if (Failed()) return;
    M& field = static_cast<S*>(native_)->*member;
    if constexpr (kNativeKind<M> == NativeKind::Optional ||
                  kNativeKind<M> == NativeKind::OptionalPtr) {
      AddOptionalField(name, field);
    } else {
      AddFieldInt(name, &field, messages_);
    }
  }

  // Union members decode like any optional field whatever the tag says: the case rules are the
  // validator's.
  template <typename Tags, std::size_t I, typename Rule, typename S, typename M, typename Tag>
  void AddUnionField(std::string_view name, std::string_view /*nativeName*/, M S::*member,
                     Tag S::* /*tag*/) {
    AddField(name, member);
  }

  // A required field: its value queued for the member's method. Standing in for a structure, an
  // empty string decodes the members that have a value of their own (enumerations and nested
  // structures) from that same empty string; the others keep their defaults.
  template <typename T>
  void AddFieldInt(std::string_view name, T* member, MessageList& messages) {
    if (incoming_) {
      DataValuePtr field;
      if (incoming_->GetField(name, field, messages)) {
        ++declaredFound_;
        stack_.Push(std::move(field), AdaptMethod<T>::Get(), member);
      }
    } else if (emptyString_) {
      if constexpr (kNativeKind<T> == NativeKind::Enumeration ||
                    kNativeKind<T> == NativeKind::SharedPtr) {
        stack_.Push(emptyString_, AdaptMethod<T>::Get(), member);
      }
    }
  }

  // After the declared fields, even when one of them failed: the incoming fields they do not
  // name go to `unknownFields`.
  TAVO_VM_API void AddUnknownFields(KnownNames known);

 private:
  // An absent optional field is not a failure; the lookup that the framework would report is
  // therefore made without a message.
  template <typename Optional>
  void AddOptionalField(std::string_view name, Optional& member) {
    if (!incoming_) return;
    if (const DataValuePtr* field = incoming_->FindField(name)) {
      ++declaredFound_;
      stack_.Push(*field, AdaptMethod<Optional>::Get(), &member);
    }
  }

  std::shared_ptr<const CompoundValue> incoming_;
  DataValuePtr emptyString_;
  Stack& stack_;
  MessageList& messages_;
  std::size_t messageCount_;
  NativePtr native_ = nullptr;
  BaseNative* base_ = nullptr;
  std::size_t declaredFound_ = 0;  // declared fields present in `incoming_`
};

// Fills an optional member from a value of any kind.
template <typename Content, typename Optional>
class ValueToNativeAdapter::OptionalVisitor final : public ValueVisitor {
 public:
  OptionalVisitor(const DataValuePtr& source, Optional& destination, Stack& stack,
                  MessageList& messages)
      : source_(source), destination_(destination), stack_(stack), messages_(messages) {}

  void VisitOptional(const OptionalValue& value) override {
    if (value.IsSet()) Engage(value.GetValue());
  }
  void VisitVoid(const VoidValue& /*value*/) override { Engage(source_); }
  void VisitInteger(const IntegerValue& /*value*/) override { Engage(source_); }
  void VisitDouble(const DoubleValue& /*value*/) override { Engage(source_); }
  void VisitBoolean(const BooleanValue& /*value*/) override { Engage(source_); }
  void VisitBlob(const BlobValue& /*value*/) override { Engage(source_); }
  void VisitString(const StringValue& /*value*/) override { Engage(source_); }
  void VisitSecret(const SecretValue& /*value*/) override { Engage(source_); }
  void VisitError(const ErrorValue& /*value*/) override { Engage(source_); }
  void VisitList(const ListValue& /*value*/) override { Engage(source_); }
  void VisitStruct(const StructValue& /*value*/) override { Engage(source_); }

  // Sets the member (content default-made) and defers the content's conversion from `content`.
  void Engage(const DataValuePtr& content) {
    using Target = std::remove_const_t<Content>;
    Target* target;
    if constexpr (kNativeKind<Optional> == NativeKind::OptionalPtr) {
      target = InitOptional<Target>(destination_, content);
    } else {
      destination_.emplace();
      target = &*destination_;
    }
    ValueMethod<Target>(content, target, stack_, messages_);
  }

 private:
  const DataValuePtr& source_;
  Optional& destination_;
  Stack& stack_;
  MessageList& messages_;
};

template <typename T>
void ValueToNativeAdapter::StructMethod(const DataValuePtr& source, NativePtr destination,
                                        Stack& stack, MessageList& messages) {
  CompoundHelper<StructValue> helper(source, stack, messages);
  if (!helper.Failed()) helper.AddFields(*static_cast<T*>(destination));
}

template <typename Content, typename Optional>
void ValueToNativeAdapter::OptionalBeginMethod(const DataValuePtr& source, NativePtr destination,
                                               Stack& stack, MessageList& messages) {
  auto& optional = *static_cast<Optional*>(destination);
  OptionalVisitor<Content, Optional> visitor(source, optional, stack, messages);
  if (const auto text = TextIfString(source)) {
    if (!text->empty()) visitor.Engage(source);
  } else if (source) {
    source->Accept(visitor);
  } else {
    visitor.Engage(source);  // nothing at all: the content's conversion reports it
  }
}

template <typename List>
void ValueToNativeAdapter::ListBeginMethod(const DataValuePtr& source, NativePtr destination,
                                           Stack& stack, MessageList& messages) {
  auto& list = *static_cast<List*>(destination);
  const Method elementMethod = AdaptMethod<typename List::value_type>::Get();
  if (const auto text = TextIfString(source)) {
    list.clear();
    // A non-empty text is one element; where that is a structure, it fails as one would.
    if (!text->empty()) stack.Push(source, elementMethod, &list.emplace_back());
    return;
  }
  std::shared_ptr<const ListValue> elements = NarrowSrc<ListValue>(source, messages);
  if (!elements) {
    stack.Clear();
    return;
  }
  list.clear();
  // The stack points into the list: no element may move once queued.
  list.reserve(elements->Size());
  stack.Reserve(elements->Size());
  elements->ForEach([&](const DataValuePtr& element) {
    stack.Push(element, elementMethod, &list.emplace_back());
  });
}

template <typename Set>
bool ValueToNativeAdapter::CastStringToSet(const DataValuePtr& value, Set& set,
                                           MessageList& messages) {
  set.clear();
  const auto text = TextIfString(value);
  if (text && text->empty()) return true;
  typename Set::value_type element;
  if (!AdaptSetElement(value, element, messages)) return false;
  set.insert(std::move(element));
  return true;
}

template <typename Set>
void ValueToNativeAdapter::SetBeginMethod(const DataValuePtr& source, NativePtr destination,
                                          Stack& stack, MessageList& messages) {
  auto& set = *static_cast<Set*>(destination);
  if (TextIfString(source)) {
    if (!CastStringToSet(source, set, messages)) stack.Clear();
    return;
  }
  std::shared_ptr<const ListValue> elements = NarrowSrc<ListValue>(source, messages);
  if (!elements) {
    stack.Clear();
    return;
  }
  set.clear();
  for (const DataValuePtr& value : *elements) {
    typename Set::value_type element;
    if (!AdaptSetElement(value, element, messages)) {
      stack.Clear();
      return;
    }
    set.insert(std::move(element));
  }
}

template <typename T>
ValueToNativeAdapter::Method ValueToNativeAdapter::AdaptMethod<T>::Get(const T* /*unused*/) {
  constexpr NativeKind kind = kNativeKind<T>;
  if constexpr (kind == NativeKind::Primitive) {
    return &PrimitiveMethod<T>;
  } else if constexpr (kind == NativeKind::Enumeration) {
    return &EnumMethod<T>;
  } else if constexpr (kind == NativeKind::Structure) {
    return &StructMethod<T>;
  } else if constexpr (kind == NativeKind::SharedPtr) {
    return &SharedPtrMethod<const NativeElement<T>>;
  } else if constexpr (kind == NativeKind::OptionalPtr) {
    return &OptionalBeginMethod<const NativeElement<T>, T>;
  } else if constexpr (kind == NativeKind::Optional) {
    return &OptionalBeginMethod<NativeElement<T>, T>;
  } else if constexpr (kind == NativeKind::List) {
    return &ListBeginMethod<T>;
  } else {
    return &SetBeginMethod<T>;
  }
}

}  // namespace Quil::Data
