// The provider method object of one operation: what the framework invokes, and the one place
// where the provider side holds every invocation and every answer to the method's definitions.
//
// A signal keeps what the method class gave at binding (name, input, output and error
// definitions) and the binding's localizer, and hands each accepted invocation to its handler,
// the method filter. It knows no native type.
//
// `Invoke` answers without calling anything when no handler is connected
// (ErrorNames::kInternalServerError with the message
// "quil.provider.method.signal.not.connected") or when the input does not fit the input
// definition (whatever ApiMethodHelper::ValidateInput produced); otherwise it writes the
// localizer into the activation and calls the handler with a `ValidateResultWrapper`, which
// checks each answer before the framework's callback sees it. The signal raises nothing of its
// own: std::bad_weak_ptr (a signal not owned by a shared pointer, as soon as a wrapper has to
// keep it alive) and whatever the handler or the callback raise propagate.
//
//   auto signal = AsyncApiMethodSignal::GetInstance("get", inputDef, outputDef, errorDefs,
//                                                   localizer);
//   signal->SetHandler(filter);  // once, before the signal is shared
//   signal->Invoke(input, activation, frameworkCallback);
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/identifiers.h>
#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/l10n/localizer.h>
#include <quil/provider/api_method.h>
#include <quil/types.h>

namespace Quil::Provider {

class TAVO_VM_API AsyncApiMethodSignal final
    : public AsyncApiMethod,
      public std::enable_shared_from_this<AsyncApiMethodSignal> {
 public:
  // The handler receives the invocation's checking callback to keep: it may move it away (the
  // method filter moves it into the implementation's result object) rather than copy it.
  using Handler = std::function<void(const Data::DataValuePtr& input,
                                     const std::shared_ptr<Core::AsyncActivation>& activation,
                                     AsyncApiMethod::ResultCb&& callback)>;

  // The checking result callback that the handler answers through; it is stored in an
  // AsyncApiMethod::ResultCb.
  //
  // An error (also together with an output) goes through ApiMethodHelper::ValidateError, an
  // output through ValidateOutput; a progress whose `total` differs from `done` is passed on as a
  // progress report, and a complete progress without output or error is the final, empty result.
  //
  // One-shot: every final delivery first takes the framework's callback out of the wrapper,
  // leaving one that does nothing, and then calls it. A later delivery through the same wrapper,
  // or through a copy made afterwards, reaches nothing; a copy made before holds its own copy of
  // the callback. Progress reports leave the wrapper open.
  //
  // A wrapper keeps its signal alive. The one that `Invoke` hands to the handler only borrows the
  // signal, whose caller keeps it alive for the length of `Invoke`, and so does whatever that
  // wrapper is moved into; each copy shares the signal's ownership. So a call answered before
  // `Invoke` returns writes no count that every thread calling the signal would write, and an
  // answer kept for later, which is kept in a copy of the implementation's result object, keeps
  // the signal alive. A handler that keeps the wrapper beyond `Invoke` keeps a copy, not the
  // wrapper it received.
  class TAVO_VM_API ValidateResultWrapper {
   public:
    ValidateResultWrapper(std::shared_ptr<const AsyncApiMethodSignal> signal,
                          Core::AsyncApiResultCb callback);
    ValidateResultWrapper(const ValidateResultWrapper& other);
    ValidateResultWrapper(ValidateResultWrapper&& other) noexcept = default;
    ValidateResultWrapper& operator=(const ValidateResultWrapper&) = delete;
    ValidateResultWrapper& operator=(ValidateResultWrapper&&) = delete;

    void operator()(Data::DataValuePtr output, Data::ErrorValuePtr error, Progress progress,
                    AsyncApiMethod::ResultCb::Continuation&& continuation);

   private:
    friend class AsyncApiMethodSignal;

    // Borrows `signal`.
    ValidateResultWrapper(const AsyncApiMethodSignal& signal, Core::AsyncApiResultCb callback);

    // The stored callback, replaced by one that does nothing.
    Core::AsyncApiResultCb TakeCallback();
    // A shared pointer to the signal, taken from the signal when this wrapper borrows it.
    std::shared_ptr<const AsyncApiMethodSignal> OwnSignal() const;

    const AsyncApiMethodSignal* signal_;                // never null
    std::shared_ptr<const AsyncApiMethodSignal> owner_;  // null while borrowing
    Core::AsyncApiResultCb callback_;
  };

  // A new signal with no handler; every invocation of it is answered with internal_server_error
  // until SetHandler connects one.
  static std::shared_ptr<AsyncApiMethodSignal> GetInstance(
      std::string methodName, Data::DataDefinitionPtr inputDef, Data::DataDefinitionPtr outputDef,
      ErrorDefinitions errorDefs, std::shared_ptr<L10n::Localizer> localizer);

  // Prefer GetInstance: `Invoke` needs the signal to be owned by a shared pointer.
  AsyncApiMethodSignal(std::string methodName, Data::DataDefinitionPtr inputDef,
                       Data::DataDefinitionPtr outputDef, ErrorDefinitions errorDefs,
                       std::shared_ptr<L10n::Localizer> localizer);

  // Connects the handler, once and before the signal is shared (nothing is locked). False, and
  // the handler dropped, when one is connected already.
  bool SetHandler(Handler handler);

  const std::string& methodName() const override;
  // A new definition: a new method identifier on `interfaceId` and the stored input and output
  // definitions (shared, not copied). The error definitions are not part of it.
  std::shared_ptr<Core::MethodDefinition> definition(
      const std::shared_ptr<const Core::InterfaceIdentifier>& interfaceId) const override;
  Data::DataDefinitionPtr inputDefinition() const override;
  Data::DataDefinitionPtr outputDefinition() const override;
  ErrorDefinitions errorDefinitions() override;
  const ErrorDefinitions& errorDefinitions() const override;

  // `activation` must not be null: an accepted invocation writes the signal's localizer into it.
  void Invoke(Data::DataValuePtr input, std::shared_ptr<Core::AsyncActivation> activation,
              const Core::AsyncApiResultCb& callback) const override;

  ~AsyncApiMethodSignal() override;

 private:
  std::string methodName_;
  Data::DataDefinitionPtr inputDef_;
  Data::DataDefinitionPtr outputDef_;
  ErrorDefinitions errorDefs_;
  Handler handler_;
  std::shared_ptr<L10n::Localizer> localizer_;
};

}  // namespace Quil::Provider
