// Names of interfaces and methods as the provider routes them, and the definition of a method.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include <quil/data/definition.h>
#include <quil/export.h>

namespace Quil::Core {

class QUIL_CORE_API InterfaceIdentifier {
 public:
  static std::shared_ptr<const InterfaceIdentifier> GetInstance(std::string name) {
    return std::make_shared<const InterfaceIdentifier>(std::move(name));
  }
  explicit InterfaceIdentifier(std::string name) : name_(std::move(name)) {}

  const std::string& GetName() const { return name_; }

  friend bool operator==(const InterfaceIdentifier& a, const InterfaceIdentifier& b) {
    return a.name_ == b.name_;
  }
  friend bool operator!=(const InterfaceIdentifier& a, const InterfaceIdentifier& b) {
    return !(a == b);
  }

 private:
  std::string name_;
};

class QUIL_CORE_API MethodIdentifier {
 public:
  static std::shared_ptr<const MethodIdentifier> GetInstance(
      std::shared_ptr<const InterfaceIdentifier> interfaceId, std::string name) {
    return std::make_shared<const MethodIdentifier>(std::move(interfaceId), std::move(name));
  }
  MethodIdentifier(std::shared_ptr<const InterfaceIdentifier> interfaceId, std::string name)
      : interface_(std::move(interfaceId)), name_(std::move(name)) {}

  const std::shared_ptr<const InterfaceIdentifier>& GetInterface() const { return interface_; }
  const std::string& GetName() const { return name_; }

  friend bool operator==(const MethodIdentifier& a, const MethodIdentifier& b) {
    return *a.interface_ == *b.interface_ && a.name_ == b.name_;
  }
  friend bool operator!=(const MethodIdentifier& a, const MethodIdentifier& b) { return !(a == b); }

 private:
  std::shared_ptr<const InterfaceIdentifier> interface_;
  std::string name_;
};

class QUIL_CORE_API MethodDefinition {
 public:
  MethodDefinition(std::shared_ptr<const MethodIdentifier> id, Data::DataDefinitionPtr input,
                   Data::DataDefinitionPtr output)
      : id_(std::move(id)), input_(std::move(input)), output_(std::move(output)) {}

  const std::shared_ptr<const MethodIdentifier>& GetIdentifier() const { return id_; }
  const Data::DataDefinitionPtr& GetInputDefinition() const { return input_; }
  const Data::DataDefinitionPtr& GetOutputDefinition() const { return output_; }

 private:
  std::shared_ptr<const MethodIdentifier> id_;
  Data::DataDefinitionPtr input_;
  Data::DataDefinitionPtr output_;
};

}  // namespace Quil::Core
