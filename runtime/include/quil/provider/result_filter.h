// The result filter: the callable inside the `AsyncResult<R>` an implementation answers through,
// which turns the native answer into the dynamic form of the method's result callback.
//
// What the method's result callback receives for each answer:
//   error value or native error   the error of NativeErrorHelper::GetError, localised with the
//                                 activation's error request localizer; it wins over a value
//   value of R                    the value converted by NativeToValueAdapter, or, when it does
//                                 not convert (a null required structure),
//                                 ErrorNames::kInternalServerError without messages
//   neither                       a progress report, the progress passed on unchanged
// Each final answer (an error or a value) first takes the callback out of the filter and leaves
// one that ignores everything, then calls it: a filter, and every copy made after that, forwards
// at most one final answer and drops the rest. Progress reports leave the filter open.
//
// The method filter builds one per invocation: `AsyncResult<R>(AsyncApiMethodResultFilter<R>(
// callback, activation))`. In a stream, the continuation of each value gets the result object of
// the next value, `MakeOptionalPtr<AsyncStreamResult<R>>` of a filter over the next callback.
#pragma once

#include <memory>
#include <utility>

#include <boost/optional.hpp>

#include <quil/core/activation.h>
#include <quil/data/native_error.h>
#include <quil/data/native_to_value.h>
#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/provider/api_method.h>
#include <quil/stream_result.h>
#include <quil/types.h>

namespace Quil::Provider {

// Everything of a result filter that does not depend on the result type.
class TAVO_VM_API AsyncApiMethodResultFilterBase {
 public:
  AsyncApiMethodResultFilterBase(AsyncApiMethod::ResultCb&& callback,
                                 std::shared_ptr<Core::AsyncActivation> activation)
      : callback_(std::move(callback)), activation_(std::move(activation)) {}

  const std::shared_ptr<Core::AsyncActivation>& activation() const { return activation_; }

 protected:
  // Answers the method's result callback. `value` is the native answer (null when none was
  // given) and `convert` the adapter method of its type; `next` is passed on with a converted
  // value only.
  void Deliver(Data::ErrorValuePtr error, const boost::optional<Data::NativeError>& nativeError,
               NativeConstPtr value, Data::NativeToValueAdapter::Method convert,
               const Progress& progress, AsyncApiMethod::ResultCb::Continuation&& next);

 private:
  // The callback, leaving one that ignores every call in its place.
  AsyncApiMethod::ResultCb TakeCallback();

  AsyncApiMethod::ResultCb callback_;
  std::shared_ptr<Core::AsyncActivation> activation_;
};

// R is the operation's result type: Quil::Void, text, a shared pointer to a const structure, a
// list of those, or an enumeration. Copyable; copies share the activation.
template <typename R>
class AsyncApiMethodResultFilter : public AsyncApiMethodResultFilterBase {
 public:
  using StreamResult = AsyncStreamResult<R>;
  using StreamContinuation = typename StreamResult::Continuation;

  using AsyncApiMethodResultFilterBase::AsyncApiMethodResultFilterBase;

  // As the native slot of an `AsyncResult` calls it: no stream continuation.
  void operator()(boost::optional<R> value, Data::ErrorValuePtr error,
                  boost::optional<Data::NativeError> nativeError, Progress progress) {
    (*this)(std::move(value), std::move(error), std::move(nativeError), progress,
            StreamContinuation());
  }

  // As the stream slot of an `AsyncStreamResult` calls it, with its caller's continuation.
  void operator()(boost::optional<R> value, Data::ErrorValuePtr error,
                  boost::optional<Data::NativeError> nativeError, Progress progress,
                  StreamContinuation&& continuation) {
    const R* native = value ? &*value : nullptr;
    Deliver(std::move(error), nativeError, native,
            Data::NativeToValueAdapter::AdaptMethod<R>::Get(native), progress,
            ChainStream(std::move(continuation)));
  }

 private:
  // The continuation the method's callback receives with a value: given the callback of the
  // stream's next value (null when the stream ends), it hands the implementation's continuation
  // the result object of that value, or an empty pointer.
  AsyncApiMethod::ResultCb::Continuation ChainStream(StreamContinuation&& continuation) const {
    if (!continuation) return {};
    return [continuation = std::move(continuation),
            activation = activation()](std::shared_ptr<AsyncApiMethod::ResultCb> next) {
      if (next == nullptr) {
        continuation(typename StreamResult::Next());
        return;
      }
      continuation(MakeOptionalPtr<StreamResult>(
          AsyncApiMethodResultFilter(AsyncApiMethod::ResultCb(*next), activation)));
    };
  }
};

}  // namespace Quil::Provider
