// A small service for the runtime tests, written by hand in the shape the generator emits for a
// service (method classes, interface, binder, builders), over the generated cpus and hand types.
// Its method classes reuse those types' input records instead of declaring their own.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavo/test/hand.h>
#include <tavo/vm/compute/cpus.h>

#include <quil/async_result.h>
#include <quil/core/activation.h>
#include <quil/data/definition.h>
#include <quil/l10n/localizer.h>
#include <quil/provider/api_method.h>
#include <quil/provider/binder.h>
#include <quil/provider/method_filter.h>
#include <quil/provider/method_signal.h>
#include <quil/type_info.h>
#include <quil/types.h>

namespace Com::Korvan::Tavo::Test::MiniSvc {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace Hand = ::Com::Korvan::Tavo::Test::HandSvc;

class AsyncServiceInterface;

struct GetMethod {
  using Input = Cpus::GetMethod::Input;
  using Interface = AsyncServiceInterface;
  using ResultType = std::shared_ptr<const Cpus::Info>;
  using ResultCbType = ::Quil::AsyncResult<ResultType>;
  static std::string methodName();
  static ::Quil::Data::DataDefinitionPtr inputDef();
  static ::Quil::Data::DataDefinitionPtr outputDef();
  static std::vector<::Quil::Data::DataDefinitionPtr> errorDefs();
};

struct UpdateMethod {
  using Input = Cpus::UpdateMethod::Input;
  using Interface = AsyncServiceInterface;
  using ResultType = ::Quil::Void;
  using ResultCbType = ::Quil::AsyncResult<ResultType>;
  static std::string methodName();
  static ::Quil::Data::DataDefinitionPtr inputDef();
  static ::Quil::Data::DataDefinitionPtr outputDef();
  static std::vector<::Quil::Data::DataDefinitionPtr> errorDefs();
};

struct DoMethod {
  using Input = Hand::DoMethod::Input;
  using Interface = AsyncServiceInterface;
  using ResultType = std::string;
  using ResultCbType = ::Quil::AsyncResult<ResultType>;
  static std::string methodName();
  static ::Quil::Data::DataDefinitionPtr inputDef();
  static ::Quil::Data::DataDefinitionPtr outputDef();
  static std::vector<::Quil::Data::DataDefinitionPtr> errorDefs();
};

class AsyncServiceInterface {
 public:
  virtual void Get(const std::string& vm, std::shared_ptr<::Quil::Core::AsyncActivation> activation,
                   const GetMethod::ResultCbType& result) = 0;
  virtual void Update(const std::string& vm, std::shared_ptr<const Cpus::UpdateSpec> updateSpec,
                      std::shared_ptr<::Quil::Core::AsyncActivation> activation,
                      const UpdateMethod::ResultCbType& result) = 0;
  virtual void Do(const std::string& vm, std::shared_ptr<const Hand::Choice> choice,
                  const ::Quil::OptionalPtr<const Hand::Leaf>& filter,
                  std::shared_ptr<::Quil::Core::AsyncActivation> activation,
                  const DoMethod::ResultCbType& result) = 0;
  virtual ~AsyncServiceInterface();
};

struct AsyncServiceBinder {
  static std::shared_ptr<const ::Quil::Provider::AsyncApiInterface> BindImplementation(
      std::shared_ptr<AsyncServiceInterface> implementation);
  static std::shared_ptr<const ::Quil::Provider::AsyncApiInterface> BindImplementation(
      std::shared_ptr<AsyncServiceInterface> implementation,
      std::shared_ptr<::Quil::L10n::Localizer> localizer);
};

struct AsyncServiceBinderHelper {
  static std::shared_ptr<const ::Quil::Provider::AsyncApiInterface> Bind(
      std::shared_ptr<AsyncServiceInterface> implementation,
      std::shared_ptr<::Quil::L10n::Localizer> localizer);
  template <typename M, typename Filter>
  static std::shared_ptr<::Quil::Provider::AsyncApiMethodSignal> GetApiMethodInstance(
      Filter&& filter, const std::shared_ptr<::Quil::L10n::Localizer>& localizer) {
    return ::Quil::Provider::GetApiMethodInstance<M>(std::forward<Filter>(filter), localizer);
  }
  struct GetMethodBuilder {
    template <typename Member>
    auto operator()(Member member, const std::shared_ptr<AsyncServiceInterface>& implementation,
                    const std::shared_ptr<::Quil::L10n::Localizer>& /*localizer*/) const {
      return ::Quil::Provider::MakeMethodFilter<GetMethod>(
          [member, implementation](const GetMethod::Input& input,
                                   const std::shared_ptr<::Quil::Core::AsyncActivation>& activation,
                                   const GetMethod::ResultCbType& result) {
            ((*implementation).*member)(input.vm, activation, result);
          });
    }
  };
  struct UpdateMethodBuilder {
    template <typename Member>
    auto operator()(Member member, const std::shared_ptr<AsyncServiceInterface>& implementation,
                    const std::shared_ptr<::Quil::L10n::Localizer>& /*localizer*/) const {
      return ::Quil::Provider::MakeMethodFilter<UpdateMethod>(
          [member, implementation](const UpdateMethod::Input& input,
                                   const std::shared_ptr<::Quil::Core::AsyncActivation>& activation,
                                   const UpdateMethod::ResultCbType& result) {
            ((*implementation).*member)(input.vm, input.updateSpec, activation, result);
          });
    }
  };
  struct DoMethodBuilder {
    template <typename Member>
    auto operator()(Member member, const std::shared_ptr<AsyncServiceInterface>& implementation,
                    const std::shared_ptr<::Quil::L10n::Localizer>& /*localizer*/) const {
      return ::Quil::Provider::MakeMethodFilter<DoMethod>(
          [member, implementation](const DoMethod::Input& input,
                                   const std::shared_ptr<::Quil::Core::AsyncActivation>& activation,
                                   const DoMethod::ResultCbType& result) {
            ((*implementation).*member)(input.vm, input.choice, input.filter, activation, result);
          });
    }
  };
};

}  // namespace Com::Korvan::Tavo::Test::MiniSvc

namespace Quil {
template <>
struct TypeInfo<::Com::Korvan::Tavo::Test::MiniSvc::AsyncServiceInterface> {
  static std::string name() { return "com.korvan.tavo.test.mini"; }
};
}  // namespace Quil
