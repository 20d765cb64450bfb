// Native values of the API to dynamic values.
//
// `NativeToValueAdapter::Adapt` turns a structure, input record, list of structures, set,
// enumeration or primitive into the framework's `DataValue`. It never recurses: each method
// converts one level and queues the level below on an explicit work stack that `Adapt` drains,
// so the nesting depth of a value costs heap memory, not call stack. Every value is created once
// and its parts are written straight into their slots.
//
// The only failure is a null shared pointer where a required structure is declared (a field or
// an element of a list of structures): one "quil.data.unset.non.optional.field" message naming
// the structure's wire name, all pending work dropped, and `Adapt` returns false. Entries are
// taken from the back of the stack, so when several required structures are missing the message
// names the one reached first: the last declared, or the innermost.
//
//   Quil::Data::DataValuePtr value;
//   Quil::MessageList messages;
//   bool ok = Quil::Data::NativeToValueAdapter::Adapt(info, value, messages, localizer);
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include <quil/base_message.h>
#include <quil/data/native.h>
#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/l10n/localizer.h>
#include <quil/type_info.h>
#include <quil/types.h>

namespace Quil::Data {

// One unit of pending conversion work: what to convert, how, and where the result goes. The
// two value adapters instantiate it with their own source, method and destination types.
template <typename Source, typename Method, typename Destination>
struct BasicAdaptEntry {
  Source source;
  Method method;
  Destination destination;
};

namespace Detail {
// A stack of entries in one growable block: no allocation per entry, and growth is geometric
// even when callers announce their needs a few entries at a time. The first few entries live
// inside the stack itself, so that converting a small structure allocates nothing for its work.
template <typename Entry>
class WorkStack {
 public:
  bool Empty() const { return entries_.empty(); }
  std::size_t Size() const { return entries_.size(); }
  // Room for `count` more entries.
  void Reserve(std::size_t count) {
    const std::size_t needed = entries_.size() + count;
    if (needed > entries_.capacity()) entries_.reserve(std::max(needed, 2 * entries_.capacity()));
  }
  void Push(Entry entry) { entries_.push_back(std::move(entry)); }
  Entry Pop() {
    Entry last = std::move(entries_.back());
    entries_.pop_back();
    return last;
  }
  // Drops all pending work.
  void Clear() { entries_.clear(); }

 private:
  boost::container::small_vector<Entry, 8> entries_;
};
}  // namespace Detail

class Deque;

// Converts the native object at `source` and stores the result in the slot `destination`.
using NativeToValueMethod = void (*)(NativeConstPtr source, DataValuePtr* destination, Deque& queue,
                                     MessageList& messages);
using NativeToValueEntry = BasicAdaptEntry<NativeConstPtr, NativeToValueMethod, DataValuePtr*>;

// Not a double-ended queue, whatever the name: the work stack of one
// `NativeToValueAdapter::Adapt` call (added at the back, taken from the back), and the request
// localizer that call received.
class Deque {
 public:
  explicit Deque(const L10n::RequestLocalizer& localizer) : localizer_(localizer) {}
  Deque(const Deque&) = delete;
  Deque& operator=(const Deque&) = delete;

  const L10n::RequestLocalizer& GetLocalizer() const { return localizer_; }

  void Push(NativeConstPtr source, NativeToValueMethod method, DataValuePtr* destination) {
    entries_.Push(NativeToValueEntry{source, method, destination});
  }
  void Reserve(std::size_t count) { entries_.Reserve(count); }
  bool Empty() const { return entries_.Empty(); }
  NativeToValueEntry Pop() { return entries_.Pop(); }
  void Clear() { entries_.Clear(); }

 private:
  Detail::WorkStack<NativeToValueEntry> entries_;
  const L10n::RequestLocalizer& localizer_;
};

struct TAVO_VM_API NativeToValueAdapter {
  using Method = NativeToValueMethod;

  // Converts `source` with `first` into `destination`, then drains the work that `first` queued.
  // True when no message was appended. After false the slot may hold a partly built value,
  // which callers discard.
  static bool Adapt(NativeConstPtr source, Method first, DataValuePtr& destination,
                    MessageList& messages, const L10n::RequestLocalizer& localizer);

  // The same, with the method of T.
  template <typename T>
  static bool Adapt(const T& source, DataValuePtr& destination, MessageList& messages,
                    const L10n::RequestLocalizer& localizer) {
    return Adapt(&source, AdaptMethod<T>::Get(&source), destination, messages, localizer);
  }

  // The method that converts a T, chosen by the kind of T (`NativeTraits`). `Get` ignores its
  // argument's value.
  template <typename T>
  struct AdaptMethod {
    static Method Get(const T* /*unused*/ = nullptr);
  };

  template <typename C>
  class CompoundHelper;

  // int64, bool, text, Void: the value of the matching kind.
  template <typename T>
  static void PrimitiveMethod(NativeConstPtr source, DataValuePtr* destination, Deque& /*queue*/,
                              MessageList& /*messages*/) {
    *destination = DataValue::Create<T>(*static_cast<const T*>(source));
  }

  // A string value of the enumeration's text: an enumerator's shared value, or a new value of
  // the text kept by `_UNKNOWN`.
  template <typename E>
  static void EnumMethod(NativeConstPtr source, DataValuePtr* destination, Deque& /*queue*/,
                         MessageList& /*messages*/) {
    const E& native = *static_cast<const E*>(source);
    if (native.unknownText().empty()) {
      *destination = EnumeratorValue<E>(native.code());
    } else {
      *destination = StringValue::GetInstance(native.unknownText());
    }
  }

