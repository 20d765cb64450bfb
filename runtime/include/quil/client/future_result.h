// Blocking calls for clients: an `AsyncResult<R>` paired with a std::future of its answer.
//
//   auto [result, answer] = Quil::Client::MakeFutureResult<std::shared_ptr<const Info>>();
//   stub.Get("vm-1", nullptr, result);
//   Quil::Client::Reply<std::shared_ptr<const Info>> reply = answer.get();
//   if (!reply.ok()) return Report(reply.error());
//   Use(reply.value());
//
// The future becomes ready with the final delivery, made on whatever thread the provider
// answers. Waiting on it from the thread that must deliver the answer (a provider that answers
// from the event loop that calls get(), or a callback of the same call) deadlocks.
//
// A delivery with neither a value nor an error is taken as the provider side takes it: final when
// its progress is complete (total equals done, as in the (0, 1, 1) of every final delivery, also
// that of `error(nullptr)`), else a progress report, passed to the optional progress callback on
// the delivering thread. The result object and its copies share one promise: answer once, since a
// second final delivery through a copy raises std::future_error; dropping every copy unanswered
// makes get() raise std::future_error (broken_promise).
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <utility>

#include <boost/optional.hpp>

#include <quil/async_result.h>
#include <quil/data/native_error.h>
#include <quil/data/value.h>
#include <quil/types.h>

namespace Quil::Client {

// The answer of one call: the value, or the error value (which may be null when the provider
// answered with neither).
template <typename R>
class Reply {
 public:
  static Reply Success(R value) {
    Reply reply;
    reply.value_ = std::move(value);
    return reply;
  }
  static Reply Failure(Data::ErrorValuePtr error) {
    Reply reply;
    reply.error_ = std::move(error);
    return reply;
  }

  bool ok() const { return value_.has_value(); }
  // Throws boost::bad_optional_access when the call failed.
  const R& value() const& { return value_.value(); }
  R value() && { return std::move(value_.value()); }
  // Null when the call succeeded.
  const Data::ErrorValuePtr& error() const { return error_; }

 private:
  Reply() = default;

  boost::optional<R> value_;
  Data::ErrorValuePtr error_;
};

// Structured bindings take the two members in order: `auto [result, answer] = ...`.
template <typename R>
struct FutureResult {
  AsyncResult<R> result;
  std::future<Reply<R>> answer;
};

// A result object for one call and the future of its reply. `onProgress`, when set, receives
// every progress report.
template <typename R>
FutureResult<R> MakeFutureResult(std::function<void(const Progress&)> onProgress = {}) {
  // std::function needs a copyable callable; the copies share the promise.
  auto promise = std::make_shared<std::promise<Reply<R>>>();
  std::future<Reply<R>> answer = promise->get_future();
  AsyncResult<R> result([promise = std::move(promise), onProgress = std::move(onProgress)](
                            boost::optional<R> value, Data::ErrorValuePtr error,
                            boost::optional<Data::NativeError> /*nativeError*/, Progress progress) {
    if (value) {
      promise->set_value(Reply<R>::Success(std::move(*value)));
    } else if (error != nullptr || progress.IsComplete()) {
      promise->set_value(Reply<R>::Failure(std::move(error)));
    } else if (onProgress) {
      onProgress(progress);
    }
  });
  return FutureResult<R>{std::move(result), std::move(answer)};
}

}  // namespace Quil::Client
