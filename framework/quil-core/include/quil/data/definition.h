// Data definitions: the framework's description of what a value must look like. An operation's
// input, output and errors are each described by one definition tree, shared as
// `std::shared_ptr<const DataDefinition>`.
//
// A structure that contains itself is described by a `StructRefDefinition` at the inner
// occurrence; it names the structure and refers to the outer definition without owning it.
// Comparing, printing and destroying definitions never recurses on the call stack, and never
// follows a reference (two references are equal when they name the same structure).
//
// Ownership: a reference's target must be kept alive by whoever holds the tree that contains
// the reference (normally the tree's root is the target). Destruction takes apart any child
// whose last strong owner is its parent; under that rule no reference can be followed to a
// definition while it is being taken apart.
//
//   FieldDefinitions fields{{"count", DataDefinition::Create<std::int64_t>()}};
//   auto info = StructDefinition::GetInstance("com.example.info", std::move(fields));
//   ToText(info.get());  // "structure com.example.info{count: integer}"
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>

#include <boost/logic/tribool.hpp>

#include <quil/data/data_type.h>
#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/types.h>

namespace Quil::Data {

class DataDefinition;
class StructDefinition;
using DataDefinitionPtr = std::shared_ptr<const DataDefinition>;
// Fields of a structure definition by wire name, in ascending name order.
using FieldDefinitions = std::map<std::string, DataDefinitionPtr, std::less<>>;

class QUIL_CORE_API DataDefinition {
 public:
  virtual DataType GetType() const = 0;
  virtual ~DataDefinition();

  // The definition of a primitive: std::int64_t, bool, std::string, double, Quil::Void.
  template <typename T>
  static DataDefinitionPtr Create();

 protected:
  DataDefinition() = default;
  DataDefinition(const DataDefinition&) = delete;
  DataDefinition& operator=(const DataDefinition&) = delete;
};

// clang-format off
template <> QUIL_CORE_API DataDefinitionPtr DataDefinition::Create<std::int64_t>();
template <> QUIL_CORE_API DataDefinitionPtr DataDefinition::Create<bool>();
template <> QUIL_CORE_API DataDefinitionPtr DataDefinition::Create<std::string>();
template <> QUIL_CORE_API DataDefinitionPtr DataDefinition::Create<double>();
template <> QUIL_CORE_API DataDefinitionPtr DataDefinition::Create<Void>();
// clang-format on

// Structural equality; null equals only null. Structures compare by kind (structure or error),
// name and fields; lists by kind (list or set) and element; references by name; union cases by
// element, tag field and rule type.
QUIL_CORE_API bool Equals(const DataDefinition* a, const DataDefinition* b);
inline bool operator==(const DataDefinition& a, const DataDefinition& b) { return Equals(&a, &b); }
inline bool operator!=(const DataDefinition& a, const DataDefinition& b) { return !Equals(&a, &b); }

// A readable form, for example "structure com.example.info{count: integer, tags: set<string>}".
QUIL_CORE_API std::string ToText(const DataDefinition* definition);

// Void, integer, double, boolean, string, blob and secret definitions carry nothing but their
// kind, which must be one of these seven.
class QUIL_CORE_API PrimitiveDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<const PrimitiveDefinition> GetInstance(DataType type);
  DataType GetType() const override { return type_; }

  explicit PrimitiveDefinition(DataType type) : type_(type) {}

 private:
  DataType type_;
};

// Optional and list definitions wrap one element definition. A list definition also tells a list
// from a set, so that a value decoded from a form that cannot tell them apart (JSON arrays) comes
// back as the kind it was; the definition checks accept either kind of list for either.
class QUIL_CORE_API OptionalDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<const OptionalDefinition> GetInstance(DataDefinitionPtr element);
  ~OptionalDefinition() override;
  const DataDefinitionPtr& GetElementType() const { return element_; }
  DataType GetType() const override;

  explicit OptionalDefinition(DataDefinitionPtr element) : element_(std::move(element)) {}

 private:
  DataDefinitionPtr element_;
};

class QUIL_CORE_API ListDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<const ListDefinition> GetInstance(
      DataDefinitionPtr element, ListValue::Kind kind = ListValue::Kind::LIST);
  ~ListDefinition() override;
  const DataDefinitionPtr& GetElementType() const { return element_; }
  ListValue::Kind GetKind() const { return kind_; }
  DataType GetType() const override;

  explicit ListDefinition(DataDefinitionPtr element, ListValue::Kind kind = ListValue::Kind::LIST)
      : element_(std::move(element)), kind_(kind) {}

 private:
  DataDefinitionPtr element_;
  ListValue::Kind kind_;
};

class QUIL_CORE_API StructDefinition : public DataDefinition {
 public:
  static std::shared_ptr<const StructDefinition> GetInstance(std::string name,
                                                             FieldDefinitions fields);
  ~StructDefinition() override;

  const std::string& GetName() const { return name_; }
  const FieldDefinitions& GetFields() const { return fields_; }
  // The field's definition, or null when the structure declares no such field.
  DataDefinitionPtr GetField(std::string_view name) const;
  DataType GetType() const override;

  StructDefinition(std::string name, FieldDefinitions fields)
      : name_(std::move(name)), fields_(std::move(fields)) {}

 private:
  std::string name_;
  FieldDefinitions fields_;
};

// The definition of an error: a structure definition named after the error.
class QUIL_CORE_API ErrorDefinition final : public StructDefinition {
 public:
  static std::shared_ptr<const ErrorDefinition> GetInstance(std::string name,
                                                            FieldDefinitions fields);
  DataType GetType() const override;

  using StructDefinition::StructDefinition;
};

// A structure named by its wire name, standing for a definition that encloses it. The target is
// set once the enclosing definition exists and is held weakly: whoever holds the enclosing tree
// keeps it alive.
class QUIL_CORE_API StructRefDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<StructRefDefinition> GetInstance(std::string name);

  const std::string& GetName() const { return name_; }
  // The target, or null when it was never resolved or no longer exists.
  std::shared_ptr<const StructDefinition> GetTarget() const { return target_.lock(); }
  void SetTarget(const std::shared_ptr<const StructDefinition>& target) { target_ = target; }
  DataType GetType() const override;

  explicit StructRefDefinition(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
  std::weak_ptr<const StructDefinition> target_;
};

// A member of a discriminated union: its element definition plus a rule that tells, from the
// text of the union's tag field, whether the member is required (true), allowed
// (indeterminate) or must be absent (false).
class QUIL_CORE_API UnionCaseDefinition final : public DataDefinition {
 public:
  using Predicate = std::function<boost::tribool(std::string_view tag)>;

  static std::shared_ptr<const UnionCaseDefinition> GetInstance(DataDefinitionPtr element,
                                                                std::string tagField,
                                                                Predicate predicate);
  ~UnionCaseDefinition() override;

  const DataDefinitionPtr& GetElementType() const { return element_; }
  const std::string& GetTagField() const { return tagField_; }
  boost::tribool Evaluate(std::string_view tag) const { return predicate_(tag); }
  // Rules compare equal when they are function objects of the same type; the union-case rules
  // are stateless.
  const std::type_info& PredicateType() const { return predicate_.target_type(); }
  DataType GetType() const override;

  UnionCaseDefinition(DataDefinitionPtr element, std::string tagField, Predicate predicate)
      : element_(std::move(element)),
        tagField_(std::move(tagField)),
        predicate_(std::move(predicate)) {}

 private:
  DataDefinitionPtr element_;
  std::string tagField_;
  Predicate predicate_;
};

}  // namespace Quil::Data
