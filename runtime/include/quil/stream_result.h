// The result object of one value of a stream: the streaming counterpart of `AsyncResult`.
//
// An `AsyncStreamResult<R>` accepts any number of progress reports and one final delivery: a
// value with a continuation, or an error. The continuation is how a stream goes on: the receiver
// calls it with the result object of the next value, or with an empty pointer when it wants no
// more. A value delivered without a continuation ends the stream.
//
// The one-shot rules are those of `AsyncResult`: after the final delivery has returned the object
// is spent and any further delivery ends the process through the terminate handler; a callback
// that throws leaves the object open; copies are independent. Deliveries on one object must not
// run concurrently.
//
//   void Produce(Quil::OptionalPtr<Quil::AsyncStreamResult<std::string>> result, int left) {
//     if (result == nullptr) return;  // the receiver ended the stream
//     if (left == 0) return (*result)(std::string("last"));
//     (*result)(std::string("more"), [left](auto next) { Produce(std::move(next), left - 1); });
//   }
#pragma once

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

#include <boost/optional.hpp>

#include <quil/data/native_error.h>
#include <quil/data/value.h>
#include <quil/types.h>

namespace Quil {

// Replaces the value slot, then the stream slot, by functions that end the process, releasing
// the functions they held.
struct AsyncStreamResultTerminateCbPolicy {
  template <typename Callbacks>
  void operator()(Callbacks& callbacks) const {
    callbacks.value = [](auto&&...) { std::terminate(); };
    callbacks.stream = [](auto&&...) { std::terminate(); };
  }
};

template <typename R, typename Policy = AsyncStreamResultTerminateCbPolicy>
class AsyncStreamResult {
 public:
  using ResultType = R;
  // The result object of the stream's next value; empty when the stream ends there.
  using Next = OptionalPtr<AsyncStreamResult>;
  using Continuation = std::function<void(Next)>;

  // The two callback slots, parallel to those of `AsyncResult`: a value slot, which does not see
  // native errors, and a stream slot, which does. Both take the continuation of a delivered value
  // (empty with progress reports and errors). The value slot is preferred when both are set; the
  // bindings leave it empty.
  struct ResultCb {
    using ValueFunction =
        std::function<void(boost::optional<R>, Data::ErrorValuePtr, Progress, Continuation&&)>;
    using StreamFunction =
        std::function<void(boost::optional<R>, Data::ErrorValuePtr,
                           boost::optional<Data::NativeError>, Progress, Continuation&&)>;

    ValueFunction value;
    StreamFunction stream;

    // Dispatches to the value slot, else the stream slot; with both empty throws
    // std::bad_function_call.
    void operator()(boost::optional<R> result, Data::ErrorValuePtr error,
                    boost::optional<Data::NativeError> nativeError, Progress progress,
                    Continuation&& continuation) const {
      if (value) {
        value(std::move(result), std::move(error), progress, std::move(continuation));
      } else if (stream) {
        stream(std::move(result), std::move(error), std::move(nativeError), progress,
               std::move(continuation));
      } else {
        throw std::bad_function_call();
      }
    }
  };

  // Both slots empty: every delivery throws std::bad_function_call.
  AsyncStreamResult() = default;

  // A callable taking (optional R, error, optional native error, progress, continuation) fills the
  // stream slot; the value slot stays empty. This is what
  // `MakeOptionalPtr<AsyncStreamResult<R>>(filter)` does with a result filter.
  template <typename F,
            typename = std::enable_if_t<
                !std::is_same_v<std::decay_t<F>, AsyncStreamResult> &&
                !std::is_same_v<std::decay_t<F>, ResultCb> &&
                std::is_invocable_v<std::decay_t<F>&, boost::optional<R>, Data::ErrorValuePtr,
                                    boost::optional<Data::NativeError>, Progress, Continuation&&>>>
  explicit AsyncStreamResult(F&& callable) {
    callbacks_.stream = std::forward<F>(callable);
  }

  // Both slots given as they are (either may be empty).
  explicit AsyncStreamResult(ResultCb callbacks) : callbacks_(std::move(callbacks)) {}

  // Final delivery of a value with progress (0, 1, 1). `next`, when set, receives the result
  // object of the following value; without it the stream ends here.
  void operator()(const R& value, Continuation next = {}) const {
    callbacks_(boost::optional<R>(value), nullptr, boost::none, kFinalProgress, std::move(next));
    Policy()(callbacks_);
  }
  // For R = Quil::Void: `result()` or `result(next)` delivers the empty value.
  template <typename V = R, typename = std::enable_if_t<std::is_same_v<V, Void>>>
  void operator()(Continuation next = {}) const {
    (*this)(Void{}, std::move(next));
  }

  // Final delivery of an error, passed on unchanged, also when null; it ends the stream.
  void error(Data::ErrorValuePtr errorValue) const {
    callbacks_(boost::none, std::move(errorValue), boost::none, kFinalProgress, Continuation());
    Policy()(callbacks_);
  }

  // A progress report; not final.
  void progress(const Progress& progress) const {
    callbacks_(boost::none, nullptr, boost::none, progress, Continuation());
  }

  const ResultCb& callbacks() const { return callbacks_; }

 private:
  mutable ResultCb callbacks_;
};

}  // namespace Quil
