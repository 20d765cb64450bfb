// The method filter: the handler of a provider method object that turns a dynamic invocation
// into a native call of the implementation.
//
// For each invocation it decodes the input value into the operation's input record
// (ValueToNativeAdapter), validates the record under `Validator::Strict`, and calls its call
// lambda with the record, the activation and an `AsyncResult<R>` whose result filter
// (AsyncApiMethodResultFilter<R>) converts the implementation's answer back. An input that does
// not decode or validate is answered with ErrorNames::kInvalidArgument carrying the collected
// messages, and the lambda is not called. Whatever the lambda raises propagates.
//
// Generated builders make one filter per operation:
//
//   auto filter = Quil::Provider::MakeMethodFilter<GetMethod>(
//       [member, implementation](const GetMethod::Input& input,
//                                const std::shared_ptr<Quil::Core::AsyncActivation>& activation,
//                                const GetMethod::ResultCbType& result) {
//         ((*implementation).*member)(input.vm, activation, result);
//       });
//
// Only the lambda depends on the operation itself: decoding, validating and rejecting depend on
// the input record alone, building the result object on the result type alone, so operations
// sharing those share that code.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

#include <quil/async_result.h>
#include <quil/base_message.h>
#include <quil/core/activation.h>
#include <quil/data/validator.h>
#include <quil/data/value.h>
#include <quil/data/value_to_native.h>
#include <quil/export.h>
#include <quil/provider/api_method.h>
#include <quil/provider/result_filter.h>
#include <quil/type_info.h>

namespace Quil::Provider {

// The binding policy of the filters: the lambda is called directly, on the invoking thread.
struct DirectFilterBinder {};

namespace MethodFilterDetail {

// Answers the invocation with invalid_argument carrying `messages`, progress (0, 1, 1).
TAVO_VM_API void RejectInput(const AsyncApiMethod::ResultCb& callback, const MessageList& messages);

// Decodes and validates `input` into `record`, a default record; false after the invocation has
// been rejected.
template <typename Input>
bool AcceptInput(const Data::DataValuePtr& input, Input& record,
                 const AsyncApiMethod::ResultCb& callback) {
  MessageList messages;
  if (Data::ValueToNativeAdapter::Adapt(input, record, messages) &&
      Data::Validator::isValid(record, Data::Validator::Strict, messages)) {
    return true;
  }
  RejectInput(callback, messages);
  return false;
}

// The result object an implementation answers through; it takes the callback over.
template <typename R>
AsyncResult<R> MakeResultObject(AsyncApiMethod::ResultCb&& callback,
                                const std::shared_ptr<Core::AsyncActivation>& activation) {
  return AsyncResult<R>(AsyncApiMethodResultFilter<R>(std::move(callback), activation));
}

}  // namespace MethodFilterDetail

// Copyable; copies share what the lambda holds (the implementation).
template <typename Lambda, typename R, typename Input, typename Binder>
class AsyncApiMethodFilter {
 public:
  explicit AsyncApiMethodFilter(Lambda call) : call_(std::move(call)) {}

  void operator()(const Data::DataValuePtr& input,
                  const std::shared_ptr<Core::AsyncActivation>& activation,
                  const AsyncApiMethod::ResultCb& callback) const {
    // The record lives for the call only: the implementation receives its members.
    Input record{};
    if (!MethodFilterDetail::AcceptInput(input, record, callback)) return;
    call_(record, activation,
          MethodFilterDetail::MakeResultObject<R>(AsyncApiMethod::ResultCb(callback), activation));
  }

 private:
  Lambda call_;
};

// The filter of method class M around `call`.
template <typename M, typename Lambda>
auto MakeMethodFilter(Lambda&& call) {
  return AsyncApiMethodFilter<std::decay_t<Lambda>, typename M::ResultType, typename M::Input,
                              DirectFilterBinder>(std::forward<Lambda>(call));
}

}  // namespace Quil::Provider
