// The catalogue as tavo-vm shows it: every operation of the ten services with its input fields,
// output and declared errors, read from the method definitions that the server checks against,
// completed by the services' facts (which strings are enumerations, and so the union's cases).
//
// Nothing recurses: structures are collected from a work list, and each member's type is a flat
// chain of wrappers around a base, naming structures instead of holding them.
//
// Names may be shortened to any tail of whole segments that only one interface ends with:
// "cpus.get", "compute.cpus.get" and "com.korvan.tavo.vm.compute.cpus.get" name the same
// operation.
//
//   auto catalogue = Tavo::Tool::Catalogue::Load();
//   std::string error;
//   const Tavo::Tool::Operation* get = catalogue.ResolveOperation("cpus.get", error);
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <quil/provider/api_method.h>

namespace Tavo::Tool {

struct TypeShape {
  enum class Wrapper { kOptional, kList, kSet };
  enum class Base { kVoid, kInteger, kDouble, kBoolean, kString, kBlob, kSecret, kStructure };

  std::vector<Wrapper> wrappers;  // outermost first
  Base base = Base::kVoid;
  // kStructure: the structure's name; kString: the enumeration it holds, if any.
  std::string name;

  bool IsListOfStructures() const {
    return wrappers.size() == 1 && wrappers[0] == Wrapper::kList && base == Base::kStructure;
  }
};

// The tag values for which a union member is required or allowed; for the others it is absent.
struct UnionCases {
  std::string tagField;
  std::vector<std::string> required;
  std::vector<std::string> allowed;
  std::vector<std::string> absent;
};

struct Member {
  std::string name;
  TypeShape type;
  bool optional = false;  // may be left out (null): an optional, or a union member
  std::optional<UnionCases> cases;

  // How many of the type's wrappers to take off for the value it holds when set.
  std::size_t ContentSkip() const {
    return !type.wrappers.empty() && type.wrappers.front() == TypeShape::Wrapper::kOptional ? 1 : 0;
  }
};

struct Structure {
  std::string name;
  bool isError = false;
  std::vector<Member> members;  // ascending by name, as in the definitions
};

struct Enumeration {
  std::string name;
  std::vector<std::string> values;
};

struct Operation {
  std::string interfaceName;
  std::string name;
  std::vector<Member> input;
  TypeShape output;
  std::vector<std::string> errors;  // declared error names, in declared order
  std::shared_ptr<const Quil::Provider::AsyncApiMethod> method;

  std::string FullName() const { return interfaceName + "." + name; }
};

struct Interface {
  std::string name;
  std::vector<Operation> operations;
};

class Catalogue {
 public:
  static Catalogue Load();

  const std::vector<Interface>& Interfaces() const { return interfaces_; }
  const Structure* FindStructure(std::string_view name) const;
  const Enumeration* FindEnumeration(std::string_view name) const;

  // An interface by its full or short name; null with `error` set when none or several match.
  const Interface* ResolveInterface(std::string_view name, std::string& error) const;
  // An operation as INTERFACE.OPERATION, the interface full or short.
  const Operation* ResolveOperation(std::string_view name, std::string& error) const;
  // The shortest name that ResolveOperation takes for `operation`.
  std::string ShortName(const Operation& operation) const;

  // Structures that the types of `shapes` name, directly or through other structures, each once,
  // in the order first met.
  std::vector<const Structure*> Reachable(const std::vector<const TypeShape*>& shapes) const;

 private:
  std::vector<const Interface*> Matching(std::string_view name) const;

  std::vector<Interface> interfaces_;
  std::map<std::string, Structure, std::less<>> structures_;
  std::map<std::string, Enumeration, std::less<>> enumerations_;
};

// "optional<list<com.example.spec>>", "string (com.example.mode)", ...
std::string ShapeText(const TypeShape& shape);

}  // namespace Tavo::Tool
