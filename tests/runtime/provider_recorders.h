// Result callbacks that record what reaches them, and the cpus values, for the runtime tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <boost/optional.hpp>

#include <quil/async_result.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/method_result.h>
#include <quil/data/native_error.h>
#include <quil/data/value.h>
#include <quil/type_info.h>
#include <quil/types.h>

#include "support/values.h"

namespace Quil::ProviderTesting {

using namespace ::TestSupport;

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

// An operation input holding the given fields.
inline Data::DataValuePtr OperationInputValue(Fields fields) {
  return Struct(TypeInfo<OperationInput>::name(), fields);
}

// A cpus "info" value: `count` CPUs, two cores per socket, hot add only.
inline Data::DataValuePtr InfoValue(std::int64_t count) {
  return Struct("com.korvan.tavo.vm.compute.cpus.info", {{"count", Int(count)},
                                                         {"cores_per_socket", Int(2)},
                                                         {"hot_add_enabled", Bool(true)},
                                                         {"hot_remove_enabled", Bool(false)}});
}

// One delivery that reached an AsyncResult, and the thread it came on.
template <typename R>
struct Delivery {
  boost::optional<R> value;
  Data::ErrorValuePtr error;
  Progress progress;
  std::thread::id thread;
};

// Makes AsyncResults that record every delivery reaching them.
template <typename R>
class ResultRecorder {
 public:
  AsyncResult<R> Result() const {
    return AsyncResult<R>([log = log_](boost::optional<R> value, Data::ErrorValuePtr error,
                                       boost::optional<Data::NativeError>, Progress progress) {
      log->push_back({std::move(value), std::move(error), progress, std::this_thread::get_id()});
    });
  }
  const std::vector<Delivery<R>>& deliveries() const { return *log_; }

 private:
  std::shared_ptr<std::vector<Delivery<R>>> log_ = std::make_shared<std::vector<Delivery<R>>>();
};

}  // namespace Quil::ProviderTesting
