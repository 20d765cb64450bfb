// Native types to data definitions: the framework's description of a native structure, input
// record, enumeration, primitive or container, built from types alone (no object is read).
//
// Like the value adapters, the adapter never recurses on the call stack. It keeps an explicit work
// stack of steps (source, method, destination); a method writes its result through its
// destination and may push further steps. A composite pushes its end step first and its element
// step last, so the element is finished (the stack is taken from the back) before the end step
// wraps it. The fields of a structure are declared by the generated field walker,
// `S::AdapterHelper::AddFields`.
//
// Within one `Adapt` call every structure type is built once: a later occurrence shares the
// finished definition, and an occurrence inside the structure itself becomes a
// `StructRefDefinition` whose target is set when the whole call has finished. Nothing is kept
// from one call to the next, so two calls give equal but distinct trees. The adapter reports no
// failures; its message list is never written.
//
//   DataDefinitionPtr info = NativeToDefinitionAdapter::DefinitionOf<Info>();
//
// A type whose definition is made elsewhere (a standard error) specialises `AdaptMethod` with a
// `Get` returning `FactoryMethod<&MakeItsDefinition>`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <boost/optional.hpp>

#include <quil/base_message.h>
#include <quil/data/definition.h>
#include <quil/data/native.h>
#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/type_info.h>
#include <quil/types.h>

namespace Quil::Data {

namespace N2D_internal {

// The identity of a structure type, ordered as an unsigned integer.
using TypeKey = const void*;

struct TypeKeyLess {
  bool operator()(TypeKey a, TypeKey b) const {
    return reinterpret_cast<std::uintptr_t>(a) < reinterpret_cast<std::uintptr_t>(b);
  }
};

// What a step works on. A default source has every member null or empty.
struct SrcType {
  // The cell that an element step fills and the composite's end step reads.
  std::shared_ptr<DataDefinitionPtr> element;
  // The field map of the structure being built, filled by its field steps.
  std::shared_ptr<FieldDefinitions> fields;
  // The wire name of the structure being built.
  std::string name;
  // A self reference waiting for its target.
  std::shared_ptr<StructRefDefinition> structRef;
  // The identity of the structure concerned.
  TypeKey key = nullptr;
};

struct StackMapCnt;

using Method = void (*)(const SrcType& source, DataDefinitionPtr* destination, StackMapCnt& stack,
                        const MessageList& messages);

struct BasicAdaptEntry {
  SrcType source;
  Method method = nullptr;
  DataDefinitionPtr* destination = nullptr;
};

// The work stack of one Adapt call and the structures met so far in it (a stack and a map;
// nothing is counted, whatever the name says).
struct TAVO_VM_API StackMapCnt {
  // Steps are taken from the back.
  std::deque<BasicAdaptEntry> entries;
  // Null while the structure is being built; its definition once finished.
  std::map<TypeKey, DataDefinitionPtr, TypeKeyLess> definitions;

  // The mapped definition, and whether the identity is present at all.
  std::pair<DataDefinitionPtr, bool> GetDef(TypeKey key) const;
  // Inserts or overwrites.
  void SetDef(TypeKey key, DataDefinitionPtr definition);
};

}  // namespace N2D_internal

struct TAVO_VM_API NativeToDefinitionAdapter {
  using TypeKey = N2D_internal::TypeKey;
  using SrcType = N2D_internal::SrcType;
  using StackType = N2D_internal::StackMapCnt;
  using BasicAdaptEntry = N2D_internal::BasicAdaptEntry;
  using Method = N2D_internal::Method;
  // The slot that a step writes its definition to.
  using DefinitionSlot = DataDefinitionPtr*;

  // Runs `method` for a default source, then every step it pushes; on return `destination`
  // holds the definition.
  static void Adapt(Method method, DefinitionSlot destination, const MessageList& messages);

  // Adapt for native type T into a fresh result.
  template <typename T>
  static DataDefinitionPtr DefinitionOf();

  // The method for native type T, chosen by its kind (`NativeTraits`). A type whose definition
  // is made elsewhere specialises it.
  template <typename T>
  struct AdaptMethod {
    static Method Get();
  };

  // Stores `DataDefinition::Create<T>()`.
  template <typename T>
  static void PrimitiveMethod(const SrcType& source, DefinitionSlot destination, StackType& stack,
                              const MessageList& messages);

  // Stores what `Make` returns.
  template <DataDefinitionPtr (*Make)()>
  static void FactoryMethod(const SrcType& source, DefinitionSlot destination, StackType& stack,
                            const MessageList& messages);

