// The conventions every generated native type follows, and the generic pieces they build on.
//
// A generated structure derives from `BaseNative`, so that it keeps the fields of an incoming
// structure value that it does not declare, and carries a field walker:
//
//   struct Info : Quil::Data::BaseNative {
//     std::int64_t count = 0;
//     bool hotAddEnabled = false;
//     struct AdapterHelper {
//       static constexpr Quil::Data::KnownName knownNames[] = {"count", "hot_add_enabled"};
//       template <typename Helper>
//       static void AddFields(Helper& helper) {
//         helper.AddField("count", &Info::count);
//         helper.AddField("hot_add_enabled", &Info::hotAddEnabled);
//         helper.AddUnknownFields(knownNames);
//       }
//     };
//   };
//
// The walker names each field by its wire name and member pointer, in declaration order; the
// helper of whichever adapter asks decides what the member's native type means to it. A union
// member is declared with `AddUnionField<Tags, I, Rule>` with its wire name, its native name (the
// validator's messages name it), the member and the tag member:
//
//   helper.template AddUnionField<BackingInfoAnnotations::UnionTags, 0,
//       Quil::Data::UnionCaseAnyEnumValue<BackingInfoAnnotations::DeviceNameUnionCases>>(
//       "device_name", "deviceName", &BackingInfo::deviceName, &BackingInfo::type);
//
// Generated structures carry TAVO_VM_API so that the library's explicit instantiations for them
// are exported whatever the compiler.
//
// A generated enumeration derives from `Enumeration<E>` and declares its codes and wire texts:
//
//   class BackingType final : public Quil::Data::Enumeration<BackingType> {
//    public:
//     enum Enum : std::int32_t { ATAPI, IMAGE, RAW, _UNKNOWN };
//     struct Strings { TAVO_VM_API static const char* const values[5]; };  // ..., "_UNKNOWN", null
//     BackingType(Enum value = _UNKNOWN) : Enumeration(value) {}
//   };
//
// `NativeTraits<T>` below tells the adapters and the validator which of these conventions a
// type follows; `TypeInfo` (quil/type_info.h) and `OptionalPtr` (quil/types.h) are the
// framework's and stay there.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/logic/tribool.hpp>
#include <boost/optional.hpp>

#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/type_info.h>
#include <quil/types.h>

namespace Quil::Data {

// An entry of a type's table of known field names, sorted ascending byte-wise.
using KnownName = std::string_view;

struct KnownNames {
  const KnownName* names;
  std::size_t count;

  template <std::size_t N>
  constexpr KnownNames(const KnownName (&table)[N]) : names(table), count(N) {}  // NOLINT
  constexpr KnownNames() : names(nullptr), count(0) {}
};

struct TAVO_VM_API BaseNative {
  // The fields an incoming structure value carried that the native type does not declare;
  // null when there are none. Copies of a native value share the store.
  std::shared_ptr<StructValue> unknownFields;

  struct TAVO_VM_API AdapterHelper {
    // Native to value: stores every kept field into the structure value being built, shared.
    static void AddUnknownFields(const BaseNative& native, StructValue& target);
    // Value to native: collects the incoming fields absent from `known` into `store`, creating
    // the store at the first such field.
    static void AddUnknownFields(KnownNames known, const CompoundValue* incoming,
                                 std::shared_ptr<StructValue>& store);
  };
};

// Behaviour shared by every generated enumeration E: a 32-bit code numbered in the order of
// `E::Strings::values`, whose last code is `_UNKNOWN`, and the text received for `_UNKNOWN`.
template <typename E>
class Enumeration {
 public:
  auto value() const { return static_cast<typename E::Enum>(code_); }
  std::int32_t code() const { return code_; }
  // The received text of an `_UNKNOWN` value; empty otherwise.
  const std::string& unknownText() const { return unknownText_; }

  // Exact, case-sensitive lookup; no match gives `_UNKNOWN` keeping the text ("_UNKNOWN" itself
  // gives `_UNKNOWN` with no kept text).
  static E FromText(std::string_view text) {
    for (std::int32_t i = 0; E::Strings::values[i] != nullptr; ++i)
      if (text == E::Strings::values[i]) return E(static_cast<typename E::Enum>(i));
    E unknown(E::_UNKNOWN);
    static_cast<Enumeration&>(unknown).unknownText_ = std::string(text);
    return unknown;
  }
  // A known code gives its table text; `_UNKNOWN` its kept text, or "_UNKNOWN" when empty.
  std::string ToText() const {
    if (code_ != E::_UNKNOWN || unknownText_.empty()) return E::Strings::values[code_];
    return unknownText_;
  }

  // By code, then by kept text: distinct unknown texts are distinct set elements.
  // The operands are E, so that an enumerator converts: `kind == Kind::ALPHA`.
  friend bool operator<(const E& a, const E& b) {
    const Enumeration& x = a;
    const Enumeration& y = b;
    return x.code_ != y.code_ ? x.code_ < y.code_ : x.unknownText_ < y.unknownText_;
  }
  friend bool operator==(const E& a, const E& b) {
    const Enumeration& x = a;
    const Enumeration& y = b;
    return x.code_ == y.code_ && x.unknownText_ == y.unknownText_;
  }
  friend bool operator!=(const E& a, const E& b) { return !(a == b); }