  // The string value of E's enumerator `code`. Each is made once and handed out without being
  // owned (values are immutable and these are never freed), so converting an enumeration
  // allocates nothing and writes no count that other threads share.
  template <typename E>
  static DataValuePtr EnumeratorValue(std::int32_t code) {
    static const std::vector<DataValuePtr>* const values = [] {
      auto* made = new std::vector<DataValuePtr>();
      for (std::int32_t i = 0; E::Strings::values[i] != nullptr; ++i) {
        made->push_back(StringValue::GetInstance(E::Strings::values[i]));
      }
      return made;
    }();
    return DataValuePtr(DataValuePtr(), (*values)[static_cast<std::size_t>(code)].get());
  }

  // T's wire name, made once and never freed, so that structure values refer to it.
  template <typename T>
  static StaticText WireName() {
    static const std::string* const name = new std::string(TypeInfo<T>::name());
    return StaticText(*name);
  }

  // A structure value named after T, its fields queued.
  template <typename T>
  static void StructMethod(NativeConstPtr source, DataValuePtr* destination, Deque& queue,
                           MessageList& messages);

  // T is `const S`: the pointee's structure, or the failure of a missing required structure.
  template <typename T>
  static void SharedPtrMethod(NativeConstPtr source, DataValuePtr* destination, Deque& queue,
                              MessageList& messages) {
    using S = std::remove_const_t<T>;
    const auto& pointer = *static_cast<const std::shared_ptr<T>*>(source);
    if (pointer) {
      queue.Push(pointer.get(), &StructMethod<S>, destination);
    } else {
      ReportUnsetStructure(TypeInfo<S>::name(), queue, messages);
    }
  }

  // An optional value; its content queued when the wrapper is set. `Optional` is
  // boost::optional<Content>, or Quil::OptionalPtr<Content> with Content a const structure.
  template <typename Content, typename Optional>
  static void OptionalBeginMethod(NativeConstPtr source, DataValuePtr* destination, Deque& queue,
                                  MessageList& /*messages*/) {
    const auto& optional = *static_cast<const Optional*>(source);
    auto value = OptionalValue::GetInstance();
    if (optional) {
      const Content& content = *optional;
      queue.Push(&content, AdaptMethod<std::remove_const_t<Content>>::Get(), value->value(nullptr));
    }
    *destination = std::move(value);
  }

  // A list value of `kind` with one element per member, in the container's order.
  template <typename Element, typename Container, ListValue::Kind kind>
  static void ListBeginMethod(NativeConstPtr source, DataValuePtr* destination, Deque& queue,
                              MessageList& /*messages*/) {
    const auto& container = *static_cast<const Container*>(source);
    auto list = ListValue::GetInstance(kind);
    list->Reserve(container.size());
    queue.Reserve(container.size());
    const Method method = AdaptMethod<Element>::Get();
    for (const Element& element : container) queue.Push(&element, method, list->AppendSlot());
    *destination = std::move(list);
  }

 private:
  // Appends the missing-structure message and drops all pending work.
  static void ReportUnsetStructure(std::string wireName, Deque& queue, MessageList& messages);
};

// The helper that a structure's field walker talks to: each declared field gets its slot in the
// structure value, created in declaration order, and one queued entry that fills it.
template <>
class NativeToValueAdapter::CompoundHelper<StructValue> {
 public:
  // Makes the structure value and stores it in `destination` at once, with room for
  // `fieldCount` fields.
  TAVO_VM_API CompoundHelper(StaticText name, DataValuePtr* destination, Deque& queue,
                             std::size_t fieldCount = 0);
  CompoundHelper(const CompoundHelper&) = delete;
  CompoundHelper& operator=(const CompoundHelper&) = delete;

  template <typename T>
  void AddFields(const T& native) {
    native_ = &native;
    base_ = &native;
    T::AdapterHelper::AddFields(*this);
  }

  // `name` is static text: the generated field walkers pass literals.
  template <typename S, typename M>
  void AddField(std::string_view name, M S::*member) {
    const M& field = static_cast<const S*>(native_)->*member;
    queue_.Push(&field, AdaptMethod<M>::Get(), value_->FieldSlot(StaticText(name)));
  }

  // The case rules of a union are the validator's business; a member converts like any field.
  template <typename Tags, std::size_t I, typename Rule, typename S, typename M, typename Tag>
  void AddUnionField(std::string_view name, std::string_view /*nativeName*/, M S::*member,
                     Tag S::* /*tag*/) {
    AddField(name, member);
  }

  // After the declared fields' slots exist: the kept unknown fields join the value.
  void AddUnknownFields(KnownNames /*known*/) {
    BaseNative::AdapterHelper::AddUnknownFields(*base_, *value_);
  }

 private:
  std::shared_ptr<StructValue> value_;
  Deque& queue_;
  NativeConstPtr native_ = nullptr;
  const BaseNative* base_ = nullptr;
};

template <typename T>
void NativeToValueAdapter::StructMethod(NativeConstPtr source, DataValuePtr* destination,
                                        Deque& queue, MessageList& /*messages*/) {
  const T& native = *static_cast<const T*>(source);
  const std::size_t declared = KnownNames(T::AdapterHelper::knownNames).count;
  const std::size_t kept = native.unknownFields ? native.unknownFields->FieldCount() : 0;
  CompoundHelper<StructValue> helper(WireName<T>(), destination, queue, declared + kept);
  queue.Reserve(declared);
  helper.AddFields(native);
}

template <typename T>
NativeToValueAdapter::Method NativeToValueAdapter::AdaptMethod<T>::Get(const T* /*unused*/) {
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
    return &ListBeginMethod<NativeElement<T>, T, ListValue::Kind::LIST>;
  } else {
    return &ListBeginMethod<NativeElement<T>, T, ListValue::Kind::SET>;
  }
}

}  // namespace Quil::Data
