#include "runtime/mini_service.h"

#include <quil/provider/method_definitions.h>
#include <quil/std/errors.h>

namespace Com::Korvan::Tavo::Test::MiniSvc {

namespace StdErrors = ::Com::Korvan::Quil::Std::Errors;
using ::Quil::Provider::MethodDefinitions;

std::string GetMethod::methodName() { return "get"; }
::Quil::Data::DataDefinitionPtr GetMethod::inputDef() { return MethodDefinitions::Of<Input>(); }
::Quil::Data::DataDefinitionPtr GetMethod::outputDef() {
  return MethodDefinitions::Of<ResultType>();
}
std::vector<::Quil::Data::DataDefinitionPtr> GetMethod::errorDefs() {
  return MethodDefinitions::Errors<StdErrors::Error, StdErrors::NotFound,
                                   StdErrors::ResourceInaccessible, StdErrors::ServiceUnavailable,
                                   StdErrors::Unauthenticated, StdErrors::Unauthorized>();
}

std::string UpdateMethod::methodName() { return "update"; }
::Quil::Data::DataDefinitionPtr UpdateMethod::inputDef() { return MethodDefinitions::Of<Input>(); }
::Quil::Data::DataDefinitionPtr UpdateMethod::outputDef() {
  return MethodDefinitions::Of<ResultType>();
}
std::vector<::Quil::Data::DataDefinitionPtr> UpdateMethod::errorDefs() {
  return MethodDefinitions::Errors<
      StdErrors::Error, StdErrors::NotFound, StdErrors::InvalidArgument,
      StdErrors::NotAllowedInCurrentState, StdErrors::ResourceBusy, StdErrors::ResourceInaccessible,
      StdErrors::ServiceUnavailable, StdErrors::Unauthenticated, StdErrors::Unauthorized>();
}

std::string DoMethod::methodName() { return "do"; }
::Quil::Data::DataDefinitionPtr DoMethod::inputDef() { return MethodDefinitions::Of<Input>(); }
::Quil::Data::DataDefinitionPtr DoMethod::outputDef() {
  return MethodDefinitions::Of<ResultType>();
}
std::vector<::Quil::Data::DataDefinitionPtr> DoMethod::errorDefs() {
  return MethodDefinitions::Errors<StdErrors::Error>();
}

AsyncServiceInterface::~AsyncServiceInterface() = default;

std::shared_ptr<const ::Quil::Provider::AsyncApiInterface> AsyncServiceBinder::BindImplementation(
    std::shared_ptr<AsyncServiceInterface> implementation) {
  return BindImplementation(std::move(implementation), std::make_shared<::Quil::L10n::Localizer>());
}

std::shared_ptr<const ::Quil::Provider::AsyncApiInterface> AsyncServiceBinder::BindImplementation(
    std::shared_ptr<AsyncServiceInterface> implementation,
    std::shared_ptr<::Quil::L10n::Localizer> localizer) {
  return AsyncServiceBinderHelper::Bind(std::move(implementation), std::move(localizer));
}

std::shared_ptr<const ::Quil::Provider::AsyncApiInterface> AsyncServiceBinderHelper::Bind(
    std::shared_ptr<AsyncServiceInterface> implementation,
    std::shared_ptr<::Quil::L10n::Localizer> localizer) {
  auto id = ::Quil::Core::InterfaceIdentifier::GetInstance(
      ::Quil::TypeInfo<AsyncServiceInterface>::name());
  return ::Quil::Provider::AsyncApiInterface::GetInstance(
      std::move(id),
      {GetApiMethodInstance<GetMethod>(
           GetMethodBuilder{}(&AsyncServiceInterface::Get, implementation, localizer), localizer),
       GetApiMethodInstance<UpdateMethod>(
           UpdateMethodBuilder{}(&AsyncServiceInterface::Update, implementation, localizer),
           localizer),
       GetApiMethodInstance<DoMethod>(
           DoMethodBuilder{}(&AsyncServiceInterface::Do, implementation, localizer), localizer)});
}

}  // namespace Com::Korvan::Tavo::Test::MiniSvc
