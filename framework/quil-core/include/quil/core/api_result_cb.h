// The framework's result callback of one invocation: it receives progress reports (a null
// result) and one final method result.
//
// One-shot: a call with a non-null result first moves the stored function out, leaving the
// callback empty, and then calls it. A second final answer through the same object therefore
// raises std::bad_function_call, as does any call on an empty callback. Progress reports call
// the function in place and leave it stored. Copies are independent: each holds its own copy of
// the function and empties only itself.
//
// The call operator is const because invocations hand the callback on by constant reference;
// emptying it is the one change it makes. One object must not receive two calls at once.
//
//   Quil::Core::AsyncApiResultCb cb([](Quil::Core::MethodResultPtr result, Quil::Progress, auto) {
//     Use(result);
//   });
//   cb(Quil::Core::MethodResult::Create(output, nullptr), Quil::kFinalProgress, {});
//   cb(...);  // throws std::bad_function_call
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include <quil/core/method_result.h>
#include <quil/detail/inline_function.h>
#include <quil/export.h>
#include <quil/types.h>

namespace Quil::Core {

class QUIL_CORE_API AsyncApiResultCb {
 public:
  // Given the callback for the next result of a stream (null when the stream ends).
  using Continuation = std::function<void(std::shared_ptr<AsyncApiResultCb>)>;
  // Room in place for what the bindings keep in it: a client's result wrapper, which holds the two
  // callback slots of the caller's result object.
  static constexpr std::size_t kInPlaceBytes = 2 * sizeof(std::function<void()>);
  using Function =
      Detail::InlineFunction<void(MethodResultPtr, Progress, Continuation), kInPlaceBytes>;

  AsyncApiResultCb() = default;
  // Any callable of the signature of Function, kept in place when it fits.
  template <typename F,
            typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, AsyncApiResultCb>>>
  explicit AsyncApiResultCb(F&& function) : function_(std::forward<F>(function)) {}

  // A null result is a progress report; any other result is the final answer.
  void operator()(MethodResultPtr result, const Progress& progress,
                  Continuation continuation) const;

  explicit operator bool() const { return static_cast<bool>(function_); }

  void swap(AsyncApiResultCb& other) noexcept { function_.swap(other.function_); }
  friend void swap(AsyncApiResultCb& a, AsyncApiResultCb& b) noexcept { a.swap(b); }

 private:
  mutable Function function_;
};

}  // namespace Quil::Core
