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
// own: std::bad_weak_ptr (a signal not owned by a shared pointer) and whatever the handler or the
// callback raise propagate.
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
  using Handler = std::function<void(const Data::DataValuePtr& input,
                                     const std::shared_ptr<Core::AsyncActivation>& activation,
                                     const AsyncApiMethod::ResultCb& callback)>;

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
  // the callback. Progress reports leave the wrapper open. A wrapper keeps its signal alive.
  class TAVO_VM_API ValidateResultWrapper {
   public:
    ValidateResultWrapper(std::shared_ptr<const AsyncApiMethodSignal> signal,
                          Core::AsyncApiResultCb callback);

    void operator()(Data::DataValuePtr output, Data::ErrorValuePtr error, Progress progress,
                    AsyncApiMethod::ResultCb::Continuation&& continuation);

   private:
    // The stored callback, replaced by one that does nothing.
    Core::AsyncApiResultCb TakeCallback();

    std::shared_ptr<const AsyncApiMethodSignal> signal_;
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
