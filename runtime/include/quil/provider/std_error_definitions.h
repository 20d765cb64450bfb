// The definitions of the framework's standard errors for the definition adapter, so that a
// method class declares its errors as types:
//
//   MethodDefinitions::Errors<Com::Korvan::Quil::Std::Errors::Error,
//                             Com::Korvan::Quil::Std::Errors::NotFound>();
//
// Each error's definition comes from the standard bindings (MakeErrorDefinition), new on every
// call.
#pragma once

#include <quil/data/native_to_definition.h>
#include <quil/std/errors.h>

namespace Quil::Data {

#define QUIL_STD_ERROR_DEFINITION(Type, wireName)                                         \
  template <>                                                                             \
  struct NativeToDefinitionAdapter::AdaptMethod<::Com::Korvan::Quil::Std::Errors::Type> { \
    static Method Get() {                                                                 \
      return &FactoryMethod<&::Com::Korvan::Quil::Std::Errors::MakeErrorDefinition<       \
          ::Com::Korvan::Quil::Std::Errors::Type>>;                                       \
    }                                                                                     \
  };

QUIL_STD_ERRORS(QUIL_STD_ERROR_DEFINITION)
#undef QUIL_STD_ERROR_DEFINITION

}  // namespace Quil::Data
