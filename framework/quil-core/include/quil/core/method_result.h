// The answer of one invocation as the provider hands it to the framework.
#pragma once

#include <memory>
#include <utility>

#include <quil/data/value.h>
#include <quil/export.h>

namespace Quil::Core {

struct QUIL_CORE_API MethodResult {
  // A final answer: an output, or an error, or (for an operation that ended without either)
  // neither. `isFinal` is true in every result the bindings build.
  static std::shared_ptr<const MethodResult> Create(Data::DataValuePtr output,
                                                    Data::ErrorValuePtr error,
                                                    bool isFinal = true) {
    return std::make_shared<const MethodResult>(
        MethodResult{std::move(output), std::move(error), isFinal});
  }

  Data::DataValuePtr output;
  Data::ErrorValuePtr error;
  bool isFinal = true;
};

using MethodResultPtr = std::shared_ptr<const MethodResult>;

}  // namespace Quil::Core
