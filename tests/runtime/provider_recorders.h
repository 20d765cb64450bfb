// Result callbacks that record what reaches them, and small value builders, for the runtime
// tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <quil/base_message.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/method_result.h>
#include <quil/data/value.h>
#include <quil/provider/api_method.h>
#include <quil/type_info.h>
#include <quil/types.h>

namespace Quil::ProviderTesting {

// One call of the framework's result callback.
struct FrameworkReport {
  Core::MethodResultPtr result;
  Progress progress;
  Core::AsyncApiResultCb::Continuation continuation;
};

inline Core::AsyncApiResultCb RecordFramework(std::vector<FrameworkReport>& reports) {
  return Core::AsyncApiResultCb([&reports](Core::MethodResultPtr result, Progress progress,
                                           Core::AsyncApiResultCb::Continuation continuation) {
    reports.push_back({std::move(result), progress, std::move(continuation)});
  });
}

// One call of a method's result callback.
struct MethodReport {
  Data::DataValuePtr output;
  Data::ErrorValuePtr error;
  Progress progress;
  Provider::AsyncApiMethod::ResultCb::Continuation continuation;
};

inline Provider::AsyncApiMethod::ResultCb RecordMethod(std::vector<MethodReport>& reports) {
  return Provider::AsyncApiMethod::ResultCb(
      [&reports](Data::DataValuePtr output, Data::ErrorValuePtr error, Progress progress,
                 Provider::AsyncApiMethod::ResultCb::Continuation&& continuation) {
        reports.push_back({std::move(output), std::move(error), progress, std::move(continuation)});
      });
}

inline std::vector<std::string> MessageIds(const Data::ErrorValuePtr& error) {
  std::vector<std::string> ids;
  if (error == nullptr) return ids;
  for (const BaseMessage& message : error->GetMessages()) ids.push_back(message.id);
  return ids;
}

inline Data::DataValuePtr Text(std::string text) {
  return Data::DataValue::Create(std::move(text));
}

inline Data::DataValuePtr Integer(std::int64_t number) { return Data::DataValue::Create(number); }

// An operation input holding the given fields.
inline Data::DataValuePtr OperationInputValue(
    std::vector<std::pair<std::string, Data::DataValuePtr>> fields) {
  auto input = Data::StructValue::GetInstance(TypeInfo<OperationInput>::name());
  for (auto& [name, value] : fields) input->SetField(name, std::move(value));
  return input;
}

}  // namespace Quil::ProviderTesting
