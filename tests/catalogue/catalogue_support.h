// What the catalogue tests add to the binding tests' helpers: operation inputs, a provider that
// records what it is invoked with, and the messages of conversions both ways.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/identifiers.h>
#include <quil/core/method_result.h>
#include <quil/data/definition.h>
#include <quil/provider/api_provider.h>
#include <quil/type_info.h>

#include "binding/test_support.h"

namespace Catalogue {

using namespace ::Quil::Data::Testing;
using Quil::MessageList;
using Quil::Data::DataDefinitionPtr;

// A method input structure value.
inline DataValuePtr Input(Fields fields) {
  return Struct(Quil::TypeInfo<Quil::OperationInput>::name(), fields);
}

// Answers every invocation with `answer` and keeps what it was invoked with.
class AnsweringProvider final : public Quil::Provider::ApiProvider {
 public:
  void Invoke(std::shared_ptr<const Quil::Core::MethodIdentifier> method, DataValuePtr input,
              std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
              const Quil::Core::AsyncApiResultCb& callback) override {
    methods.push_back(method->GetInterface()->GetName() + " " + method->GetName());
    inputs.push_back(std::move(input));
    callback(Quil::Core::MethodResult::Create(answer, nullptr), Quil::kFinalProgress, nullptr);
  }

  DataValuePtr answer;
  Texts methods;  // "<interface> <method>"
  std::vector<DataValuePtr> inputs;
};

// The messages of converting `native`, described.
template <typename T>
Texts ToValueMessages(const T& native) {
  Quil::MessageList messages;
  ToValue(native, messages);
  return Describe(messages);
}
// Decodes `value` into `native`, describing what the conversion reports.
template <typename T>
Texts FromValue(const DataValuePtr& value, T& native) {
  Quil::MessageList messages;
  const bool converted = Quil::Data::ValueToNativeAdapter::Adapt(value, native, messages);
  EXPECT_EQ(converted, messages.empty());
  return Describe(messages);
}

}  // namespace Catalogue
