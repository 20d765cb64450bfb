// The structural check of a decoded native value, before an implementation sees it. Decoding is
// lenient: it keeps fields the native type does not declare and fills union members without
// looking at the tag. This is where such a value is rejected.
//
// `isValid` returns false after appending messages, and appends nothing when it returns true.
// For every structure, in this order:
// - under `Policy::Strict`, the fields kept in `unknownFields`: one message
//   "quil.data.compound.field.extra" (qualified type name, field name, "") per field in
//   ascending name order; a store that exists without a field is invalid too, silently. Any
//   other policy skips this check.
// - the union rules, member by member in declaration order, then the tag; the first broken rule
//   gives the one union message ("quil.data.union.invalid.case.state.isnotset.short" or
//   "...isset.short" with the union's wire name and the member's native name;
//   "quil.data.union.missing.tag.field" with the tag's wire name when the tag is `_UNKNOWN`).
// An operation's input record (its TypeInfo names an `operationName`) adds: when the record
// itself is valid, its required nested structures must be present and valid and its optional
// ones absent or valid, each checked under `Policy::Strict` and stopping at the first failure; an
// invalid record ends with "quil.invoke.invalid.input" (qualified operation name). Lists of
// structures and the members of nested structures are not examined, so the check never goes
// deeper than one level below an input record.
//
//   MessageList messages;
//   if (!Validator::isValid(input, Validator::Strict, messages)) { ... }
//
// Generated code declares `extern template bool Validator::isValid<S>(const S&,
// Validator::Policy, MessageList&);` per type and instantiates it in its own source.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include <boost/logic/tribool.hpp>
#include <boost/optional.hpp>

#include <quil/base_message.h>
#include <quil/data/native.h>
#include <quil/export.h>
#include <quil/type_info.h>
#include <quil/types.h>

namespace Quil::Data {

class TAVO_VM_API Validator {
 public:
  // `Strict` asks for the unknown-field check; other values skip it.
  enum Policy : int { Strict = 1 };

  template <typename T>
  static bool isValid(const T& native, Policy policy, MessageList& messages);

 private:
  template <typename T>
  class UnionRules;
  template <typename T>
  class NestedStructures;

  template <typename T, typename = void>
  struct IsInputRecord : std::false_type {};
  template <typename T>
  struct IsInputRecord<T, std::void_t<decltype(TypeInfo<T>::operationName)>> : std::true_type {};

  // False after the extra-field messages when the store exists.
  static bool CheckUnknownFields(const BaseNative& native, Policy policy, std::string_view typeName,
                                 MessageList& messages);
  // `rule` answers for the current tag: true, the member is required; false, it must be unset.
  static bool CheckUnionMember(std::string_view unionName, std::string_view memberName, bool isSet,
                               boost::tribool rule, MessageList& messages);
  static void AppendMissingTag(std::string_view tagField, MessageList& messages);
  static void AppendInvalidInput(std::string_view operationName, MessageList& messages);
};

// Walks the union members of T; the tag is judged once every member has passed.
template <typename T>
class Validator::UnionRules {
 public:
  UnionRules(const T& native, MessageList& messages) : native_(native), messages_(messages) {}

  template <typename S, typename M>
  void AddField(std::string_view, M S::*) {}
  void AddUnknownFields(KnownNames) {}

  template <typename Tags, std::size_t I, typename Rule, typename S, typename X, typename Tag>
  void AddUnionField(std::string_view, std::string_view nativeName, boost::optional<X> S::*member,
                     Tag S::*tagMember) {
    if (!valid_) return;
    const Tag& tag = native_.*tagMember;
    valid_ = CheckUnionMember(TypeInfo<T>::name(), nativeName, (native_.*member).has_value(),
                              Rule{}(tag.ToText()), messages_);
    if (unknownTag_ == nullptr && tag.value() == Tag::_UNKNOWN)
      unknownTag_ = Tags::Strings::values[I];
  }

  bool Finish() {
    if (valid_ && unknownTag_ != nullptr) {
      AppendMissingTag(unknownTag_, messages_);
      valid_ = false;
    }
    return valid_;
  }

 private:
  const T& native_;
  MessageList& messages_;
  bool valid_ = true;
  const char* unknownTag_ = nullptr;  // wire name of the first union tag found `_UNKNOWN`
};

// Walks the structure members of an input record, stopping at the first invalid one.
template <typename T>
class Validator::NestedStructures {
 public:
  NestedStructures(const T& native, MessageList& messages) : native_(native), messages_(messages) {}

  // A required structure must be present, an optional one may be absent; other members are not
  // looked at.
  template <typename S, typename M>
  void AddField(std::string_view, M S::*member) {
    constexpr NativeKind kind = kNativeKind<M>;
    if constexpr (kind == NativeKind::SharedPtr || kind == NativeKind::OptionalPtr) {
      if (!valid_) return;
      const auto& nested = native_.*member;
      valid_ =
          nested == nullptr ? kind == NativeKind::OptionalPtr : isValid(*nested, Strict, messages_);
    }
  }
  template <typename Tags, std::size_t I, typename Rule, typename S, typename X, typename Tag>
  void AddUnionField(std::string_view, std::string_view, boost::optional<X> S::*, Tag S::*) {}
  void AddUnknownFields(KnownNames) {}

  bool valid() const { return valid_; }

 private:
  const T& native_;
  MessageList& messages_;
  bool valid_ = true;
};

// Defined out of the class so that explicit instantiations are not inline and stay exported.
template <typename T>
bool Validator::isValid(const T& native, Policy policy, MessageList& messages) {
  bool valid = CheckUnknownFields(native, policy, TypeInfo<T>::qualifiedName, messages);
  if (valid) {
    UnionRules<T> unionRules(native, messages);
    T::AdapterHelper::AddFields(unionRules);
    valid = unionRules.Finish();
  }
  if constexpr (IsInputRecord<T>::value) {
    if (valid) {
      NestedStructures<T> nested(native, messages);
      T::AdapterHelper::AddFields(nested);
      valid = nested.valid();
    }
    if (!valid) AppendInvalidInput(TypeInfo<T>::operationName, messages);
  }
  return valid;
}

}  // namespace Quil::Data