  // Builds the definition of X into a fresh element cell, then End's method wraps it.
  template <typename X, typename End>
  static void CompositeBeginMethod(const SrcType& source, DefinitionSlot destination,
                                   StackType& stack, const MessageList& messages);

  // End methods of composites: wrap the element cell of the source.
  template <typename D>  // OptionalDefinition
  static void CompositeEndMethod(const SrcType& source, DefinitionSlot destination,
                                 StackType& stack, const MessageList& messages);
  template <ListValue::Kind Kind>
  static void ListEndMethod(const SrcType& source, DefinitionSlot destination, StackType& stack,
                            const MessageList& messages);
  template <typename Tags, std::size_t I, typename Rule>
  static void UnionCaseEndMethod(const SrcType& source, DefinitionSlot destination,
                                 StackType& stack, const MessageList& messages);

  struct OptionalEnd;
  template <ListValue::Kind Kind>
  struct ListEnd;
  template <typename Tags, std::size_t I, typename Rule>
  struct UnionCaseEnd;
  struct StructEnd;

  template <typename D>
  class CompoundHelper;

  // The identity of structure type S.
  template <typename S>
  static TypeKey KeyOf();

  template <typename S>
  static void StructBeginMethod(const SrcType& source, DefinitionSlot destination, StackType& stack,
                                const MessageList& messages);

  // First meeting of S in this call: builds it with Helper, finished by End's method. Met again
  // once finished: the same definition. Met while being built: a reference resolved at the end.
  template <typename S, typename Helper, typename End>
  static void CompoundBeginMethod(const SrcType& source, DefinitionSlot destination,
                                  StackType& stack, const MessageList& messages, TypeKey key);

  // Stores the finished structure definition and records it under the source's identity.
  template <typename D>  // StructDefinition
  static void CompoundEndMethod(const SrcType& source, DefinitionSlot destination, StackType& stack,
                                const MessageList& messages);

  // Points the source's reference at the structure finished under its identity.
  static void ResolveMethod(const SrcType& source, DefinitionSlot destination, StackType& stack,
                            const MessageList& messages);

 private:
  static void PushComposite(const SrcType& source, DefinitionSlot destination, StackType& stack,
                            Method endMethod, Method elementMethod);
  static void StoreUnionCase(const SrcType& source, DefinitionSlot destination,
                             std::string tagField, UnionCaseDefinition::Predicate predicate);
  // Whether S was met before in this call, in which case `destination` is served.
  static bool ServedFromEarlierMeeting(StackType& stack, TypeKey key, const std::string& name,
                                       DefinitionSlot destination);
};

struct NativeToDefinitionAdapter::OptionalEnd {
  static Method Get() { return &CompositeEndMethod<OptionalDefinition>; }
};
template <ListValue::Kind Kind>
struct NativeToDefinitionAdapter::ListEnd {
  static Method Get() { return &ListEndMethod<Kind>; }
};
template <typename Tags, std::size_t I, typename Rule>
struct NativeToDefinitionAdapter::UnionCaseEnd {
  static Method Get() { return &UnionCaseEndMethod<Tags, I, Rule>; }
};
struct NativeToDefinitionAdapter::StructEnd {
  static Method Get() { return &CompoundEndMethod<StructDefinition>; }
};

// A required structure pointer is the structure; an optional wrapper (also the optional pointer
// of a structure) is an optional; an enumeration is a string.
template <typename T>
NativeToDefinitionAdapter::Method NativeToDefinitionAdapter::AdaptMethod<T>::Get() {
  constexpr NativeKind kind = kNativeKind<T>;
  if constexpr (kind == NativeKind::Primitive) {
    return &PrimitiveMethod<T>;
  } else if constexpr (kind == NativeKind::Enumeration) {
    return &PrimitiveMethod<std::string>;
  } else if constexpr (kind == NativeKind::Structure) {
    return &StructBeginMethod<T>;
  } else if constexpr (kind == NativeKind::SharedPtr) {
    return AdaptMethod<NativeElement<T>>::Get();
  } else if constexpr (kind == NativeKind::OptionalPtr || kind == NativeKind::Optional) {
    return &CompositeBeginMethod<NativeElement<T>, OptionalEnd>;
  } else if constexpr (kind == NativeKind::List) {
    return &CompositeBeginMethod<NativeElement<T>, ListEnd<ListValue::Kind::LIST>>;
  } else {
    return &CompositeBeginMethod<NativeElement<T>, ListEnd<ListValue::Kind::SET>>;
  }
}

// Collects a structure's fields from its field walker: each field becomes a step that fills the
// field's entry of the map.
template <>
class TAVO_VM_API NativeToDefinitionAdapter::CompoundHelper<StructDefinition> {
 public:
  explicit CompoundHelper(StackType& stack);