 protected:
  explicit Enumeration(std::int32_t code) : code_(code) {}

 private:
  std::int32_t code_;
  std::string unknownText_;
};

// What kind of native a type is: every member type of a generated structure is one of these.
enum class NativeKind {
  Primitive,    // std::int64_t, bool, std::string, Quil::Void
  Enumeration,  // derives from Enumeration<E>
  Structure,    // a structure or input record: derives from BaseNative
  SharedPtr,    // std::shared_ptr<const S>: a required structure
  OptionalPtr,  // Quil::OptionalPtr<const S>: an optional structure parameter
  Optional,     // boost::optional<X>
  List,         // std::vector<X>
  Set,          // std::set<X>
};

namespace Detail {
template <typename T>
inline constexpr bool kNotANativeType = false;

// The kinds that are not wrappers, tried in this order.
template <typename T>
constexpr NativeKind LeafKind() {
  if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, bool> ||
                std::is_same_v<T, std::string> || std::is_same_v<T, Void>) {
    return NativeKind::Primitive;
  } else if constexpr (std::is_base_of_v<Enumeration<T>, T>) {
    return NativeKind::Enumeration;
  } else if constexpr (std::is_base_of_v<BaseNative, T>) {
    return NativeKind::Structure;
  } else {
    static_assert(kNotANativeType<T>,
                  "not a native type of the API: expected int64, bool, text, Void, a generated "
                  "enumeration or structure, shared_ptr or OptionalPtr of a const structure, "
                  "boost::optional, std::vector or std::set");
    return NativeKind::Primitive;
  }
}
}  // namespace Detail

// `kind` of T, and for a wrapper `Element`, what it holds (a pointer's structure without const).
// A wrapper is known by its exact template, so an OptionalPtr is never taken for the shared
// pointer it derives from.
template <typename T>
struct NativeTraits {
  static constexpr NativeKind kind = Detail::LeafKind<T>();
};
template <typename S>
struct NativeTraits<std::shared_ptr<const S>> {
  static constexpr NativeKind kind = NativeKind::SharedPtr;
  using Element = S;
};
template <typename S>
struct NativeTraits<OptionalPtr<const S>> {
  static constexpr NativeKind kind = NativeKind::OptionalPtr;
  using Element = S;
};
template <typename X>
struct NativeTraits<boost::optional<X>> {
  static constexpr NativeKind kind = NativeKind::Optional;
  using Element = X;
};
template <typename X, typename Allocator>
struct NativeTraits<std::vector<X, Allocator>> {
  static constexpr NativeKind kind = NativeKind::List;
  using Element = X;
};
template <typename X, typename Compare, typename Allocator>
struct NativeTraits<std::set<X, Compare, Allocator>> {
  static constexpr NativeKind kind = NativeKind::Set;
  using Element = X;
};

template <typename T>
inline constexpr NativeKind kNativeKind = NativeTraits<T>::kind;
template <typename T>
using NativeElement = typename NativeTraits<T>::Element;

// Bases of the generated `TypeInfo<T>` specialisations, which add the wire name `name()` and the
// fully qualified native name `qualifiedName` used in messages (input records also name their
// operation, `operationName`).
template <typename T>
struct StructTypeInfo {
  // A newly made T: optionals unset, texts and containers empty, pointers null, enumerations
  // `_UNKNOWN`, integers and booleans zero, `unknownFields` null. The value about to be
  // converted into it is not looked at.
  static std::shared_ptr<T> defaultInstance(const DataValuePtr& /*value*/ = nullptr) {
    return std::make_shared<T>();
  }
};

template <typename T>
struct InputTypeInfo : StructTypeInfo<T> {
  static std::string name() { return TypeInfo<OperationInput>::name(); }
};

template <typename E>
struct EnumTypeInfo {};

namespace Detail {
// Whether `text` is one of the case values of a case table; the table's "_UNKNOWN" entry and
// texts outside the table are not.
inline bool IsCaseValue(const char* const* table, std::string_view text) {
  for (; *table != nullptr; ++table)
    if (text == *table) return text != "_UNKNOWN";
  return false;
}
}  // namespace Detail

// Union-case rules: from the text of a union's tag to whether a member is required (true),
// allowed (indeterminate) or must be absent (false). `Cases::Strings::values` lists the tag
// values of the member's cases, then "_UNKNOWN", then null.
template <typename Cases>
struct UnionCaseAnyEnumValue {  // required in its cases
  boost::tribool operator()(std::string_view tag) const {
    return Detail::IsCaseValue(Cases::Strings::values, tag) ? boost::tribool(true)
                                                            : boost::tribool(false);
  }
};

template <typename Cases>
struct OptUnionCaseAnyEnumValue {  // allowed in its cases
  boost::tribool operator()(std::string_view tag) const {
    return Detail::IsCaseValue(Cases::Strings::values, tag) ? boost::tribool(boost::indeterminate)
                                                            : boost::tribool(false);
  }
};

}  // namespace Quil::Data
