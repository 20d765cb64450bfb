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
// Generated code plugs each native type in by specialising `AdaptMethod`:
//
//   template <>
//   struct NativeToDefinitionAdapter::AdaptMethod<Info>
//       : NativeToDefinitionAdapter::StructAdaptMethod<Info> {};
//   template <>
//   struct NativeToDefinitionAdapter::AdaptMethod<BackingType>
//       : NativeToDefinitionAdapter::EnumAdaptMethod<BackingType> {};
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
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// The work stack of one Adapt call and the structures met so far in it.
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

template <typename>
inline constexpr bool kNoAdaptMethod = false;

}  // namespace N2D_internal

struct TAVO_VM_API NativeToDefinitionAdapter {
  using TypeKey = N2D_internal::TypeKey;
  using SrcType = N2D_internal::SrcType;
  using StackType = N2D_internal::StackMapCnt;
  using BasicAdaptEntry = N2D_internal::BasicAdaptEntry;
  using Method = N2D_internal::Method;
  using DestType = DataDefinitionPtr*;

  // Runs `method` for a default source, then every step it pushes; on return `destination`
  // holds the definition.
  static void Adapt(Method method, DestType destination, const MessageList& messages);

  // Adapt for native type T into a fresh result.
  template <typename T>
  static DataDefinitionPtr DefinitionOf();

  // The method for native type T. Generated code specialises it for every structure, input
  // record and enumeration; primitives and containers are covered below.
  template <typename T>
  struct AdaptMethod {
    static_assert(N2D_internal::kNoAdaptMethod<T>,
                  "no data definition for this native type: structures and enumerations need "
                  "their generated NativeToDefinitionAdapter::AdaptMethod specialisation");
  };
  template <typename T>
  struct PrimitiveAdaptMethod;
  template <typename S>
  struct StructAdaptMethod;
  template <typename E>
  struct EnumAdaptMethod;

  // Stores `DataDefinition::Create<T>()`.
  template <typename T>
  static void PrimitiveMethod(const SrcType& source, DestType destination, StackType& stack,
                              const MessageList& messages);

  // Stores what `Make` returns.
  template <DataDefinitionPtr (*Make)()>
  static void FactoryMethod(const SrcType& source, DestType destination, StackType& stack,
                            const MessageList& messages);

  // Builds the definition of X into a fresh element cell, then End's method wraps it.
  template <typename X, typename End>
  static void CompositeBeginMethod(const SrcType& source, DestType destination, StackType& stack,
                                   const MessageList& messages);

  // End methods of composites: wrap the element cell of the source.
  template <typename D>  // OptionalDefinition
  static void CompositeEndMethod(const SrcType& source, DestType destination, StackType& stack,
                                 const MessageList& messages);
  template <ListValue::Kind Kind>
  static void ListEndMethod(const SrcType& source, DestType destination, StackType& stack,
                            const MessageList& messages);
  template <typename Tags, std::size_t I, typename Rule>
  static void UnionCaseEndMethod(const SrcType& source, DestType destination, StackType& stack,
                                 const MessageList& messages);

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
  static void StructBeginMethod(const SrcType& source, DestType destination, StackType& stack,
                                const MessageList& messages);

  // First meeting of S in this call: builds it with Helper, finished by End's method. Met again
  // once finished: the same definition. Met while being built: a reference resolved at the end.
  template <typename S, typename Helper, typename End>
  static void CompoundBeginMethod(const SrcType& source, DestType destination, StackType& stack,
                                  const MessageList& messages, TypeKey key);

  // Stores the finished structure definition and records it under the source's identity.
  template <typename D>  // StructDefinition
  static void CompoundEndMethod(const SrcType& source, DestType destination, StackType& stack,
                                const MessageList& messages);

  // Points the source's reference at the structure finished under its identity.
  static void ResolveMethod(const SrcType& source, DestType destination, StackType& stack,
                            const MessageList& messages);

 private:
  static void PushComposite(const SrcType& source, DestType destination, StackType& stack,
                            Method endMethod, Method elementMethod);
  static void StoreUnionCase(const SrcType& source, DestType destination, std::string tagField,
                             UnionCaseDefinition::Predicate predicate);
  // Whether S was met before in this call, in which case `destination` is served.
  static bool MeetAgain(StackType& stack, TypeKey key, const std::string& name,
                        DestType destination);
};

// Primitives.
template <typename T>
struct NativeToDefinitionAdapter::PrimitiveAdaptMethod {
  static Method Get() { return &PrimitiveMethod<T>; }
};
template <>
struct NativeToDefinitionAdapter::AdaptMethod<std::int64_t> : PrimitiveAdaptMethod<std::int64_t> {};
template <>
struct NativeToDefinitionAdapter::AdaptMethod<bool> : PrimitiveAdaptMethod<bool> {};
template <>
struct NativeToDefinitionAdapter::AdaptMethod<std::string> : PrimitiveAdaptMethod<std::string> {};
template <>
struct NativeToDefinitionAdapter::AdaptMethod<Void> : PrimitiveAdaptMethod<Void> {};