  // Pushes the end step, which runs after every field step pushed afterwards.
  template <typename End>
  void Start(std::string name, TypeKey key, DefinitionSlot destination) {
    PushEnd(End::Get(), std::move(name), key, destination);
  }

  template <typename S>
  void AddFields() {
    S::AdapterHelper::AddFields(*this);
  }

  template <typename T>
  void AddField(std::string_view name) {
    PushField(name, AdaptMethod<T>::Get());
  }

  // The walker's calls.
  template <typename S, typename T>
  void AddField(std::string_view name, T S::*) {
    AddField<T>(name);
  }
  template <typename Tags, std::size_t I, typename Rule, typename S, typename X, typename Tag>
  void AddUnionField(std::string_view name, std::string_view /*nativeName*/,
                     boost::optional<X> S::*, Tag S::*) {
    PushField(name, &CompositeBeginMethod<X, UnionCaseEnd<Tags, I, Rule>>);
  }
  void AddUnknownFields(KnownNames) {}

 private:
  void PushEnd(Method endMethod, std::string name, TypeKey key, DefinitionSlot destination);
  void PushField(std::string_view name, Method method);

  std::shared_ptr<FieldDefinitions> fields_;
  StackType& stack_;
};

template <typename T>
DataDefinitionPtr NativeToDefinitionAdapter::DefinitionOf() {
  DataDefinitionPtr definition;
  const MessageList messages;
  Adapt(AdaptMethod<T>::Get(), &definition, messages);
  return definition;
}

template <typename T>
void NativeToDefinitionAdapter::PrimitiveMethod(const SrcType&, DefinitionSlot destination,
                                                StackType&, const MessageList&) {
  *destination = DataDefinition::Create<T>();
}

template <DataDefinitionPtr (*Make)()>
void NativeToDefinitionAdapter::FactoryMethod(const SrcType&, DefinitionSlot destination,
                                              StackType&, const MessageList&) {
  *destination = Make();
}

template <typename X, typename End>
void NativeToDefinitionAdapter::CompositeBeginMethod(const SrcType& source,
                                                     DefinitionSlot destination, StackType& stack,
                                                     const MessageList&) {
  PushComposite(source, destination, stack, End::Get(), AdaptMethod<X>::Get());
}

template <typename D>
void NativeToDefinitionAdapter::CompositeEndMethod(const SrcType& source,
                                                   DefinitionSlot destination, StackType&,
                                                   const MessageList&) {
  *destination = D::GetInstance(*source.element);
}

template <ListValue::Kind Kind>
void NativeToDefinitionAdapter::ListEndMethod(const SrcType& source, DefinitionSlot destination,
                                              StackType&, const MessageList&) {
  *destination = ListDefinition::GetInstance(*source.element, Kind);
}

template <typename Tags, std::size_t I, typename Rule>
void NativeToDefinitionAdapter::UnionCaseEndMethod(const SrcType& source,
                                                   DefinitionSlot destination, StackType&,
                                                   const MessageList&) {
  StoreUnionCase(source, destination, Tags::Strings::values[I], Rule{});
}

template <typename S>
NativeToDefinitionAdapter::TypeKey NativeToDefinitionAdapter::KeyOf() {
  return reinterpret_cast<TypeKey>(&StructBeginMethod<S>);
}

template <typename S>
void NativeToDefinitionAdapter::StructBeginMethod(const SrcType& source, DefinitionSlot destination,
                                                  StackType& stack, const MessageList& messages) {
  CompoundBeginMethod<S, CompoundHelper<StructDefinition>, StructEnd>(source, destination, stack,
                                                                      messages, KeyOf<S>());
}

template <typename S, typename Helper, typename End>
void NativeToDefinitionAdapter::CompoundBeginMethod(const SrcType&, DefinitionSlot destination,
                                                    StackType& stack, const MessageList&,
                                                    TypeKey key) {
  std::string name = TypeInfo<S>::name();
  if (ServedFromEarlierMeeting(stack, key, name, destination)) return;
  Helper helper(stack);
  helper.template Start<End>(std::move(name), key, destination);
  helper.template AddFields<S>();
}

template <typename D>
void NativeToDefinitionAdapter::CompoundEndMethod(const SrcType& source, DefinitionSlot destination,
                                                  StackType& stack, const MessageList&) {
  // The field steps are done with the map: it can be moved into the definition.
  *destination = D::GetInstance(source.name, std::move(*source.fields));
  stack.SetDef(source.key, *destination);
}

}  // namespace Quil::Data
