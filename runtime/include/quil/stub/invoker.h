// The client side of every service: the generic pieces that a generated `AsyncServiceStub` calls.
//
// A stub operation packs its arguments into the operation's input record and calls
// `AsyncMethodInvoker::Invoke<M>`, which converts the record to a structure value and invokes the
// API provider through an `AsyncApiStub`. The reply comes back through a `ResultWrapper`, which
// converts the output to the native result type and delivers it to the caller's `AsyncResult`.
//
// What the caller's `AsyncResult` receives:
//   - an input record that does not convert: at once, the error ErrorNames::kInvalidArgument
//     with the conversion's messages; the provider is not called;
//   - progress reports of the provider, passed on unchanged;
//   - an output that converts: the native value;
//   - an output that does not convert: the error named just "invalid_argument" with the
//     conversion's messages (the reply is at fault, not the caller's input);
//   - an error value: that value, unchanged; neither output nor error: a null error.
//
// Nothing is locked and no thread started. The reply may arrive during `Invoke` or later on any
// thread: the wrapper carries a copy of the caller's callbacks, so nothing of the call has to
// outlive it, and the caller's own `AsyncResult` object is never touched by a reply.
//
//   Quil::Core::AsyncActivation defaults;
//   auto apiStub = std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults);
//   CpusSvc::GetMethod::Input input;
//   input.vm = "vm-7";
//   Quil::Stub::AsyncMethodInvoker::Invoke<CpusSvc::GetMethod>(input, nullptr, result, apiStub);
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <quil/async_result.h>
#include <quil/base_message.h>
#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/identifiers.h>
#include <quil/core/method_result.h>
#include <quil/data/native_to_value.h>
#include <quil/data/value.h>
#include <quil/data/value_to_native.h>
#include <quil/export.h>
#include <quil/l10n/localizer.h>
#include <quil/provider/api_provider.h>
#include <quil/type_info.h>
#include <quil/types.h>

namespace Quil::Stub {

// The client's handle on an API provider. It holds references: whoever makes the stub keeps the
// provider and the default activation alive, and leaves the default activation unchanged while
// calls may be made.
class TAVO_VM_API AsyncApiStub {
 public:
  AsyncApiStub(Provider::ApiProvider& provider, Core::AsyncActivation& defaultActivation)
      : provider_(provider), defaultActivation_(defaultActivation) {}

  // Invokes the provider with `activation`, or, when it is null, with a new copy of the default
  // activation (its execution context a copy of its own, so the provider cannot change the
  // defaults). Exceptions of the provider propagate.
  void Invoke(std::shared_ptr<const Core::MethodIdentifier> method, Data::DataValuePtr input,
              std::shared_ptr<Core::AsyncActivation> activation,
              const Core::AsyncApiResultCb& callback);

 private:
  Provider::ApiProvider& provider_;
  Core::AsyncActivation& defaultActivation_;
};

struct TAVO_VM_API AsyncResultWrapper {
  // The error name of a reply whose output does not convert to the result type.
  static constexpr std::string_view kOutputErrorName = "invalid_argument";

  // ErrorValue::Create(kOutputErrorName, messages).
  static Data::ErrorValuePtr MakeOutputError(const MessageList& messages);

  // The provider-facing callback of one call, stored by value in a Core::AsyncApiResultCb. It
  // delivers through its own copy of the caller's callback slots: after a final delivery that
  // copy is spent (a further one ends the process), which the one-shot AsyncApiResultCb around it
  // prevents by raising std::bad_function_call to a provider that answers twice.
  template <typename R>
  class ResultWrapper {
   public:
    explicit ResultWrapper(const typename AsyncResult<R>::ResultCb& callbacks)
        : result_(callbacks) {}

    // A null reply is a progress report. The continuation serves streams and is not used.
    void operator()(const Core::MethodResultPtr& reply, const Progress& progress,
                    const Core::AsyncApiResultCb::Continuation& /*continuation*/) const {
      if (reply == nullptr) {
        result_.progress(progress);
        return;
      }
      if (reply->output != nullptr && reply->error == nullptr) {
        R value{};
        MessageList messages;
        if (Data::ValueToNativeAdapter::Adapt(reply->output, value, messages)) {
          result_(value);
        } else {
          result_.error(MakeOutputError(messages));
        }
        return;
      }
      result_.error(reply->error);
    }

   private:
    AsyncResult<R> result_;
  };
};

struct TAVO_VM_API AsyncMethodInvoker {
  // Calls operation M (a generated method class) through `stub`, which must not be null. The
  // answer arrives through `result`; the caller may drop `result` and `input` on return.
  template <typename M>
  static void Invoke(const typename M::Input& input,
                     std::shared_ptr<Core::AsyncActivation> activation,
                     const typename M::ResultCbType& result,
                     const std::shared_ptr<AsyncApiStub>& stub) {
    using R = typename M::ResultCbType::ResultType;
    std::shared_ptr<const Core::MethodIdentifier> method =
        MakeMethodIdentifier(TypeInfo<typename M::Interface>::name(), M::methodName());
    Data::ErrorValuePtr failure;
    Data::DataValuePtr value = ConvertInput(
        &input, Data::NativeToValueAdapter::AdaptMethod<typename M::Input>::Get(&input), failure);
    if (failure != nullptr) {
      result.error(std::move(failure));
      return;
    }
    stub->Invoke(std::move(method), std::move(value), std::move(activation),
                 Core::AsyncApiResultCb(AsyncResultWrapper::ResultWrapper<R>(result.callbacks())));
  }

  // New identifiers of the interface and of the method on it.
  static std::shared_ptr<const Core::MethodIdentifier> MakeMethodIdentifier(
      std::string interfaceName, std::string methodName);

  // The input record at `input` as a value, converted by `method` under a request localizer made
  // for the call: a new empty localizer with the client's locale (language "en_US", formats "C",
  // time zone "Etc/UTC").
  // On failure: null, with `failure` the error to deliver (ErrorNames::kInvalidArgument with the
  // messages). The record is not validated: that is the server's business.
  static Data::DataValuePtr ConvertInput(NativeConstPtr input,
                                         Data::NativeToValueAdapter::Method method,
                                         Data::ErrorValuePtr& failure);
};

}  // namespace Quil::Stub