// An enumeration is a string in definitions.
template <typename E>
struct NativeToDefinitionAdapter::EnumAdaptMethod {
  static Method Get() { return &PrimitiveMethod<std::string>; }
};

template <typename S>
struct NativeToDefinitionAdapter::StructAdaptMethod {
  static Method Get() { return &StructBeginMethod<S>; }
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

// Containers: a required structure pointer is the structure; an optional wrapper (also the
// optional pointer of a structure) is an optional; a vector is a list and a set a set.
template <typename S>
struct NativeToDefinitionAdapter::AdaptMethod<std::shared_ptr<const S>> {
  static Method Get() { return AdaptMethod<S>::Get(); }
};
template <typename S>
struct NativeToDefinitionAdapter::AdaptMethod<OptionalPtr<const S>> {
  static Method Get() { return &CompositeBeginMethod<S, OptionalEnd>; }
};
template <typename X>
struct NativeToDefinitionAdapter::AdaptMethod<boost::optional<X>> {
  static Method Get() { return &CompositeBeginMethod<X, OptionalEnd>; }
};
template <typename X, typename Allocator>
struct NativeToDefinitionAdapter::AdaptMethod<std::vector<X, Allocator>> {
  static Method Get() { return &CompositeBeginMethod<X, ListEnd<ListValue::Kind::LIST>>; }
};
template <typename X, typename Compare, typename Allocator>
struct NativeToDefinitionAdapter::AdaptMethod<std::set<X, Compare, Allocator>> {
  static Method Get() { return &CompositeBeginMethod<X, ListEnd<ListValue::Kind::SET>>; }
};

// Collects a structure's fields from its field walker: each field becomes a step that fills the
// field's entry of the map.
template <>
class TAVO_VM_API NativeToDefinitionAdapter::CompoundHelper<StructDefinition> {
 public:
  explicit CompoundHelper(StackType& stack);

  // Pushes the end step, which runs after every field step pushed afterwards.
  template <typename End>
  void Start(std::string name, TypeKey key, DestType destination) {
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
  void PushEnd(Method endMethod, std::string name, TypeKey key, DestType destination);
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
void NativeToDefinitionAdapter::PrimitiveMethod(const SrcType&, DestType destination, StackType&,
                                                const MessageList&) {
  *destination = DataDefinition::Create<T>();
}

template <DataDefinitionPtr (*Make)()>
void NativeToDefinitionAdapter::FactoryMethod(const SrcType&, DestType destination, StackType&,
                                              const MessageList&) {
  *destination = Make();
}

template <typename X, typename End>
void NativeToDefinitionAdapter::CompositeBeginMethod(const SrcType& source, DestType destination,
                                                     StackType& stack, const MessageList&) {
  PushComposite(source, destination, stack, End::Get(), AdaptMethod<X>::Get());
}

template <typename D>
void NativeToDefinitionAdapter::CompositeEndMethod(const SrcType& source, DestType destination,
                                                   StackType&, const MessageList&) {
  *destination = D::GetInstance(*source.element);
}

template <ListValue::Kind Kind>
void NativeToDefinitionAdapter::ListEndMethod(const SrcType& source, DestType destination,
                                              StackType&, const MessageList&) {
  *destination = ListDefinition::GetInstance(*source.element, Kind);
}

template <typename Tags, std::size_t I, typename Rule>
void NativeToDefinitionAdapter::UnionCaseEndMethod(const SrcType& source, DestType destination,
                                                   StackType&, const MessageList&) {
  StoreUnionCase(source, destination, Tags::Strings::values[I], Rule{});
}

template <typename S>
NativeToDefinitionAdapter::TypeKey NativeToDefinitionAdapter::KeyOf() {
  return reinterpret_cast<TypeKey>(&StructBeginMethod<S>);
}

template <typename S>
void NativeToDefinitionAdapter::StructBeginMethod(const SrcType& source, DestType destination,
                                                  StackType& stack, const MessageList& messages) {
  CompoundBeginMethod<S, CompoundHelper<StructDefinition>, StructEnd>(source, destination, stack,
                                                                      messages, KeyOf<S>());
}

template <typename S, typename Helper, typename End>
void NativeToDefinitionAdapter::CompoundBeginMethod(const SrcType&, DestType destination,
                                                    StackType& stack, const MessageList&,
                                                    TypeKey key) {
  std::string name = TypeInfo<S>::name();
  if (MeetAgain(stack, key, name, destination)) return;
  Helper helper(stack);
  helper.template Start<End>(std::move(name), key, destination);
  helper.template AddFields<S>();
}

template <typename D>
void NativeToDefinitionAdapter::CompoundEndMethod(const SrcType& source, DestType destination,
                                                  StackType& stack, const MessageList&) {
  // The field steps are done with the map: it can be moved into the definition.
  *destination = D::GetInstance(source.name, std::move(*source.fields));
  stack.SetDef(source.key, *destination);
}

}  // namespace Quil::Data
