// The definitions that a method class states for its operation, built from native types.
//
// Nothing is cached: every call builds a new tree, so two calls give equal but distinct
// definitions. Generated method classes call these from their static functions:
//
//   Quil::Data::DataDefinitionPtr GetMethod::inputDef() {
//     return Quil::Provider::MethodDefinitions::Of<Input>();
//   }
//   std::vector<Quil::Data::DataDefinitionPtr> GetMethod::errorDefs() {
//     return Quil::Provider::MethodDefinitions::Errors<Errors::Error, Errors::NotFound>();
//   }
#pragma once

#include <initializer_list>
#include <vector>

#include <quil/data/definition.h>
#include <quil/data/native_to_definition.h>
#include <quil/export.h>
#include <quil/provider/std_error_definitions.h>

namespace Quil::Provider {

struct TAVO_VM_API MethodDefinitions {
  // The definition of native type T: an input record, a result type or an error type.
  template <typename T>
  static Data::DataDefinitionPtr Of() {
    return Adapt(Data::NativeToDefinitionAdapter::AdaptMethod<T>::Get());
  }

  // The definitions of the error types, in the order given.
  template <typename... E>
  static std::vector<Data::DataDefinitionPtr> Errors() {
    return AdaptEach({Data::NativeToDefinitionAdapter::AdaptMethod<E>::Get()...});
  }

  // One Adapt call of `method` with a fresh message list and result.
  static Data::DataDefinitionPtr Adapt(Data::NativeToDefinitionAdapter::Method method);
  // One Adapt call per method, in order.
  static std::vector<Data::DataDefinitionPtr> AdaptEach(
      std::initializer_list<Data::NativeToDefinitionAdapter::Method> methods);
};

}  // namespace Quil::Provider
