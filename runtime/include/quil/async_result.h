// The typed, one-shot completion object of every operation.
//
// An `AsyncResult<R>` accepts any number of progress reports and exactly one final delivery, a
// value or an error, each made with the progress (0, 1, 1). After the final delivery it is spent,
// and any further delivery, a progress report included, ends the process through the terminate
// handler: answer once. Copies are independent objects, each with its own slots and spent state,
// so one delivery on each of two copies reaches the underlying callable twice.
//
// Unlike the framework's callbacks, the slots are replaced only after the callback has returned:
// a callback that throws leaves the object open (the exception reaches the caller of the
// delivery), and a callback that delivers again on the same object reaches itself. Deliveries on
// one object must not run concurrently; which thread delivers is up to whoever holds the object.
// Destroying an open object answers nothing: it only releases its callables, so a caller learns
// of an unanswered call when the last copy is gone and what the callables held goes with it (the
// future of Client::MakeFutureResult then raises std::future_error, broken_promise).
//
//   Quil::AsyncResult<std::string> result(
//       [](boost::optional<std::string> value, Quil::Data::ErrorValuePtr error,
//          boost::optional<Quil::Data::NativeError>, Quil::Progress) { ... });
//   result.progress({0, 10, 3});
//   result(std::string("done"));  // final; a second delivery would end the process
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

// The two callback slots of an `AsyncResult`: a value slot, which does not see native errors, and
// a native slot, which does. The value slot is preferred when both are set.
template <typename R>
struct AsyncResultCb {
  using ValueFunction = std::function<void(boost::optional<R>, Data::ErrorValuePtr, Progress)>;
  // The native error is passed by reference: it is empty in every delivery the bindings make.
  using NativeFunction = std::function<void(boost::optional<R>, Data::ErrorValuePtr,
                                            const boost::optional<Data::NativeError>&, Progress)>;

  ValueFunction value;
  NativeFunction native;

  // Dispatches to the value slot, else the native slot; with both empty throws
  // std::bad_function_call.
  void operator()(boost::optional<R> result, Data::ErrorValuePtr error,
                  const boost::optional<Data::NativeError>& nativeError, Progress progress) const {
    if (value) {
      value(std::move(result), std::move(error), progress);
    } else if (native) {
      native(std::move(result), std::move(error), nativeError, progress);
    } else {
      throw std::bad_function_call();
    }
  }
};

// Replaces the value slot, then the native slot, by functions that end the process, releasing
// the functions they held.
struct AsyncResultTerminateCbPolicy {
  template <typename R>
  void operator()(AsyncResultCb<R>& callbacks) const {
    callbacks.value = [](boost::optional<R>, Data::ErrorValuePtr, Progress) { std::terminate(); };
    callbacks.native = [](boost::optional<R>, Data::ErrorValuePtr,
                          const boost::optional<Data::NativeError>&,
                          Progress) { std::terminate(); };
  }
};

template <typename R, typename Policy = AsyncResultTerminateCbPolicy>
class AsyncResult {
 public:
  using ResultType = R;
  using ResultCb = AsyncResultCb<R>;

  // Both slots empty: every delivery throws std::bad_function_call.
  AsyncResult() = default;

  // A callable taking (optional R, error, optional native error, progress) fills the native slot;
  // the value slot stays empty.
  template <typename F,
            typename = std::enable_if_t<
                !std::is_same_v<std::decay_t<F>, AsyncResult> &&
                !std::is_same_v<std::decay_t<F>, ResultCb> &&
                std::is_invocable_v<std::decay_t<F>&, boost::optional<R>, Data::ErrorValuePtr,
                                    const boost::optional<Data::NativeError>&, Progress>>>
  explicit AsyncResult(F&& callable) {
    callbacks_.native = std::forward<F>(callable);
  }

  // Both slots given as they are (either may be empty).
  explicit AsyncResult(ResultCb callbacks) : callbacks_(std::move(callbacks)) {}

  // Final delivery of a value: (value, no error, no native error, progress 0, 1, 1).
  void operator()(const R& value) const {
    callbacks_(boost::optional<R>(value), nullptr, boost::none, kFinalProgress);
    Policy()(callbacks_);
  }
  // For R = Quil::Void: `result()` answers the empty value.
  template <typename V = R, typename = std::enable_if_t<std::is_same_v<V, Void>>>
  void operator()() const {
    (*this)(Void{});
  }

  // Final delivery of an error, passed on unchanged, also when null.
  void error(Data::ErrorValuePtr errorValue) const {
    callbacks_(boost::none, std::move(errorValue), boost::none, kFinalProgress);
    Policy()(callbacks_);
  }

  // A progress report; not final, so it may come any number of times before the final delivery.
  void progress(const Progress& progress) const {
    callbacks_(boost::none, nullptr, boost::none, progress);
  }

  // The slots, for wrappers that deliver through a copy of them.
  const ResultCb& callbacks() const { return callbacks_; }

 private:
  // Deliveries are const (operations receive the object by constant reference); the policy
  // replaces the slots after a final one.
  mutable ResultCb callbacks_;
};

}  // namespace Quil
